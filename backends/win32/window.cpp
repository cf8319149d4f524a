// The main window "Tovira" of the Win32 backend: a borderless popup (the
// core drags it by its surface) with the window background; twips to pixels
// by the monitor's DPI (per-monitor aware; re-layout on WM_DPICHANGED) for
// sizes, by the system DPI for screen positions; the outer window rectangle
// as the core's geometry; the monitors' work areas and DPI, and whether
// the user is moving the window; its messages: the window moved by
// dragging, display and work-area changes, closing and the end of the
// Windows session handed to the core, a second start's message (restored,
// the panel view, in front), the backend's own posted messages routed to
// their concern; the question put to the user in a message box.
#include <shellscalingapi.h>

#include "backends/win32/win32_internal.h"

namespace tovira::win32 {

Win32Data* g_data = nullptr;

namespace {

void report_move(Win32Data& d, int x, int y) {
    if (!d.form || d.quitting || IsIconic(d.window)) return;
    if (x == d.px_pos(d.left) && y == d.px_pos(d.top)) return;
    d.left = d.twips_pos(x);
    d.top = d.twips_pos(y);
    core_event(d, [&d, left = d.left, top = d.top] { d.form->on_moved(left, top); });
}

// The monitors changed; the core waits for the end of the burst.
void report_display_change(Win32Data& d) {
    if (!d.form || d.quitting) return;
    core_event(d, [&d] { d.form->display_changed(); });
}

BOOL CALLBACK add_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM arg) {
    auto& desktop = *reinterpret_cast<platform::Desktop*>(arg);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    // Per-monitor aware: the window's size follows the DPI of its monitor.
    UINT dpi = 0, dpi_y = 0;
    if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi, &dpi_y)) || dpi == 0)
        dpi = USER_DEFAULT_SCREEN_DPI;
    const RECT& w = info.rcWork;
    const platform::Monitor m{{w.left, w.top, w.right, w.bottom},
                              1440.0f / static_cast<float>(dpi)};
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        desktop.monitors.insert(desktop.monitors.begin(), m);
    else
        desktop.monitors.push_back(m);
    return TRUE;
}

}  // namespace

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Win32Data* d = g_data;
    if (!d || (d->window && hwnd != d->window)) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_COMMAND:
            if (lp) {
                if (ControlWnd* e = d->entry(reinterpret_cast<HWND>(lp))) {
                    handle_command(*d, *e, HIWORD(wp));
                }
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            if (LRESULT b =
                    colour_control(*d, reinterpret_cast<HWND>(lp), reinterpret_cast<HDC>(wp))) {
                return b;
            }
            break;
        case WM_DRAWITEM: {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (ControlWnd* e = d->entry(di->hwndItem)) {
                draw_station_button(*d, *di, *e->control);
                return TRUE;
            }
            break;
        }
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, d->background);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paint_lines(*d, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (d->form && !d->quitting) core_event(*d, [d] { d->form->on_mouse_down(); });
            return 0;
        case WM_TIMER: {
            if (wp == kBalloonTimer) {
                hide_balloon(*d);
                return 0;
            }
            auto it = d->timer_sinks.find(static_cast<UINT_PTR>(wp));
            if (it != d->timer_sinks.end() && !d->quitting && d->gate) {
                platform::TimerSink* sink = it->second;
                guarded([&] { d->gate->deliver_tick(*sink); });
            }
            return 0;
        }
        case WM_WINDOWPOSCHANGED: {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
            if (!d->applying_bounds && !(pos->flags & SWP_NOMOVE)) report_move(*d, pos->x, pos->y);
            return 0;
        }
        case WM_ACTIVATE:
            // Back in the window, the field that had the focus gets it again.
            if (LOWORD(wp) != WA_INACTIVE && d->form && !d->quitting && d->form->window_focus()) {
                auto it = d->by_control.find(d->form->window_focus());
                if (it != d->by_control.end() && it->second->hwnd) {
                    SetFocus(it->second->hwnd);
                    return 0;
                }
            }
            break;
        case WM_DPICHANGED: {
            d->dpi = HIWORD(wp);
            const auto* r = reinterpret_cast<const RECT*>(lp);
            relayout_all(*d);
            // It may come in the middle of the core's own move.
            const bool applying = d->applying_bounds;
            d->applying_bounds = true;
            SetWindowPos(hwnd, nullptr, r->left, r->top, d->px(d->width), d->px(d->height),
                         SWP_NOZORDER | SWP_NOACTIVATE);
            d->applying_bounds = applying;
            if (!applying) report_move(*d, r->left, r->top);
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        }
        // Dragged by the surface or moved from the system menu alike.
        case WM_ENTERSIZEMOVE: d->moving = true; break;
        case WM_EXITSIZEMOVE: d->moving = false; break;
        case WM_DISPLAYCHANGE: report_display_change(*d); break;
        case WM_SETTINGCHANGE:
            if (wp == SPI_SETWORKAREA) report_display_change(*d);
            break;
        case WM_CLOSE:
            if (d->form) {
                core_event(*d, [d] {
                    d->form->on_close();
                    // The unload ends the program; should it not, the window goes.
                    if (!d->quitting && d->window) DestroyWindow(d->window);
                });
            } else {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION:
            // The process may end as soon as this returns: save now, even
            // inside a wait of the dispatch or an update, with every edit
            // the gate kept; every other kept event goes (an update would
            // run its download first). Nothing is typed any more, and every
            // wait returns at once.
            if (wp && d->form) {
                d->ending = true;
                guarded([&] { d->gate->end_session(); });
                if (d->form) guarded([&] { d->form->on_end_session(); });
            }
            return 0;
        case WM_DESTROY:
            d->quitting = true;
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            d->window = nullptr;
            d->tooltip = nullptr;
            break;
        case kMsgResolved: socket_resolved(d, lp); return 0;
        case kMsgSocket: socket_event(d, wp, lp); return 0;
        case kMsgPosted:
            if (!d->posted.empty()) {
                std::function<void()> action = std::move(d->posted.front());
                d->posted.pop_front();
                if (!d->quitting) guarded(action);
            }
            return 0;
        case kMsgTabOrder: apply_tab_order(*d); return 0;
        default:
            if (msg != 0 && msg == d->second_start_message) {
                if (d->form && !d->quitting) {
                    core_event(*d, [d] {
                        // Restored first: a minimized window keeps its old
                        // place and size for the restore.
                        if (IsIconic(d->window)) ShowWindow(d->window, SW_RESTORE);
                        d->form->on_second_start();
                        if (IsWindowVisible(d->window)) SetForegroundWindow(d->window);
                    });
                }
                return 0;
            }
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Platform::window_bounds_changed(float left, float top, float width, float height) {
    Win32Data& d = *d_;
    d.left = left;
    d.top = top;
    d.width = width;
    d.height = height;
    if (!d.window || d.quitting) return;
    d.applying_bounds = true;
    SetWindowPos(d.window, nullptr, d.px_pos(left), d.px_pos(top), std::max(d.px(width), 0),
                 std::max(d.px(height), 0), SWP_NOZORDER | SWP_NOACTIVATE);
    d.applying_bounds = false;
}

void Win32Platform::window_visible_changed(bool visible) {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return;
    ShowWindow(d.window, visible ? SW_SHOW : SW_HIDE);
    if (visible) UpdateWindow(d.window);
}

void Win32Platform::window_background_changed(std::uint32_t rgb) {
    Win32Data& d = *d_;
    HBRUSH old = d.background;
    d.background = CreateSolidBrush(colour(rgb));
    if (old) DeleteObject(old);
    if (d.window) {
        RedrawWindow(d.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void Win32Platform::set_topmost(bool topmost) {
    Win32Data& d = *d_;
    if (!d.window) return;
    SetWindowPos(d.window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Platform::begin_drag() {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return;
    // A press the gate kept until after a wait may be over by now.
    if (GetKeyState(VK_LBUTTON) >= 0) return;
    POINT at{};
    GetCursorPos(&at);
    ReleaseCapture();
    SendMessageW(d.window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
}

// The primary screen: the core centres the editing view from the origin,
// which is the primary screen's top left corner.
platform::Size Win32Platform::screen_size() {
    Win32Data& d = *d_;
    return {d.twips_pos(GetSystemMetrics(SM_CXSCREEN)), d.twips_pos(GetSystemMetrics(SM_CYSCREEN))};
}

// Work areas in the physical pixels that SetWindowPos takes; positions in
// twips convert by the system's DPI, as `window_bounds_changed` places them.
platform::Desktop Win32Platform::desktop() {
    platform::Desktop desktop;
    desktop.position_twips_per_pixel = 1440.0f / static_cast<float>(d_->system_dpi);
    EnumDisplayMonitors(nullptr, nullptr, add_monitor, reinterpret_cast<LPARAM>(&desktop));
    return desktop;
}

// Topmost, as the panel is, which would otherwise hide it. Owned by the
// window, which it disables while it is up; its own loop serves the window,
// and whatever it hands the core waits in the gate the caller holds.
bool Win32Platform::ask_retry(std::string_view text_utf8) {
    Win32Data& d = *d_;
    if (d.quitting || d.ending) return false;
    const std::wstring text = widen(text_utf8);
    const int answer = MessageBoxW(d.window, text.c_str(), L"Tovira - tq.cfg",
                                   MB_RETRYCANCEL | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
    return answer == IDRETRY && !d.ending;
}

bool Win32Platform::window_moving() {
    return d_->moving;
}

}  // namespace tovira::win32
