// The balloon that tells the user what became of a click: a tracking tool
// tip beside a station button of the main window, which never takes the
// keyboard.
#include "platform/win32/win32_internal.h"

namespace tovira::win32 {

namespace {

// How long a balloon stays.
constexpr UINT kBalloonShowMs = 5000;
constexpr UINT_PTR kToolId = 1;
constexpr UINT_PTR kHideTimer = 1;

HWND g_tip = nullptr;
std::wstring g_text;  // the tool keeps a pointer to it

void CALLBACK hide_balloon(HWND tip, UINT, UINT_PTR, DWORD) {
    KillTimer(tip, kHideTimer);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.hwnd = GetWindow(tip, GW_OWNER);
    ti.uId = kToolId;
    SendMessageW(tip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&ti));
}

// Shows `text` beside the control `control_id` of `window` for
// kBalloonShowMs; a newer balloon replaces the one shown.
void show_tip(HINSTANCE instance, HWND window, int control_id, const std::wstring& text) {
    HWND anchor = GetDlgItem(window, control_id);
    if (!anchor || !IsWindowVisible(window)) return;
    if (g_tip && !IsWindow(g_tip)) g_tip = nullptr;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof(ti);
    ti.hwnd = window;
    ti.uId = kToolId;
    if (!g_tip) {
        // Topmost like the panel, never activated: the keyboard stays where
        // the user has it.
        g_tip = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                nullptr, instance, nullptr);
        if (!g_tip) return;
        SendMessageW(g_tip, TTM_SETMAXTIPWIDTH, 0, 400);
        ti.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        ti.lpszText = const_cast<wchar_t*>(L"");
        SendMessageW(g_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    g_text = text;
    ti.lpszText = g_text.data();
    SendMessageW(g_tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    // The stem points from the panel's right edge at the button's row, so
    // that the balloon stands beside the panel rather than over it.
    RECT r{}, panel{};
    GetWindowRect(anchor, &r);
    GetWindowRect(window, &panel);
    SendMessageW(g_tip, TTM_TRACKPOSITION, 0, MAKELPARAM(panel.right, (r.top + r.bottom) / 2));
    SendMessageW(g_tip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&ti));
    SetWindowPos(g_tip, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    SetTimer(g_tip, kHideTimer, kBalloonShowMs, hide_balloon);
}

}  // namespace

void Win32Platform::show_balloon(int control_id, std::string_view text_utf8) {
    if (d_->quitting || !d_->window) return;
    show_tip(d_->instance, d_->window, control_id, widen(text_utf8));
}

}  // namespace tovira::win32
