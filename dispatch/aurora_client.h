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

#include "config/station_table.h"
#include "controls/controls.h"
#include "monitor/status_parser.h"
#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

inline constexpr char kAuroraHost[] = "127.0.0.1";
inline constexpr std::uint16_t kAuroraPort = 1130;
// Connecting and each answer get this long.
inline constexpr platform::Millis kAuroraAnswerMs = 2000;
// A line longer than this (without its end) ends the attempt.
inline constexpr std::size_t kAuroraMaxLine = 1024;
// Lines that answer nothing we asked (another program's traffic on the
// same access) skipped per answer at most.
inline constexpr int kAuroraMaxSkipped = 16;
inline constexpr std::size_t kAuroraMaxCallsign = 12;
inline constexpr std::size_t kAuroraMaxCommand = 6;
inline constexpr std::size_t kAuroraMaxErrorText = 40;

// The port "--aurora-port N" (or "--aurora-port=N") names, 1 to 65535;
// kAuroraPort without it. An invalid value is ignored; the last one holds.
std::uint16_t aurora_port_from_command_line(std::span<const std::string> args);

// Splits the bytes that arrive into lines ending with LF (a CR before it is
// dropped), holding at most kAuroraMaxLine bytes of an unfinished line.
class AuroraLineSplitter {
public:
    // Appends the complete lines in `bytes` to `lines`; false, and nothing
    // more taken, once a line grew too long.
    bool feed(std::string_view bytes, std::vector<std::string>& lines);
    void clear() { partial_.clear(); }

private:
    std::string partial_;
};

// One packet: "#" or "$" or "@", a command of 2 to 6 letters, fields after ";".
struct AuroraPacket {
    char kind = '#';
    std::string command;
    std::vector<std::string> fields;  // a final ";" adds no empty field
};

// Nothing when the line holds a byte outside printable ASCII or does not
// begin with an identifier and a command of 2 to 5 letters.
std::optional<AuroraPacket> parse_aurora_line(std::string_view line);

// A callsign Aurora may name: 1 to 12 letters, digits, "_" or "-".
bool valid_aurora_callsign(std::string_view callsign);
// A station Tovira may send: one or more of A-Z, 0-9, "_", "-".
bool valid_aurora_station(std::string_view station);

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
