// The handover in Aurora, through its access for other programs: a text
// conversation on 127.0.0.1 asks which traffic the controller has selected
// (#SELTFC) and transfers it to the clicked station (#TRTR). It runs on the
// event loop and the platform's socket, never blocking the window, and
// reports each click's outcome as a short text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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

inline constexpr std::size_t kAuroraMaxErrorText = 40;

class AuroraClient : private platform::SocketEvents, private platform::TimerSink {
public:
    // What the handover in Aurora reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;                           // unloaded: nothing more sent
        const ControlArray<CommandButton, kSlotCount>& c1;  // station buttons: the balloon's place
        const StatusMonitor& monitor;                       // the station for a slot
    };

    explicit AuroraClient(const Uses& uses) : f_(uses) {}
    ~AuroraClient() override;
    AuroraClient(const AuroraClient&) = delete;
    AuroraClient& operator=(const AuroraClient&) = delete;

    // Aurora's port on 127.0.0.1; set before the first click.
    std::uint16_t port = kAuroraPort;

    // A click on the button of `slot` that found no IvAc window.
    void click(int slot);
    // Ends the attempt under way without a word to Aurora.
    void stop();
    bool busy() const { return state_ != State::Idle; }

    // Texts the user sees.
    static std::string sent_text(std::string_view callsign, std::string_view station);
    static const char kNoAccess[];
    static const char kNothingSelected[];
    static const char kNoAnswer[];
    static const char kClosed[];
    static const char kMalformed[];
    static const char kTooManyLines[];
    static const char kBadStation[];

private:
    enum class State { Idle, Connecting, AwaitSelected, AwaitTransfer };

    void start(int slot);
    void finish(std::string text);
    void arm(platform::Millis from);
    void read_arrived();
    // Handles one line; false when the attempt ended on it.
    bool on_line(const std::string& line);
    void send_transfer(const std::string& callsign);
    void check_deadline();
    bool ended();

    void on_socket_connect() override;
    void on_socket_data_arrival(std::size_t bytes) override;
    void on_socket_close() override;
    void on_socket_error(int code) override;
    void on_timer_tick() override;

    Uses f_;
    std::unique_ptr<platform::TcpSocket> socket_;
    AuroraLineSplitter splitter_;
    State state_ = State::Idle;
    int slot_ = 0;
    std::optional<int> queued_;  // a click after the transfer went out
    platform::Millis deadline_ = 0;
    bool timer_on_ = false;
    int skipped_ = 0;
    std::string callsign_, station_;
    // The last click taken, to know the second half of a double click.
    std::optional<int> last_slot_;
    platform::Millis last_click_at_ = 0;
};

}  // namespace tovira
