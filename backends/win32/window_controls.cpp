// The window's controls in the Win32 backend: every core control mirrored
// as a standard control whose window ID is the control's fixed ID and whose
// window text is its caption: BUTTON (push buttons; owner-drawn station
// buttons in their back colour; 3-state check boxes; radio buttons), STATIC
// labels, EDIT fields; the lines painted on the window; colours through
// WM_CTLCOLOR*, fonts by name, size and weight, tool tips through one
// tooltip control, tab order by the controls' tab index; transparent labels
// that paint what lies beneath them; the user's clicks, text changes, key
// presses, double clicks and focus changes fed back into the core: a focus
// change as long as the control still has the focus, never set back by the
// core; an edit with the text the field holds when it reaches the core.
// A station button in the panel view is pressed without activating the
// window, so that the keyboard stays where it was.

#include "backends/win32/win32_internal.h"

namespace tovira::win32 {

using platform::ControlProp;

namespace {

constexpr UINT_PTR kSubclassId = 1;

void apply_font(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd) return;
    SendMessageW(e.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(d.font(e.control->font())), TRUE);
}

void apply_geometry(Win32Data& d, ControlWnd& e) {
    const Control& c = *e.control;
    if (!e.hwnd) return;
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    const int w = std::max(d.px(c.left() + c.width()) - x, 0);
    const int h = std::max(d.px(c.top() + c.height()) - y, 0);
    SetWindowPos(e.hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void apply_value(ControlWnd& e) {
    if (!e.hwnd) return;
    WPARAM state = BST_UNCHECKED;
    if (e.control->kind() == ControlKind::CheckBox) {
        const int v = static_cast<const CheckBox*>(e.control)->value();
        state = v == 1 ? BST_CHECKED : v == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
    } else if (e.control->kind() == ControlKind::OptionButton) {
        state = static_cast<const OptionButton*>(e.control)->value() ? BST_CHECKED : BST_UNCHECKED;
    } else {
        return;
    }
    if (SendMessageW(e.hwnd, BM_GETCHECK, 0, 0) != static_cast<LRESULT>(state)) {
        SendMessageW(e.hwnd, BM_SETCHECK, state, 0);
    }
}

// What a window text can hold of a core text: it ends at the first NUL.
std::wstring window_text_of(std::string_view utf8) {
    std::wstring text = widen(utf8);
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return text;
}

bool transparent_label(const ControlWnd& e) {
    return e.control && e.kind == ControlKind::Label && e.control->back_transparent();
}

RECT rect_in_window(Win32Data& d, HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, d.window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A control's place in the window, in pixels, as apply_geometry puts it:
// from the core's values, without asking Windows (which, under Wine, costs
// a round trip to the server per call).
RECT control_rect(const Win32Data& d, const Control& c) {
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    return RECT{x, y, std::max(d.px(c.left() + c.width()), x),
                std::max(d.px(c.top() + c.height()), y)};
}

// A transparent label paints the texts of the transparent labels it
// overlaps (see paint_transparent_label): they repaint with it.
void invalidate_labels_over(Win32Data& d, const RECT& area) {
    for (auto& o : d.controls) {
        if (!o->hwnd || !transparent_label(*o)) continue;
        const RECT r = control_rect(d, *o->control);
        RECT overlap;
        if (IntersectRect(&overlap, &r, &area)) InvalidateRect(o->hwnd, nullptr, FALSE);
    }
}

void apply_caption(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd) return;
    const std::wstring text = window_text_of(e.control->caption());
    e.given = text;
    // A field's own typing already shows; setting it again would move the caret.
    if (window_text(e.hwnd) != text) {
        e.setting_text = true;
        SetWindowTextW(e.hwnd, text.c_str());
        e.setting_text = false;
    }
    if (e.control->graphical()) InvalidateRect(e.hwnd, nullptr, TRUE);
    if (transparent_label(e)) invalidate_labels_over(d, control_rect(d, *e.control));
}

void apply_tooltip(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd || !d.tooltip) return;
    std::wstring text = widen(e.control->tooltip());
    // Most controls never get a tip: a tool for each of them (and the tool
    // tip's subclass of every control) makes creating the window half as slow
    // again under Wine. A tool comes with the first text and then stays.
    if (!e.tool_added && text.empty()) return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = d.window;
    ti.uId = reinterpret_cast<UINT_PTR>(e.hwnd);
    ti.lpszText = text.data();
    if (!e.tool_added) {
        e.tool_added = SendMessageW(d.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
    } else {
        SendMessageW(d.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

}  // namespace

// Keyboard focus moves through the windows in z-order, so the z-order
// follows the tab index. Labels never take the focus and stay beneath the
// other controls, where they would overlap them.
void apply_tab_order(Win32Data& d) {
    d.tab_order_posted = false;
    std::vector<ControlWnd*> order;
    for (auto& e : d.controls) {
        if (e->hwnd && e->control) order.push_back(e.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const ControlWnd* a, const ControlWnd* b) {
        const bool la = a->control->kind() == ControlKind::Label;
        const bool lb = b->control->kind() == ControlKind::Label;
        if (la != lb) return lb;
        return a->control->tab_index() < b->control->tab_index();
    });
    HWND after = HWND_TOP;
    for (ControlWnd* e : order) {
        SetWindowPos(e->hwnd, after, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        after = e->hwnd;
    }
}

void draw_station_button(Win32Data& d, const DRAWITEMSTRUCT& di, const Control& c) {
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    FillRect(dc, &r, d.brush(c.back_color()));
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const std::wstring text = widen(c.caption());
    RECT tr = r;
    if (pressed) OffsetRect(&tr, 1, 1);
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = SetTextColor(dc, colour(c.fore_color()));
    HGDIOBJ old_font = SelectObject(dc, d.font(c.font()));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old_font);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, mode);
    if ((di.itemState & ODS_FOCUS) && !(di.itemState & ODS_NOFOCUSRECT)) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

void paint_lines(Win32Data& d, HDC dc) {
    for (auto& e : d.controls) {
        if (!e->control) continue;
        const Control& c = *e->control;
        if (c.kind() != ControlKind::Line || !c.visible()) continue;
        const auto& line = static_cast<const Line&>(c);
        HPEN pen =
            CreatePen(PS_SOLID, std::max(1, static_cast<int>(d.dpi / 96)), colour(c.fore_color()));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, d.px(line.x1()), d.px(line.y1()), nullptr);
        LineTo(dc, d.px(line.x2()), d.px(line.y2()));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void relayout_all(Win32Data& d) {
    auto old_fonts = std::move(d.fonts);
    d.fonts.clear();
    for (auto& e : d.controls) {
        apply_geometry(d, *e);
        apply_font(d, *e);
    }
    for (auto& [key, font] : old_fonts) DeleteObject(font);
}

void handle_command(Win32Data& d, ControlWnd& e, UINT code) {
    Control* c = e.control;
    platform::WindowHost* form = d.form;
    if (!form || d.quitting) return;
    switch (c->kind()) {
        case ControlKind::CommandButton:
            // An owner-drawn button reports the second click of a quick
            // pair as a double click; it is a click all the same.
            if (code == BN_CLICKED || (code == BN_DOUBLECLICKED && c->graphical())) {
                core_event(d, [c] { c->click(); });
            }
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) {
                core_event(
                    d, [c] { static_cast<CheckBox*>(c)->user_click(); }, platform::EventKind::Edit);
            }
            break;
        case ControlKind::OptionButton:
            if (code == BN_CLICKED || code == BN_DOUBLECLICKED) {
                core_event(
                    d, [c] { static_cast<OptionButton*>(c)->select(); }, platform::EventKind::Edit);
            }
            break;
        case ControlKind::Label:
            if (code == STN_CLICKED) core_event(d, [c] { c->click(); });
            break;
        case ControlKind::TextBox:
            if (code == EN_CHANGE && e.hwnd && !e.setting_text) {
                // Only the user's edits reach the core. The text the backend
                // gave the field is no edit: the core's text may hold more
                // than the field can show (a NUL ends a window text), and
                // must not be cut to what it shows.
                if (window_text(e.hwnd) == e.given) break;
                // Delivered late (kept in a wait), the edit takes the text
                // as the field holds it then: the core then has nothing to
                // set back, which would move the caret to the start.
                ControlWnd* field = &e;
                core_event(
                    d,
                    [field] {
                        if (!field->hwnd || !field->control) return;
                        const std::wstring now = window_text(field->hwnd);
                        if (now == field->given) return;
                        const std::optional<std::string> text = wide_to_utf8(now);
                        if (!text) return;
                        field->given = now;
                        static_cast<TextBox*>(field->control)->set_text(*text);
                    },
                    platform::EventKind::Edit);
            }
            break;
        case ControlKind::Line: break;
    }
}

LRESULT colour_control(Win32Data& d, HWND hwnd, HDC dc) {
    ControlWnd* e = d.entry(hwnd);
    if (!e) return 0;
    const Control& c = *e->control;
    SetTextColor(dc, colour(c.fore_color()));
    if (c.back_transparent()) {
        SetBkMode(dc, TRANSPARENT);
        // A transparent label paints its background itself, with what lies
        // beneath it (paint_transparent_label); a static that paints on
        // its own, as Wine's does when its text is set, leaves it alone.
        if (c.kind() == ControlKind::Label)
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return reinterpret_cast<LRESULT>(d.background);
    }
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, colour(c.back_color()));
    return reinterpret_cast<LRESULT>(d.brush(c.back_color()));
}

namespace {

// A transparent label shows the window beneath it: the background, the
// lines, and the texts of the transparent labels it overlaps. Where labels
// overlap, only the upper one paints (the lower is clipped there), so each
// one draws every overlapping label's text, the lowest first. The empty
// online label of the first row thus no longer blots out the start-up
// notice beneath it.
void paint_transparent_label(Win32Data& d, const ControlWnd& self) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(self.hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(self.hwnd, &client);
    FillRect(dc, &client, d.background);
    const RECT own = control_rect(d, *self.control);
    POINT origin;
    SetViewportOrgEx(dc, -own.left, -own.top, &origin);
    paint_lines(d, dc);
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = GetTextColor(dc);
    HGDIOBJ old_font = nullptr;
    // Labels sit beneath the other controls in the order of their tab index
    // (apply_tab_order); among labels that is the order of creation.
    for (const auto& o : d.controls) {
        if (!o->hwnd || !transparent_label(*o) || !o->control->visible()) continue;
        RECT r = control_rect(d, *o->control);
        RECT overlap;
        if (!IntersectRect(&overlap, &r, &own)) continue;
        const std::wstring text = window_text_of(o->control->caption());
        if (text.empty()) continue;
        SetTextColor(dc, colour(o->control->fore_color()));
        HGDIOBJ prev = SelectObject(dc, d.font(o->control->font()));
        if (!old_font) old_font = prev;
        // As a left-aligned static draws its text.
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    }
    if (old_font) SelectObject(dc, old_font);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, mode);
    SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    EndPaint(self.hwnd, &ps);
}

// Hands the core a focus change the system made; the core's answer
// (control_changed with Focus) must not set it again.
template <typename F>
void system_focus_change(Win32Data& d, F&& f) {
    const bool was = d.system_focus;
    d.system_focus = true;
    f();
    d.system_focus = was;
}

// A press on a station button while the window shows the panel view.
bool station_press(const Win32Data& d, const ControlWnd& e) {
    const Control* c = e.control;
    if (!c || e.kind != ControlKind::CommandButton || !d.form) return false;
    return !d.form->press_activates(*c);
}

// As the button does it, without SetFocus, which would activate the window
// after all.
void begin_station_press(ControlWnd& e) {
    e.pressing = true;
    SetCapture(e.hwnd);
    SendMessageW(e.hwnd, BM_SETSTATE, TRUE, 0);
}

bool cursor_inside(HWND hwnd, LPARAM lp) {
    RECT r;
    GetClientRect(hwnd, &r);
    const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    return PtInRect(&r, at) != 0;
}

LRESULT CALLBACK control_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    Win32Data* d = g_data;
    // After the backend is gone the controls live on, hidden, until the
    // process ends (see `hide_windows`); their entries are gone with it.
    if (!d) return DefSubclassProc(hwnd, msg, wp, lp);
    auto* e = reinterpret_cast<ControlWnd*>(ref);
    const bool live = d && d->form && !d->quitting && e->control;
    const bool field = e->kind == ControlKind::TextBox;
    switch (msg) {
        case WM_GETDLGCODE: {
            LRESULT code = DefSubclassProc(hwnd, msg, wp, lp);
            // Enter belongs to the field (its key press), not to the dialog
            // navigation.
            const auto* m = reinterpret_cast<const MSG*>(lp);
            if (field && m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) {
                code |= DLGC_WANTMESSAGE;
            }
            return code;
        }
        case WM_CHAR:
            if (field && live) {
                auto* box = static_cast<TextBox*>(e->control);
                core_event(*d, [box, code = static_cast<int>(wp)] { box->key_press(code); });
                // A single-line field has no use for Enter and would beep.
                if (wp == L'\r') return 0;
                if (!IsWindow(hwnd)) return 0;
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (live && station_press(*d, *e)) {
                begin_station_press(*e);  // the second click of a quick pair
                return 0;
            }
            if (field && live) {
                const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
                auto* box = static_cast<TextBox*>(e->control);
                core_event(*d, [box] { box->dbl_click(); });
                return r;
            }
            break;
        case WM_SETFOCUS: {
            const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
            // Kept in a wait, a focus change the user has since left behind
            // is dropped: replayed, its SetFocus would chase the next one.
            if (live) {
                core_event(*d, [d, c = e->control, hwnd] {
                    if (GetFocus() != hwnd) return;
                    system_focus_change(*d, [&] { d->form->on_focus(c); });
                });
            }
            return r;
        }
        case WM_KILLFOCUS: {
            const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
            // Focus leaving for the window itself is focus leaving the
            // fields; another program taking it is not (the field keeps it
            // for when the window is active again).
            if (live && reinterpret_cast<HWND>(wp) == d->window) {
                core_event(*d, [d] {
                    if (GetFocus() != d->window) return;
                    system_focus_change(*d, [&] { d->form->on_focus(nullptr); });
                });
            }
            return r;
        }
        case WM_MOUSEACTIVATE:
            // A station button in the panel view leaves the keyboard where
            // it was (IvAc, most often): the click's steps then have nothing
            // to bring back, and the press nothing to lose.
            if (live && station_press(*d, *e)) return MA_NOACTIVATE;
            break;
        case WM_LBUTTONDOWN:
            if (live && station_press(*d, *e)) {
                begin_station_press(*e);
                return 0;
            }
            break;
        case WM_MOUSEMOVE:
            if (e->pressing) {
                SendMessageW(hwnd, BM_SETSTATE, cursor_inside(hwnd, lp) ? TRUE : FALSE, 0);
                return 0;
            }
            break;
        case WM_LBUTTONUP:
            if (e->pressing) {
                const bool inside = cursor_inside(hwnd, lp);
                e->pressing = false;
                ReleaseCapture();
                SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
                if (inside && live) handle_command(*d, *e, BN_CLICKED);
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            if (e->pressing) {
                e->pressing = false;
                SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
            }
            break;
        case WM_ERASEBKGND:
            if (d && transparent_label(*e)) return 1;  // all of it in WM_PAINT
            break;
        case WM_PAINT:
            if (d && transparent_label(*e)) {
                paint_transparent_label(*d, *e);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, control_proc, kSubclassId);
            e->hwnd = nullptr;
            e->tool_added = false;
            break;
        default: break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

void create_control(Win32Data& d, Control& c) {
    auto e = std::make_unique<ControlWnd>();
    e->control = &c;
    e->kind = c.kind();
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (c.kind()) {
        case ControlKind::CommandButton:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | (c.graphical() ? BS_OWNERDRAW : BS_PUSHBUTTON | BS_MULTILINE);
            break;
        case ControlKind::CheckBox:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_3STATE;
            break;
        case ControlKind::OptionButton:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_RADIOBUTTON;
            break;
        case ControlKind::Label:
            cls = WC_STATICW;
            style |= SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
            break;
        case ControlKind::TextBox:
            cls = WC_EDITW;
            style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            ex_style |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Line: break;
    }
    ControlWnd* entry = e.get();
    d.by_control[&c] = entry;
    d.controls.push_back(std::move(e));
    if (!cls) return;
    if (c.visible()) style |= WS_VISIBLE;
    const std::wstring text = window_text_of(c.caption());
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    HWND h = CreateWindowExW(
        ex_style, cls, text.c_str(), style, x, y, std::max(d.px(c.left() + c.width()) - x, 0),
        std::max(d.px(c.top() + c.height()) - y, 0), d.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id())), d.instance, nullptr);
    if (!h) return;
    entry->hwnd = h;
    entry->given = window_text_of(c.caption());
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry));
    SetWindowSubclass(h, control_proc, kSubclassId, reinterpret_cast<DWORD_PTR>(entry));
    if (c.kind() == ControlKind::CheckBox || c.kind() == ControlKind::OptionButton) {
        // Themed boxes ignore the text colour; white on navy needs the
        // classic look.
        SetWindowTheme(h, L"", L"");
    }
    apply_font(d, *entry);
    apply_value(*entry);
    apply_tooltip(d, *entry);
}

void Win32Platform::control_changed(const Control& control, platform::ControlProp what) {
    Win32Data& d = *d_;
    if (!d.form || !d.window) return;
    auto it = d.by_control.find(&control);
    if (it == d.by_control.end()) return;
    ControlWnd& e = *it->second;
    if (control.kind() == ControlKind::Line) {
        InvalidateRect(d.window, nullptr, TRUE);
        return;
    }
    if (!e.hwnd) return;
    // Transparent labels overlapping this one's old and new place repaint.
    const bool see_through =
        transparent_label(e) && (what == ControlProp::Geometry || what == ControlProp::Visible ||
                                 what == ControlProp::Colors);
    if (see_through) invalidate_labels_over(d, rect_in_window(d, e.hwnd));
    switch (what) {
        case ControlProp::Geometry: apply_geometry(d, e); break;
        case ControlProp::Visible:
            ShowWindow(e.hwnd, control.visible() ? SW_SHOWNA : SW_HIDE);
            break;
        case ControlProp::Caption: apply_caption(d, e); break;
        case ControlProp::Value: apply_value(e); break;
        case ControlProp::ToolTip: apply_tooltip(d, e); break;
        case ControlProp::Colors:
            apply_font(d, e);
            InvalidateRect(e.hwnd, nullptr, TRUE);
            break;
        case ControlProp::TabIndex:
            if (!d.tab_order_posted) {
                d.tab_order_posted = PostMessageW(d.window, kMsgTabOrder, 0, 0) != 0;
            }
            break;
        case ControlProp::Focus:
            if (!d.system_focus && GetFocus() != e.hwnd) SetFocus(e.hwnd);
            break;
    }
    if (see_through) invalidate_labels_over(d, control_rect(d, control));
}

}  // namespace tovira::win32
