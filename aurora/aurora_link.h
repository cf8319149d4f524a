// The link to Aurora's access for other programs on 127.0.0.1: one
// connection kept open while Aurora answers, requests sent one at a time in
// order, each answer awaited within a bound and matched by its command name
// (Aurora's answers carry no request id). Lines nobody asked for (intercom
// events, "@BAY;No data in bay") are skipped. It runs on the event loop and
// the platform's socket and timers, never blocking the window. The handover
// and the panel share it, so it is a part of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "window/form_window.h"

namespace tovira {

inline constexpr char kAuroraHost[] = "127.0.0.1";
inline constexpr std::uint16_t kAuroraPort = 1130;
// Connecting and each answer get this long.
inline constexpr platform::Millis kAuroraAnswerMs = 2000;
// The longest answer line (without its end): a station list, else any other.
inline constexpr std::size_t kAuroraMaxListLine = 64 * 1024;
inline constexpr std::size_t kAuroraMaxLine = 1024;
// Lines that answer nothing we asked, skipped per awaited answer at most.
inline constexpr int kAuroraMaxSkipped = 16;
inline constexpr std::size_t kAuroraMaxCallsign = 12;
// A station in a list may be longer ("EDGG_DKB_N_CTR").
inline constexpr std::size_t kAuroraMaxStationCallsign = 24;
inline constexpr std::size_t kAuroraMaxCommand = 24;

// The port "--aurora-port N" (or "--aurora-port=N") names, 1 to 65535;
// kAuroraPort without it. An invalid value is ignored; the last one holds.
std::uint16_t aurora_port_from_command_line(std::span<const std::string> args);

// Splits the bytes that arrive into lines ending with CR LF, LF or CR,
// holding at most `max_line` bytes of an unfinished line.
class AuroraLineSplitter {
public:
    // Appends the complete lines in `bytes` to `lines`; false, and nothing
    // more taken, once a line grew longer than `max_line`.
    bool feed(std::string_view bytes, std::vector<std::string>& lines,
              std::size_t max_line = kAuroraMaxLine);
    void clear() {
        partial_.clear();
        after_cr_ = false;
    }

private:
    std::string partial_;
    bool after_cr_ = false;  // an LF next is the end of that line, not an empty one
};

// One packet: "#" or "$" or "@", a command of letters, fields after ";".
struct AuroraPacket {
    char kind = '#';
    std::string command;
    std::vector<std::string> fields;  // a final ";" adds no empty field
};

// Nothing when the line does not begin with an identifier and a command of
// 2 to kAuroraMaxCommand letters. The fields are not checked: each reader
// checks the bytes of the fields it uses.
std::optional<AuroraPacket> parse_aurora_line(std::string_view line);

// A callsign Aurora may name: 1 to 12 letters, digits, "_" or "-".
bool valid_aurora_callsign(std::string_view callsign);
// A station as Aurora lists it (and names the controller's own): 1 to
// kAuroraMaxStationCallsign letters, digits, "_" or "-".
bool valid_aurora_station_callsign(std::string_view callsign);
// A station Tovira may send: one or more of A-Z, 0-9, "_", "-".
bool valid_aurora_station(std::string_view station);

// "EDDT_TWR:120.505" -> {"EDDT_TWR", "120.505"}.
struct AuroraStation {
    std::string callsign;
    std::string frequency;
    bool operator==(const AuroraStation&) const = default;
};
// The stations of an #ATC or #ATCT answer; nothing when the answer is
// another command's. An entry that cannot be read (its callsign not a
// station callsign, its frequency not printable ASCII) is skipped, as are
// empty fields: the others count.
std::optional<std::vector<AuroraStation>> parse_aurora_stations(const AuroraPacket& answer);

struct AuroraReply {
    enum class Outcome {
        Answered,   // `packet` is the answer: a line whose command echoes the request's
        Refused,    // `packet` is Aurora's "@ERR;#<CMD>;...;<message>" (or "$ERR") for this request
        NoAccess,   // could not connect (refused, or no connection within the bound)
        NoAnswer,   // connected, request sent, nothing matching within the bound
        Closed,     // the connection closed (or broke) while this request was awaited
        Garbled,    // its answer could not be read, a line too long or too many unrelated lines
        Cancelled,  // cancel_all() (Quit), or a request made after Quit
    };
    Outcome outcome = Outcome::Cancelled;
    AuroraPacket packet;
    // The request's line went out on the socket: for a write, "not sent" is
    // never true after it.
    bool sent = false;

    // Aurora's message in a refusal: the last field of its "@ERR" line,
    // each byte outside printable ASCII shown as "?".
    std::string message() const;
};

class AuroraLink : private platform::SocketEvents, private platform::TimerSink {
public:
    // What the link reads and drives.
    struct Uses {
        platform::Platform& platform;
        const FormWindow& window;  // unloaded: nothing more sent
    };
    using Done = std::function<void(const AuroraReply&)>;

    explicit AuroraLink(const Uses& uses);
    ~AuroraLink() override;
    AuroraLink(const AuroraLink&) = delete;
    AuroraLink& operator=(const AuroraLink&) = delete;

    // Aurora's port on 127.0.0.1; set before the first request.
    std::uint16_t port = kAuroraPort;

    // Queues one request line without its CR LF ("#ATC", "#TRPOS;DLH4CW",
    // "#TRTR;DLH4CW;EDDT_TWR;"). Requests go out one at a time in order;
    // `done` runs exactly once, from the event loop (never inside request()).
    // Connects first when not connected. A request that fails (no answer,
    // an answer not understood, a close) fails alone: those behind it go
    // out on a new connection. Only a connection that cannot be opened ends
    // them all.
    void request(std::string line, Done done);
    // Ends every queued and awaited request with Cancelled (their `done`
    // runs inside) and closes the connection.
    void cancel_all();
    // True while a connection is open and answering.
    bool connected() const { return state_ == State::Open; }
    // Requests queued or awaited.
    std::size_t pending() const { return queue_.size(); }
    // `listener` runs, from the event loop, each time Aurora closes (or
    // breaks) an open connection, after the requests on it have ended: a
    // closed connection matters to a user with nothing asked just then.
    void on_close(std::function<void()> listener) {
        close_listeners_.push_back(std::move(listener));
    }

private:
    enum class State { Closed, Connecting, Open };
    struct Pending {
        std::string line;
        std::string command;  // of the line, to match the answer
        Done done;
        bool sent = false;
    };
    struct Finished {
        Done done;
        AuroraReply reply;
    };
    // Runs finished requests' `done` from the event loop.
    struct Poster : platform::TimerSink {
        AuroraLink* link = nullptr;
        void on_timer_tick() override;
    };

    bool ended();
    void pump();
    void finish_front(AuroraReply::Outcome outcome, AuroraPacket packet = {});
    // Drops the connection and ends the request awaited (or first queued)
    // with `outcome`; the rest wait for the next connection.
    void fail_front(AuroraReply::Outcome outcome);
    // No connection could be opened: every request ends with NoAccess.
    void fail_all();
    void deliver(Done done, AuroraReply reply);
    void run_posted();
    void drop();
    void arm();
    void read_arrived();
    // Ends the awaited step at its bound, else re-arms for what is left.
    void on_deadline();
    std::size_t max_line() const;

    void on_socket_connect() override;
    void on_socket_data_arrival(std::size_t bytes) override;
    void on_socket_close() override;
    void on_socket_error(int code) override;
    void on_timer_tick() override;

    Uses f_;
    std::unique_ptr<platform::TcpSocket> socket_;
    AuroraLineSplitter splitter_;
    State state_ = State::Closed;
    std::deque<Pending> queue_;
    std::deque<Finished> posted_;
    Poster poster_;
    bool poster_on_ = false;
    platform::Millis deadline_ = 0;
    bool timer_on_ = false;
    int skipped_ = 0;
    int in_request_ = 0;
    bool pumping_ = false;
    std::vector<std::function<void()>> close_listeners_;
};

}  // namespace tovira
