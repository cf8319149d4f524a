// What the core needs from the operating system, and nothing more.
//
// The core never includes an operating-system header. Everything it reaches
// outside itself goes through `Platform`: the clock, timers, the event loop,
// the window and its controls, window activation and keystrokes, files,
// locale, the URL fetch and the TCP socket. Two backends implement it:
// `sim` (deterministic, virtual time, for tests) and `win32` (the product).
//
// Texts crossing this interface are UTF-8, except file contents and socket
// bytes, which are the system's 8-bit code page; `Locale` converts.
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

#include "platform/event_gate.h"

namespace tovira {
class Control;
}

namespace tovira::platform {

using Millis = std::int64_t;

// How long `app_activate` and `send_keys` wait for a window to take the
// foreground.
inline constexpr Millis kActivationWaitMs = 600;
// The first try of an activation; the rest of kActivationWaitMs goes through
// the foreground lock of Windows.
inline constexpr Millis kActivationFirstTryMs = 500;

// What `app_activate` found.
enum class Activation : std::uint8_t {
    InFront,     // the window holds the foreground
    NoWindow,    // no window has the title (or only windows that are never IvAc)
    NotInFront,  // there is one, but it did not come forward
    Hung,        // there is one, but it has stopped answering: not brought forward
    Elevated,    // there is one, but Windows would drop the keys: not brought forward
    ImeOpen,     // there is one, but its input method is open: not brought forward
};

// What became of the keys given to `send_keys`.
enum class KeysSent {
    Typed,
    // The user holds a modifier or a mouse button: nothing typed, try again.
    Held,
    NoWindow,      // the activated window is gone
    OtherInFront,  // another program's window is in front
    NotInFront,    // the window did not come back to the front
    Hung,          // the window has stopped answering: nothing typed
    ImeOpen,       // its input method is open and would compose the keys: nothing typed
    // Windows took fewer of the keys than given (a UAC prompt, the secure
    // desktop, a locked workstation): the step failed, maybe part of it went.
    Refused,
};

// The longest a URL fetch may take; a backend's own transfer time-outs
// (connecting, sending, receiving) are no longer.
inline constexpr Millis kUrlFetchTimeoutMs = 60000;
// How long a click's balloon stays.
inline constexpr Millis kBalloonMs = 5000;
// How long a notice at "Menu" stays: read once, kept in its tool tip.
inline constexpr Millis kNoticeBalloonMs = 10000;

// A host name the sockets accept: 1 to 253 letters, digits, '.', '-' and
// '_'. Both backends refuse any other at once, before any name lookup.
bool valid_host(std::string_view host);

// ---- Timers -----------------------------------------------------------------

class TimerSink {
public:
    virtual void on_timer_tick() = 0;

    virtual ~TimerSink() = default;
};

// ---- Keystrokes ---------------------------------------------------------------

enum class NamedKey : std::uint8_t {
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
    F13,
    F14,
    F15,
    F16,
    Enter,
    Down,
    Up,
    Left,
    Right,
    Tab,
    Esc,
    Backspace,
    Delete,
    Insert,
    Home,
    End,
    PageUp,
    PageDown,
    Break,
    CapsLock,
    NumLock,
    ScrollLock,
    PrintScreen,
    Help,
    Add,
    Subtract,
    Multiply,
    Divide,
};

struct Modifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

// One key press and release: either a named key or a character, with the
// modifiers held around it.
struct KeyStroke {
    bool named = false;
    NamedKey key = NamedKey::Enter;
    char32_t ch = 0;
    Modifiers mods;
    friend bool operator==(const KeyStroke&, const KeyStroke&) = default;
};

// ---- Files ------------------------------------------------------------------

class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes; returns the count, 0 at the end, -1 on error.
    virtual std::ptrdiff_t read(char* buffer, std::size_t size) = 0;
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual bool write(std::string_view bytes) = 0;
    // Flushes the bytes to stable storage and closes the file.
    virtual bool commit() = 0;
};

// Files in the program's own folder, named without a folder.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Null when the file cannot be read; `missing` then tells whether it
    // does not exist at all, as opposed to existing but refusing to open.
    virtual std::unique_ptr<InputFile> open_read(std::string_view name, bool* missing) = 0;
    virtual std::unique_ptr<OutputFile> create(std::string_view name) = 0;  // null: failed
    virtual bool remove(std::string_view name) = 0;
    // Puts `from` in the place of `to` in one step; `to` need not exist.
    virtual bool replace(std::string_view from, std::string_view to) = 0;

    // The folder, as the user knows it (UTF-8, no trailing separator).
    virtual std::string folder() = 0;
    // Whether the folder takes a write: a uniquely named file is created
    // beside the others, written and deleted. Nothing when it does; else
    // why not, in the user's words.
    virtual std::optional<std::string> probe_write() = 0;
    // The copy of `name` in the user's VirtualStore, where Windows' file
    // virtualization redirects a write into this folder by a process
    // without a manifest. Null when there is none (or no such redirection
    // on this system); `missing` as for `open_read`.
    virtual std::unique_ptr<InputFile> open_redirected(std::string_view name,
                                                       bool* missing = nullptr) = 0;
    // ---- the VirtualStore as the place of writes ----
    // The user's VirtualStore copy of this folder, as the user knows it;
    // empty when this system has none for it.
    virtual std::string redirected_folder() = 0;
    // From now on `create`, `remove` and `replace` act in that copy, whose
    // folders `create` makes as needed, as file virtualization did.
    virtual void write_redirected() = 0;
    // Why the last operation that failed did, in the user's words.
    virtual std::string last_error() = 0;
};

// ---- Locale -----------------------------------------------------------------

class Locale {
public:
    virtual ~Locale() = default;
    virtual char decimal_separator() = 0;
    virtual std::string to_upper(std::string_view utf8) = 0;
    // The system's 8-bit code page to UTF-8 and back; a character the code
    // page cannot hold becomes '?'. Every byte counts, NUL included. Under
    // the UTF-8 code page (65001) bytes that are not UTF-8 read as
    // Windows-1252, as a file written before the switch holds them.
    // Nothing when the conversion failed: the caller must not take a
    // shortened or empty text for the real one.
    virtual std::optional<std::string> ansi_to_utf8(std::string_view ansi) = 0;
    virtual std::optional<std::string> utf8_to_ansi(std::string_view utf8) = 0;
};

// ---- Network ----------------------------------------------------------------

class SocketEvents {
public:
    virtual void on_socket_connect() = 0;
    virtual void on_socket_data_arrival(std::size_t bytes) = 0;
    virtual void on_socket_close() = 0;
    // Refused, unresolved, reset: reported, never thrown.
    virtual void on_socket_error(int code) = 0;
    virtual ~SocketEvents() = default;
};

// A TCP client whose events arrive through the event loop.
class TcpSocket {
public:
    virtual ~TcpSocket() = default;
    // Ends any connection; closing a closed socket does nothing. No event
    // of an earlier connection is delivered after it.
    virtual void close() = 0;
    // Starts connecting; returns at once. False when the host or port is
    // rejected outright (the socket stays closed).
    virtual bool connect(std::string_view host, std::uint16_t port) = 0;
    virtual bool send(std::string_view bytes) = 0;
    // All bytes that have arrived and were not read yet.
    virtual std::string get_data() = 0;
};

struct UrlFetchResult {
    bool ok = false;
    int status = 0;    // HTTP status code, 0 when there was none
    std::string body;  // 8-bit code page
    // Not empty when the fetch's helper could not be started or ended
    // before it answered at all: why, in the user's words. Security
    // software that blocks the start looks like this, never like an
    // outage of the network.
    std::string helper_failure;
};

class UrlFetchEvents {
public:
    virtual void on_url_fetch_done(UrlFetchResult result) = 0;
    virtual ~UrlFetchEvents() = default;
};

// Fetches one URL at a time; completion arrives through the event loop.
class UrlFetch {
public:
    virtual ~UrlFetch() = default;
    // A body longer than `max_bytes` makes the fetch fail. A helper that
    // cannot be started is a failed fetch: its completion says so.
    virtual bool start(std::string_view url, std::size_t max_bytes) = 0;
    // Abandons the fetch under way; no completion event follows.
    virtual void cancel() = 0;
};

// ---- Window -----------------------------------------------------------------

// What changed on a control, so that a backend redraws only that.
enum class ControlProp : std::uint8_t {
    Geometry,
    Visible,
    Caption,
    Value,
    ToolTip,
    Colors,
    TabIndex,
    Focus,
};

struct Size {
    float width = 0;
    float height = 0;
};

// ---- Monitors -------------------------------------------------------------------

// A rectangle in the pixels the backend places the main window in.
struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct Monitor {
    PixelRect work;  // the screen less the task bar
    // Twips of the window's size that one pixel holds on this monitor.
    float size_twips_per_pixel = 15;
};

struct Desktop {
    // Twips of the window's position that one pixel holds, on every monitor.
    float position_twips_per_pixel = 15;
    std::vector<Monitor> monitors;  // the primary one first
};

// ---- The platform -------------------------------------------------------------

class Platform {
public:
    virtual ~Platform() = default;

    // Clock: monotonic milliseconds, never wraps.
    virtual Millis now_ms() = 0;

    // Timers. `start_timer` (re)starts the period from now; interval > 0.
    virtual void start_timer(TimerSink& timer, unsigned interval_ms) = 0;
    virtual void stop_timer(TimerSink& timer) = 0;

    // Every event for the core passes this gate (see event_gate.h).
    virtual EventGate& gate() = 0;
    // Runs `action` as a later event of the loop, past the gate: how the
    // gate delivers what it kept once a wait is over. False when it could
    // not be queued (it then never runs).
    virtual bool post(std::function<void()> action) = 0;

    // Event loop. `do_events` runs every event that is pending now, once.
    // `wait_events` blocks until at least one event ran or `deadline`
    // (on the `now_ms` clock) passed, and never burns the processor.
    virtual void do_events() = 0;
    virtual void wait_events(Millis deadline) = 0;
    // True once the program is ending, or the Windows session is; waits
    // then return at once.
    virtual bool quitting() = 0;

    // The main window, in twips. The core owns the values; these tell the
    // backend to show them.
    virtual void window_bounds_changed(float left, float top, float width, float height) = 0;
    virtual void window_visible_changed(bool visible) = 0;
    virtual void window_background_changed(std::uint32_t rgb) = 0;
    virtual void set_topmost(bool topmost) = 0;
    // Lets the user move the window by dragging, as if by its title bar.
    virtual void begin_drag() = 0;
    virtual Size screen_size() = 0;
    // The monitors as they are now; none when the backend cannot tell.
    virtual Desktop desktop() = 0;
    // True while the user moves the window (by its surface or its menu).
    virtual bool window_moving() = 0;
    virtual void control_changed(const Control& control, ControlProp what) = 0;
    // The window has unloaded: end the program once the handlers return.
    virtual void quit() = 0;

    // Window activation and keystrokes. The core holds its events (the
    // gate) around both; they serve the window while they wait.
    //
    // `app_activate` finds the top-level window titled `title` (else one
    // whose title begins with it) by `choose_window` (window_verdict.h),
    // brings it to the foreground and waits up to kActivationWaitMs for it
    // to get there. InFront only when that window holds the foreground on
    // return; NoWindow when there is none, NotInFront when it did not come
    // forward, Hung, Elevated or ImeOpen (not brought forward) as the
    // verdict says.
    // The window found is the target of `send_keys`.
    virtual Activation app_activate(std::string_view title) = 0;
    // Types `keys` into the window the last `app_activate` found (`text` is
    // their notation, for logs), only while that window is in front. When
    // the foreground is nothing, the desktop or this program, the window is
    // brought back first (up to kActivationWaitMs). Nothing is typed, nor
    // any window brought forward, while the user holds a modifier or a
    // mouse button: checked last, right before the keys go out (Held); nor
    // while the window's input method is open (ImeOpen). With
    // `wait`, returns once the keys were processed. No keys: Typed.
    virtual KeysSent send_keys(std::string_view text, std::span<const KeyStroke> keys,
                               bool wait) = 0;
    // True while the user holds Alt, Ctrl, Shift or Windows down.
    virtual bool modifiers_held() = 0;
    // True while the user holds a mouse button down (left, right, middle or
    // a side button: push-to-talk keys, or a press that is to be a click).
    virtual bool mouse_buttons_held() = 0;
    // The system's double-click time: a second click within it is the
    // second half of a double click.
    virtual Millis double_click_ms() = 0;
    // Shows `text` for `shown_ms` in a balloon tool tip at the control with
    // id `control_id`, outside the panel, without taking the keyboard. A
    // newer one replaces it; it goes by itself.
    virtual void show_balloon(int control_id, std::string_view text_utf8,
                              Millis shown_ms = kBalloonMs) = 0;

    // Asks the user, in a message box above every window, whether to try
    // again (`text`, UTF-8): true for Retry, false for Cancel. The window
    // keeps being served meanwhile; the caller holds the gate.
    virtual bool ask_retry(std::string_view text_utf8) = 0;

    virtual FileSystem& files() = 0;
    virtual Locale& locale() = 0;

    virtual std::unique_ptr<TcpSocket> create_socket(SocketEvents& events) = 0;
    virtual std::unique_ptr<UrlFetch> create_url_fetch(UrlFetchEvents& events) = 0;
};

}  // namespace tovira::platform
