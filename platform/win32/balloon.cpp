// The result balloon of the Win32 backend: a tool tip in balloon style,
// tracked at the clicked button with its stem on the panel's edge so that it
// lies outside the panel, shown without activation (the keyboard stays where
// it is), replaced by a newer one and hidden by a timer after a few seconds.
// Its window text is the text shown, for tools that read the screen.
#include "platform/win32/win32_internal.h"

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
    HWND button = nullptr;
    for (const auto& e : d.controls) {
        if (e->control && e->hwnd && e->control->id() == control_id) button = e->hwnd;
    }
    if (!button || !make_balloon(d)) return;
    hide_balloon(d);
    std::wstring text = widen(text_utf8);
    TTTOOLINFOW ti = balloon_tool(d, text.data());
    SendMessageW(d.balloon, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    SetWindowTextW(d.balloon, text.c_str());
    // The stem on the panel's right edge, level with the button.
    RECT panel{}, r{};
    GetWindowRect(d.window, &panel);
    GetWindowRect(button, &r);
    SendMessageW(d.balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(panel.right, (r.top + r.bottom) / 2));
    SendMessageW(d.balloon, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    SetWindowPos(d.balloon, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    SetTimer(d.window, kBalloonTimer, static_cast<UINT>(shown_ms), nullptr);
}

}  // namespace tovira::win32
