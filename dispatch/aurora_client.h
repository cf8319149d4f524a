// The handover in Aurora, through its access for other programs, for a
// click that found no IvAc window. On the link to Aurora, one click's
// conversation: the controller's own station (#CONN), the selected traffic
// (#SELTFC), the stations Aurora knows (#ATC), the traffic's position record
// (#TRPOS), the transfer (#TRTR), then the record again every second until it
// shows the station or five seconds have passed. The stations come from the
// panel's list where it is fresh, so that a click never waits for Aurora's
// slowest answer. It runs on the event loop, never blocking the window, and
// tells the user each outcome as it happens, in a balloon at the clicked
// button; every transfer's confirmation runs to its end, whatever the
// clicks after it.
#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_link.h"
#include "aurora/aurora_stations.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "dispatch/click_balloons.h"
#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

// Aurora's message in a balloon: at most this many characters, then "…".
inline constexpr std::size_t kAuroraMaxMessage = 100;
// After the echo of a transfer, its position record is read this often, for
// this long.
inline constexpr platform::Millis kAuroraConfirmEveryMs = 1000;
inline constexpr platform::Millis kAuroraConfirmMs = 5000;
// The panel's station list stands in for #ATC up to this age.
inline constexpr platform::Millis kAuroraListFreshMs = 20000;

class AuroraClient {
public:
    // What the handover in Aurora reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;                     // unloaded: nothing more sent
        ClickBalloons& balloons;                      // each outcome under its click's number
        const ControlArray<TextBox, kFieldRows>& t1;  // the slot's position
        // The online check's station for a slot (StatusMonitor::station_for).
        std::function<std::string(int slot)> recorded_station;
        const AuroraCurrentList& list;  // the panel's stations from Aurora, if fresh
        AuroraLink& link;               // the handover's connection to Aurora
    };

    explicit AuroraClient(const Uses& uses) : f_(uses) {}
    ~AuroraClient();
    AuroraClient(const AuroraClient&) = delete;
    AuroraClient& operator=(const AuroraClient&) = delete;

    // Click number `click` on the button of `slot` found no IvAc window.
    void click(int slot, ClickBalloons::Click click);
    // Ends everything under way without another word to Aurora (Quit).
    void stop();
    // A click's conversation or its confirmation runs.
    bool busy() const { return phase_ != Phase::Idle || !confirmations_.empty(); }

    // Texts the user sees.
    static std::string confirming_text(std::string_view callsign, std::string_view station);
    static std::string transferred_text(std::string_view callsign, std::string_view station);
    static std::string unconfirmed_text(std::string_view callsign, std::string_view station);
    static std::string cannot_confirm_text(std::string_view callsign, std::string_view station);
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
    enum class Phase { Idle, Asking, Transferring };
    // Which outcomes of a request the next step judges itself; the others
    // end the attempt with their reason.
    enum class Takes { Answer, AnswerOrRefusal, Any };
    // One transfer's confirmation: its record read every second.
    struct Confirmation : platform::TimerSink {
        AuroraClient* client = nullptr;
        unsigned id = 0;
        ClickBalloons::Click click = 0;
        int slot = 0;
        std::string callsign, station;
        std::string before12, before13;  // the record before the transfer
        platform::Millis echo_at = 0;
        bool poll_out = false, last_poll = false, timer_on = false;
        void on_timer_tick() override { client->confirm_tick(*this); }
    };

    void start(int slot, ClickBalloons::Click click);
    void ask(std::string line, std::function<void(const AuroraReply&)> next,
             Takes takes = Takes::Answer);
    void on_conn(const AuroraReply& r);
    void on_selected(const AuroraReply& r);
    void on_stations(const AuroraReply& r);
    void with_stations(const std::vector<AuroraStation>& stations);
    void on_record(const AuroraReply& r);
    void on_transfer(const AuroraReply& r);
    // The station for the slot, or the reason none is sent.
    std::optional<std::string> station_for(const std::vector<AuroraStation>& stations,
                                           std::string& reason);
    // The attempt ends with `text` (none: quietly); a click that waited runs.
    // `must`: told even beside a newer click's balloon.
    void finish(std::optional<std::string> text, platform::Millis shown_ms = platform::kBalloonMs,
                bool must = false);
    void confirm(const std::string& before12, const std::string& before13);
    void confirm_tick(Confirmation& c);
    void on_poll(unsigned id, const AuroraReply& r);
    // The confirmation ends with `text` (none: quietly).
    void confirmed(unsigned id, std::optional<std::string> text, bool must);
    Confirmation* confirmation(unsigned id);
    void stop_confirmation(Confirmation& c);
    void run_waiting();
    bool ended();

    Uses f_;
    Phase phase_ = Phase::Idle;
    // Each attempt's number: answers to an older one are ignored.
    unsigned attempt_ = 0;
    int slot_ = 0;
    ClickBalloons::Click click_ = 0;  // the click the attempt reports on
    std::optional<int> waiting_;      // a click after the transfer went out
    ClickBalloons::Click waiting_click_ = 0;
    std::string own_, callsign_, station_;
    std::optional<AuroraPacket> before_;  // the record before the transfer, if read
    std::list<Confirmation> confirmations_;
    unsigned next_confirmation_ = 0;
    // The last click taken, to know the second half of a double click.
    std::optional<int> last_slot_;
    platform::Millis last_click_at_ = 0;
};

}  // namespace tovira
