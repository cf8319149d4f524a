// The result balloon of the Win32 backend: a tool tip in balloon style,
// tracked at the control it speaks of (a station button, "Menu", a button of
// the editing view) with its stem on the window's edge, right of the window
// where the work area of the window's monitor has room and left of it where
// it has none, moved wholly inside that work area (`place_balloon`,
// `settle_balloon`); shown without activation (the keyboard stays where it
// is), replaced by a newer one and hidden by a timer after the time the
// caller names. Its window text is the text shown, for tools that read the
// screen.
//
// Left out: a balloon wider than the work area is cut at its right.
#include "backends/win32/win32_internal.h"
#include "platform/balloon_place.h"

namespace tovira::win32 {

namespace {

constexpr UINT_PTR kBalloonTool = 1;

TTTOOLINFOW balloon_tool(Win32Data& d, wchar_t* text) {
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    ti.hwnd = d.window;
    ti.uId = kBalloonTool;
    ti.lpszText = text;
    return ti;
}

bool make_balloon(Win32Data& d) {
    if (d.balloon) return true;
    // Owned by nobody, as the tool tips are (see the constructor): topmost
    // on its own.
    d.balloon = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                                nullptr, d.instance, nullptr);
    if (!d.balloon) return false;
    SendMessageW(d.balloon, TTM_SETMAXTIPWIDTH, 0, 400);
    wchar_t empty[] = L"";
    TTTOOLINFOW ti = balloon_tool(d, empty);
    if (!SendMessageW(d.balloon, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti))) {
        DestroyWindow(d.balloon);
        d.balloon = nullptr;
        return false;
    }
    return true;
}

}  // namespace

void hide_balloon(Win32Data& d) {
    if (d.window) KillTimer(d.window, kBalloonTimer);
    if (!d.balloon) return;
    wchar_t empty[] = L"";
    TTTOOLINFOW ti = balloon_tool(d, empty);
    SendMessageW(d.balloon, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
    SetWindowTextW(d.balloon, L"");
}

void Win32Platform::show_balloon(int control_id, std::string_view text_utf8,
                                 platform::Millis shown_ms) {
    Win32Data& d = *d_;
    if (!d.window || d.quitting || d.ending || !IsWindowVisible(d.window)) return;
    HWND control = nullptr;
    for (const auto& e : d.controls) {
        if (e->control && e->hwnd && e->control->id() == control_id) control = e->hwnd;
    }
    if (!control || !make_balloon(d)) return;
    hide_balloon(d);
    std::wstring text = widen(text_utf8);
    TTTOOLINFOW ti = balloon_tool(d, text.data());
    SendMessageW(d.balloon, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    SetWindowTextW(d.balloon, text.c_str());
    // Drawn once at the window's right edge for its size, then tracked at
    // the side that has room, then moved by what still lies outside.
    RECT panel{}, r{}, drawn{};
    GetWindowRect(d.window, &panel);
    GetWindowRect(control, &r);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoW(MonitorFromWindow(d.window, MONITOR_DEFAULTTONEAREST), &mi)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &mi.rcWork, 0);
    }
    const auto px = [](const RECT& x) {
        return platform::PixelRect{x.left, x.top, x.right, x.bottom};
    };
    const platform::PixelRect window = px(panel), work = px(mi.rcWork);
    const int mid = (r.top + r.bottom) / 2;
    SendMessageW(d.balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(panel.right, mid));
    SendMessageW(d.balloon, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    GetWindowRect(d.balloon, &drawn);
    const platform::BalloonPlace place = platform::place_balloon(
        window, px(r), drawn.right - drawn.left, drawn.bottom - drawn.top, work);
    POINT stem{place.stem_x, place.stem_y};
    if (stem.x != panel.right || stem.y != mid) {
        SendMessageW(d.balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(stem.x, stem.y));
        GetWindowRect(d.balloon, &drawn);
    }
    const platform::PixelRect settled =
        platform::settle_balloon(px(drawn), window, place.left_side, work);
    if (settled.left != drawn.left || settled.top != drawn.top) {
        // The system keeps the balloon where the point puts it: move the
        // point by what lies outside, and the window too should it not follow.
        stem.x += settled.left - drawn.left;
        stem.y += settled.top - drawn.top;
        SendMessageW(d.balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(stem.x, stem.y));
        GetWindowRect(d.balloon, &drawn);
        if (drawn.left != settled.left || drawn.top != settled.top) {
            SetWindowPos(d.balloon, nullptr, settled.left, settled.top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        }
    }
    SetWindowPos(d.balloon, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    SetTimer(d.window, kBalloonTimer, static_cast<UINT>(shown_ms), nullptr);
}

}  // namespace tovira::win32
