#include "platform/window_verdict.h"

#include <algorithm>
#include <array>

#include "platform/text_encoding.h"

namespace tovira::platform {

namespace {

// Programs whose windows carry titles of what they show: a folder, a page.
constexpr std::array<std::string_view, 8> kNeverImages = {
    "explorer.exe", "msedge.exe", "chrome.exe",  "firefox.exe",
    "opera.exe",    "brave.exe",  "vivaldi.exe", "iexplore.exe"};

// Windows draws a hung window's stand-in with this class.
constexpr std::string_view kGhostClass = "Ghost";

// The file name of an image path, either separator.
std::string_view file_name(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

bool title_matches(std::string_view window_title, std::string_view title) {
    return window_title.starts_with(title);
}

bool never_the_target(const WindowFacts& window) {
    const std::string_view name = file_name(window.image);
    return std::any_of(kNeverImages.begin(), kNeverImages.end(), [&](std::string_view never) {
        return same_ignoring_ascii_case(name, never);
    });
}

bool is_ghost(const WindowFacts& window) {
    return window.class_name == kGhostClass;
}

WindowChoice choose_window(std::span<const WindowFacts> windows, std::string_view title) {
    std::size_t chosen = windows.size();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WindowFacts& w = windows[i];
        if (!title_matches(w.title, title) || never_the_target(w)) continue;
        if (w.title == title) {
            chosen = i;
            break;
        }
        if (chosen == windows.size()) chosen = i;
    }
    if (chosen == windows.size()) return {Verdict::NoWindow, 0};
    const WindowFacts& w = windows[chosen];
    // The ghost stands where the hung window was, which Windows hides.
    if (w.hung || is_ghost(w)) return {Verdict::Hung, chosen};
    // The barrier refusing a message is the drop of the keys itself, seen
    // directly; a higher token is believed even where a message passed (a
    // program may let messages through its filter, never input).
    if (w.barrier == Barrier::Refused || w.integrity == Integrity::Higher) {
        return {Verdict::Elevated, chosen};
    }
    // A token refused by another account's process: elevated with an
    // administrator's credentials, or not; only the barrier can tell, and
    // without its answer the keys would be lost unseen.
    if (w.integrity == Integrity::TokenRefused && w.barrier != Barrier::Passed) {
        return {Verdict::Elevated, chosen};
    }
    if (w.ime_open) return {Verdict::ImeOpen, chosen};
    return {Verdict::Target, chosen};
}

}  // namespace tovira::platform
