// Which window a click's keys may go to, decided once for both backends.
//
// On a real desktop the title rule alone finds windows that are not IvAc:
// File Explorer open at IvAc's folder ("IvAc", "IvAc - File Explorer") or a
// browser showing a page titled "IvAc ...". Keys typed there are lost, and
// the Aurora path, taken only where no IvAc exists, never runs. Windows
// hides a hung window behind its stand-in ("IvAc (Not Responding)", class
// "Ghost"): that is IvAc, hung, not a missing IvAc. Windows drops, without
// a word, every key sent to a program of higher integrity (IvAc started "as
// administrator"), and an open input method composes the typed letters
// instead of passing them on. The backend gathers the facts of each
// window; this function gives the verdict, so that the simulated platform
// runs the rule the Windows backend runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tovira::platform {

// A window's process against this program's, for input.
enum class Integrity : std::uint8_t {
    NotHigher,     // the same or lower: the keys arrive
    Higher,        // Windows drops the keys this program sends
    TokenRefused,  // the process opened, its token did not: another account's, elevated or not
    Unknown,       // the process could not be opened: nothing known, go on
};

// A message sent to the window, which Windows refuses across the barrier
// between integrity levels whatever the token says.
enum class Barrier : std::uint8_t {
    Passed,   // the window took it: this program's input reaches it
    Refused,  // access denied: the window is above this program
    Unknown,  // not tried, or no answer in time: the token decides
};

// What a backend knows of one top-level window of another program.
struct WindowFacts {
    std::string title;       // UTF-8
    std::string image;       // the process's image path or file name; empty: unknown
    std::string class_name;  // the window class
    bool hung = false;       // the system says it has stopped answering
    Integrity integrity = Integrity::Unknown;
    Barrier barrier = Barrier::Unknown;
    bool ime_open = false;  // its input method is open: letters would be composed
};

enum class Verdict : std::uint8_t {
    Target,    // the window to bring forward and type into
    NoWindow,  // no IvAc: the handover goes to Aurora
    Hung,      // IvAc is not responding: nothing typed
    Elevated,  // Windows would drop the keys: nothing typed
    ImeOpen,   // the input method would take the keys: nothing typed
};

struct WindowChoice {
    Verdict verdict = Verdict::NoWindow;
    std::size_t index = 0;  // the window chosen, unless NoWindow
};

// The title equals `title`, or begins with it (case as given).
bool title_matches(std::string_view window_title, std::string_view title);
// File Explorer or a web browser: never IvAc, whatever its title.
bool never_the_target(const WindowFacts& window);
// Windows' stand-in for a hung window, titled like it.
bool is_ghost(const WindowFacts& window);
// The first window titled exactly `title`, else the first whose title begins
// with it, leaving out those that are never the target; `windows` in the
// order the desktop lists them (front first).
WindowChoice choose_window(std::span<const WindowFacts> windows, std::string_view title);

}  // namespace tovira::platform
