// What the files of the Win32 backend share: the backend's state
// (`Win32Data`, one mirrored control `ControlWnd`), the window messages it
// posts to itself, and the functions one concern offers the others. Only the
// user-interface thread touches `Win32Data`; worker threads own their job
// objects and hand results over with PostMessageW. Internal to the backend:
// nothing outside backends/win32/ includes it.
#pragma once

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <imm.h>
#include <process.h>
#include <uxtheme.h>
#include <wininet.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "backends/win32/code_page.h"
#include "backends/win32/win32_platform.h"
#include "controls/controls.h"
#include "platform/platform.h"
#include "platform/window_host.h"

namespace tovira::win32 {

constexpr UINT kMsgResolved = WM_APP + 1;       // lParam: ResolveJob*
constexpr UINT kMsgSocket = WM_APP + 2;         // WSAAsyncSelect events
constexpr UINT kMsgTabOrder = WM_APP + 4;       // apply the tab order once
constexpr UINT kMsgPosted = WM_APP + 5;         // run the first of `Win32Data::posted`
constexpr UINT_PTR kBalloonTimer = 0x7FFF0000;  // hides the balloon; apart from the core's timers

// ---- text (text.cpp) -------------------------------------------------------------

// The core's texts for Windows. A text that cannot be converted never
// arises from the core's valid UTF-8; should Windows refuse one, the control
// shows nothing rather than something else.
std::wstring widen(std::string_view s);

std::wstring window_text(HWND hwnd);
// UTF-8 of a text from Windows; empty where it cannot be converted.
std::string narrow(std::wstring_view w);
// The system's message for `error`, as it goes into one of the program's
// sentences: "Access is denied (error 5)".
std::string error_text(DWORD error);

COLORREF colour(std::uint32_t rgb);

// Runs a call into the core. No exception may unwind through Windows'
// frames; the core reports nothing to the user, so neither does this.
template <typename F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

// ---- files (files.cpp) -----------------------------------------------------------

class Win32Files final : public platform::FileSystem {
public:
    Win32Files();

    std::unique_ptr<platform::InputFile> open_read(std::string_view name, bool* missing) override;
    std::unique_ptr<platform::OutputFile> create(std::string_view name) override;
    bool remove(std::string_view name) override;
    bool replace(std::string_view from, std::string_view to) override;
    std::string folder() override;
    std::optional<std::string> probe_write() override;
    std::unique_ptr<platform::InputFile> open_redirected(std::string_view name,
                                                         bool* missing) override;
    std::string redirected_folder() override { return narrow(store()); }
    void write_redirected() override { write_folder_ = store() + L"\\"; }
    std::string last_error() override { return error_text(last_error_); }

private:
    // Only plain names in the program's folder; anything with a folder part
    // is refused rather than resolved somewhere else.
    std::wstring path(std::string_view name) const;
    // The same name where writes go: the folder, or its VirtualStore copy.
    std::wstring write_path(std::string_view name) const;
    // The folder's VirtualStore copy, without a trailing separator; empty
    // when there is none.
    std::wstring store() const;
    // Keeps GetLastError() of a call that failed; returns false.
    bool failed();

    std::wstring folder_;        // with its trailing separator
    std::wstring write_folder_;  // the VirtualStore copy's, when writes go there
    DWORD last_error_ = ERROR_SUCCESS;
};

// ---- locale (locale.cpp) ---------------------------------------------------------

class Win32Locale final : public platform::Locale {
public:
    char decimal_separator() override;
    std::string to_upper(std::string_view utf8) override;
    std::optional<std::string> ansi_to_utf8(std::string_view ansi) override;
    std::optional<std::string> utf8_to_ansi(std::string_view utf8) override;

private:
    // The system's code page, fixed for the run.
    unsigned code_page_ = GetACP();
};

// ---- the backend's state ---------------------------------------------------------

class Win32Socket;

// One mirrored control. Lines have no window of their own.
struct ControlWnd {
    Control* control = nullptr;  // null once the form is detached
    ControlKind kind = ControlKind::Label;
    HWND hwnd = nullptr;
    bool tool_added = false;
    // The text the backend last gave the window, as far as a window text
    // can hold it (up to the first NUL), and whether it is being set now:
    // neither is a change of the user's.
    std::wstring given;
    bool setting_text = false;
    // A station button pressed in the panel view, handled here so that the
    // press does not activate the window (see control_proc).
    bool pressing = false;
};

struct Win32Data {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND tooltip = nullptr;
    platform::WindowHost* form = nullptr;       // the window attached, null once detached
    UINT dpi = USER_DEFAULT_SCREEN_DPI;         // of the window's monitor
    UINT system_dpi = USER_DEFAULT_SCREEN_DPI;  // fixed for the run
    bool quitting = false;
    bool applying_bounds = false;  // our own SetWindowPos is under way
    bool moving = false;           // the user moves the window
    bool tab_order_posted = false;
    float left = 0, top = 0, width = 0, height = 0;  // the core's geometry, twips
    HBRUSH background = nullptr;
    std::vector<std::unique_ptr<ControlWnd>> controls;
    std::unordered_map<const Control*, ControlWnd*> by_control;
    std::map<COLORREF, HBRUSH> brushes;
    std::map<std::tuple<std::wstring, int, bool>, HFONT> fonts;
    std::map<platform::TimerSink*, UINT_PTR> timer_ids;
    std::map<UINT_PTR, platform::TimerSink*> timer_sinks;
    UINT_PTR next_timer_id = 1;
    std::map<unsigned, Win32Socket*> sockets;  // by socket object id
    HWND activated = nullptr;                  // the window `app_activate` found last
    unsigned next_socket_id = 1;
    LARGE_INTEGER qpc_frequency{};
    bool winsock = false;
    bool ending = false;            // the Windows session ends: no more typing
    UINT second_start_message = 0;  // registered: a start from this folder again
    // A focus change the system made is being handed to the core: the core
    // must not set it back (SetFocus) as if it were its own.
    bool system_focus = false;
    HWND balloon = nullptr;  // the result balloon's tool tip window
    std::unique_ptr<platform::EventGate> gate;
    std::deque<std::function<void()>> posted;
    Win32Files files;
    Win32Locale locale;

    int px(float twips) const {
        return static_cast<int>(std::lround(twips * static_cast<float>(dpi) / 1440.0f));
    }
    float twips(int px_value) const {
        return static_cast<float>(px_value) * 1440.0f / static_cast<float>(dpi);
    }
    // Screen positions (the window's place, the screen's size) use one scale
    // for the whole run, the system's: with monitors of different scale the
    // same twips must still mean the same place, also in tq.cfg next time.
    // Sizes, fonts and the controls follow the window's own monitor.
    int px_pos(float twips_value) const {
        return static_cast<int>(
            std::lround(twips_value * static_cast<float>(system_dpi) / 1440.0f));
    }
    float twips_pos(int px_value) const {
        return static_cast<float>(px_value) * 1440.0f / static_cast<float>(system_dpi);
    }

    ControlWnd* entry(HWND hwnd) const {
        if (!hwnd || !window || GetParent(hwnd) != window) return nullptr;
        auto* e = reinterpret_cast<ControlWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return e && e->control ? e : nullptr;
    }

    HBRUSH brush(std::uint32_t rgb) {
        const COLORREF c = colour(rgb);
        auto it = brushes.find(c);
        if (it != brushes.end()) return it->second;
        HBRUSH b = CreateSolidBrush(c);
        brushes.emplace(c, b);
        return b;
    }

    HFONT font(const Font& f) {
        const std::wstring name = f.name.empty() ? std::wstring(L"MS Shell Dlg") : widen(f.name);
        const int em = -static_cast<int>(std::lround(f.size * static_cast<float>(dpi) / 72.0f));
        auto key = std::make_tuple(name, em, f.bold);
        auto it = fonts.find(key);
        if (it != fonts.end()) return it->second;
        HFONT h = CreateFontW(em, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
        fonts.emplace(std::move(key), h);
        return h;
    }
};

// ---- the platform object and the message loop (win32_platform.cpp) ---------------

// Hands an event for the core to the gate: it runs now, or after the wait
// of the dispatch that is under way. Whatever it needs is captured by value.
void core_event(Win32Data& d, std::function<void()> event,
                platform::EventKind kind = platform::EventKind::Other) noexcept;

// Runs what is queued now, once; true when anything ran.
bool pump(Win32Data& d);

// ---- TCP socket (tcp_socket.cpp) -------------------------------------------------

// kMsgResolved: a name resolution has finished.
void socket_resolved(Win32Data* d, LPARAM lp);
// kMsgSocket: a WSAAsyncSelect event.
void socket_event(Win32Data* d, WPARAM wp, LPARAM lp);

// ---- window activation (activation.cpp) ------------------------------------------

// Whether `target` is in front: the window itself, or another window of its
// program (a dialog it opened on a key): the keys are IvAc's either way.
bool holds_foreground(HWND target);
// Brings `target` to the foreground within kActivationWaitMs; true when it
// got there. `held_off`: the user's keys or buttons kept the foreground
// lock's Alt tap off to the end.
bool bring_to_front(Win32Data& d, HWND target, bool* held_off = nullptr);
// A window of another program that the user may have chosen on purpose.
bool other_program(HWND hwnd);
// The input method of `hwnd`'s thread is open (asked within a short bound).
bool ime_open(HWND hwnd);

// ---- keystrokes (keystrokes.cpp) ------------------------------------------------

// The user holds Alt, Ctrl, Shift, Windows or a mouse button down.
bool user_holds_keys(const Win32Data& d);

// ---- the result balloon (balloon.cpp) --------------------------------------------

// kBalloonTimer: the balloon's time is up.
void hide_balloon(Win32Data& d);

// ---- the window's controls (window_controls.cpp) ---------------------------------

void create_control(Win32Data& d, Control& c);
void apply_tab_order(Win32Data& d);
void relayout_all(Win32Data& d);
void handle_command(Win32Data& d, ControlWnd& e, UINT code);
LRESULT colour_control(Win32Data& d, HWND hwnd, HDC dc);
void draw_station_button(Win32Data& d, const DRAWITEMSTRUCT& di, const Control& c);
void paint_lines(Win32Data& d, HDC dc);

// ---- the window (window.cpp) -----------------------------------------------------

extern Win32Data* g_data;  // for the window procedures; one window per process

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace tovira::win32
