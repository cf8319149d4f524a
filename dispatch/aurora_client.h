// The handover in Aurora, through its access for other programs, for a
// click that found no IvAc window. On the link to Aurora, one click's
// conversation: the controller's own station (#CONN), the selected traffic
// (#SELTFC), the stations Aurora knows (#ATC), the traffic's position record
// (#TRPOS), the transfer (#TRTR), then the record again every second until it
// shows the station or five seconds have passed. It runs on the event loop,
// never blocking the window, and tells the user each outcome as it happens,
// in a balloon at the clicked button.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_link.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "monitor/status_parser.h"
#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

// Aurora's message in a balloon: at most this many characters, then "…".
inline constexpr std::size_t kAuroraMaxMessage = 100;
// After the echo of a transfer, its position record is read this often, for
// this long.
inline constexpr platform::Millis kAuroraConfirmEveryMs = 1000;
inline constexpr platform::Millis kAuroraConfirmMs = 5000;

class AuroraClient : private platform::TimerSink {
public:
    // What the handover in Aurora reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;                           // unloaded: nothing more sent
        const ControlArray<CommandButton, kSlotCount>& c1;  // station buttons: the balloon's place
        const ControlArray<TextBox, kFieldRows>& t1;        // the slot's position
        const StatusMonitor& monitor;                       // the online check's record of a slot
        AuroraLink& link;                                   // the connection to Aurora
    };

    explicit AuroraClient(const Uses& uses) : f_(uses) {}
    ~AuroraClient() override;
    AuroraClient(const AuroraClient&) = delete;
    AuroraClient& operator=(const AuroraClient&) = delete;

    // A click on the button of `slot` that found no IvAc window.
    void click(int slot);
    // Ends everything under way without another word to Aurora (Quit).
    void stop();
    // A click's conversation or its confirmation runs.
    bool busy() const { return phase_ != Phase::Idle; }

    // Texts the user sees.
    static std::string confirming_text(std::string_view callsign, std::string_view station);
    static std::string transferred_text(std::string_view callsign, std::string_view station);
    static std::string unconfirmed_text(std::string_view callsign, std::string_view station);
    static std::string refused_text(std::string_view message);
    static std::string ambiguous_text(const std::vector<std::string>& candidates);
    static std::string own_station_text(std::string_view station);
    static const char kNoAccess[];
    static const char kNothingSelected[];
    static const char kNoAnswer[];
    static const char kClosed[];
    static const char kMalformed[];
    static const char kBadStation[];
    static const char kSentNoAnswer[];

private:
    enum class Phase { Idle, Asking, Transferring, Confirming };

    void start(int slot);
    // Asks `line` for the attempt under way; `next` runs with an answer,
    // a refusal is shown or handed on (`refusal_ok`), every other outcome
    // ends the attempt with its reason.
    void ask(std::string line, std::function<void(const AuroraReply&)> next,
             bool refusal_ok = false);
    void on_conn(const AuroraReply& r);
    void on_selected(const AuroraReply& r);
    void on_stations(const AuroraReply& r);
    void on_record(const AuroraReply& r);
    void on_transfer(const AuroraReply& r);
    void on_poll(const AuroraReply& r);
    // The station for the slot, or the reason none is sent.
    std::optional<std::string> station_for(const std::vector<AuroraStation>& stations,
                                           std::string& reason);
    // The attempt ends with `text` (none: quietly); a click that waited runs.
    void finish(std::optional<std::string> text, platform::Millis shown_ms = platform::kBalloonMs);
    // Every balloon of the handover in Aurora goes through here.
    void show(int slot, const std::string& text, platform::Millis shown_ms);
    void run_waiting();
    bool ended();
    void stop_timer();
    void on_timer_tick() override;

    Uses f_;
    Phase phase_ = Phase::Idle;
    // Each attempt's number: answers to an older one are ignored.
    unsigned attempt_ = 0;
    int slot_ = 0;
    std::optional<int> waiting_;  // a click after the transfer went out
    std::string own_, callsign_, station_;
    std::string before12_, before13_;  // the record before the transfer
    platform::Millis echo_at_ = 0;
    bool poll_out_ = false, last_poll_ = false;
    bool timer_on_ = false;
    // The last click taken, to know the second half of a double click.
    std::optional<int> last_slot_;
    platform::Millis last_click_at_ = 0;
};

}  // namespace tovira
