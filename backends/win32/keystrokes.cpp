// Keystrokes of the Win32 backend: the core's key strokes as SendInput
// events, only while the activated window (or another of its program's) is
// in front and answers and its input method is closed, each character
// checked against the layout, Shift and Caps Lock, else typed as Unicode;
// nothing typed or brought forward while the user holds a modifier or a
// mouse button, checked right before the keys go; a step of which Windows
// took fewer events than given is refused (a UAC prompt, the secure
// desktop, a locked workstation); an optional wait, of at most a second per
// step, until the target has processed them; the user's modifier keys and
// mouse buttons.
//
// Left out: keys Windows drops into a program of higher integrity without
// saying so (SendInput's count is whole): activation.cpp refuses such a
// window before any key, and an integrity that cannot change while IvAc
// runs is not asked again. An input method that IvAc opens is: before each
// step nothing is typed while it is open.
#include "backends/win32/win32_internal.h"

namespace tovira::win32 {

namespace {

// KeyWait: one deadline for the whole step, however many round trips.
constexpr platform::Millis kKeyWaitMs = 1000;

WORD named_key_vk(platform::NamedKey key) {
    using platform::NamedKey;
    const auto k = static_cast<int>(key);
    if (k >= static_cast<int>(NamedKey::F1) && k <= static_cast<int>(NamedKey::F16)) {
        return static_cast<WORD>(VK_F1 + (k - static_cast<int>(NamedKey::F1)));
    }
    switch (key) {
        case NamedKey::Enter: return VK_RETURN;
        case NamedKey::Down: return VK_DOWN;
        case NamedKey::Up: return VK_UP;
        case NamedKey::Left: return VK_LEFT;
        case NamedKey::Right: return VK_RIGHT;
        case NamedKey::Tab: return VK_TAB;
        case NamedKey::Esc: return VK_ESCAPE;
        case NamedKey::Backspace: return VK_BACK;
        case NamedKey::Delete: return VK_DELETE;
        case NamedKey::Insert: return VK_INSERT;
        case NamedKey::Home: return VK_HOME;
        case NamedKey::End: return VK_END;
        case NamedKey::PageUp: return VK_PRIOR;
        case NamedKey::PageDown: return VK_NEXT;
        case NamedKey::Break: return VK_CANCEL;
        case NamedKey::CapsLock: return VK_CAPITAL;
        case NamedKey::NumLock: return VK_NUMLOCK;
        case NamedKey::ScrollLock: return VK_SCROLL;
        case NamedKey::PrintScreen: return VK_SNAPSHOT;
        case NamedKey::Help: return VK_HELP;
        case NamedKey::Add: return VK_ADD;
        case NamedKey::Subtract: return VK_SUBTRACT;
        case NamedKey::Multiply: return VK_MULTIPLY;
        case NamedKey::Divide: return VK_DIVIDE;
        default: return VK_RETURN;
    }
}

bool extended_key(WORD vk) {
    switch (vk) {
        case VK_UP:
        case VK_DOWN:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_HOME:
        case VK_END:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_INSERT:
        case VK_DELETE:
        case VK_NUMLOCK:
        case VK_DIVIDE:
        case VK_SNAPSHOT:
        case VK_CANCEL: return true;
        default: return false;
    }
}

void add_key(std::vector<INPUT>& in, WORD vk, bool up, HKL layout) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.wScan = static_cast<WORD>(MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout));
    i.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended_key(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    in.push_back(i);
}

void add_unicode(std::vector<INPUT>& in, char32_t ch) {
    wchar_t units[2];
    int count = 1;
    if (ch > 0xFFFF) {
        const char32_t v = ch - 0x10000;
        units[0] = static_cast<wchar_t>(0xD800 + (v >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(ch);
    }
    for (int u = 0; u < count; ++u) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wScan = units[u];
        i.ki.dwFlags = KEYEVENTF_UNICODE;
        in.push_back(i);
        i.ki.dwFlags |= KEYEVENTF_KEYUP;
        in.push_back(i);
    }
}

// Whether `vk` types exactly `ch` with Shift as given and Caps Lock as the
// user has it: Caps Lock reverses Shift on letters (on some layouts on digits
// too), and a dead key types nothing by itself.
bool key_types(WORD vk, bool shift, bool caps, char32_t ch, HKL layout) {
    BYTE state[256] = {};
    if (shift) state[VK_SHIFT] = 0x80;
    if (caps) state[VK_CAPITAL] = 0x01;
    wchar_t out[4] = {};
    const UINT scan = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout);
    // Flag 4: the keyboard's dead-key state is left as it is.
    const int n = ToUnicodeEx(vk, scan, state, out, 4, 4, layout);
    return n == 1 && static_cast<char32_t>(out[0]) == ch;
}

void add_stroke(std::vector<INPUT>& in, const platform::KeyStroke& k, HKL layout, bool caps) {
    if (k.mods.shift) add_key(in, VK_SHIFT, false, layout);
    if (k.mods.ctrl) add_key(in, VK_CONTROL, false, layout);
    if (k.mods.alt) add_key(in, VK_MENU, false, layout);
    if (k.named) {
        const WORD vk = named_key_vk(k.key);
        add_key(in, vk, false, layout);
        add_key(in, vk, true, layout);
    } else {
        const SHORT scan = k.ch <= 0xFFFF ? VkKeyScanExW(static_cast<WCHAR>(k.ch), layout)
                                          : static_cast<SHORT>(-1);
        const int shifts = scan == -1 ? 0 : (scan >> 8) & 0xFF;
        // Characters the layout lacks, and those that need Ctrl or Alt
        // (AltGr), are typed as themselves rather than as key chords.
        const WORD vk = static_cast<WORD>(scan & 0xFF);
        bool shift = (shifts & 1) != 0;
        bool as_key = scan != -1 && (shifts & 6) == 0;
        // A plain character must arrive as itself, whatever Caps Lock says.
        if (as_key && !k.mods.shift && !k.mods.ctrl && !k.mods.alt &&
            !key_types(vk, shift, caps, k.ch, layout)) {
            shift = !shift;
            as_key = key_types(vk, shift, caps, k.ch, layout);
        }
        if (!as_key) {
            add_unicode(in, k.ch);
        } else {
            shift = shift && !k.mods.shift;
            if (shift) add_key(in, VK_SHIFT, false, layout);
            add_key(in, vk, false, layout);
            add_key(in, vk, true, layout);
            if (shift) add_key(in, VK_SHIFT, true, layout);
        }
    }
    if (k.mods.alt) add_key(in, VK_MENU, true, layout);
    if (k.mods.ctrl) add_key(in, VK_CONTROL, true, layout);
    if (k.mods.shift) add_key(in, VK_SHIFT, true, layout);
}

}  // namespace

platform::KeysSent Win32Platform::send_keys(std::string_view,
                                            std::span<const platform::KeyStroke> keys, bool wait) {
    using platform::KeysSent;
    Win32Data& d = *d_;
    if (keys.empty()) return KeysSent::Typed;
    if (d.quitting || d.ending) return KeysSent::NoWindow;
    HWND found = d.activated;
    if (!found || !IsWindow(found)) return KeysSent::NoWindow;
    // Keys for a hung window wait in its queue and go in whenever it wakes.
    if (IsHungAppWindow(found)) return KeysSent::Hung;
    // Before every step: the user may open it during the typing delay, and
    // the letters and the Enter would then only compose.
    if (ime_open(found)) return KeysSent::ImeOpen;
    const auto held = [this] { return modifiers_held() || mouse_buttons_held(); };
    if (!holds_foreground(found)) {
        // Nothing, the desktop or this program in front (a click that reached
        // the panel, BM_CLICK from an accessibility tool): IvAc comes back.
        // A window of another program was chosen by the user: a chat, a
        // browser; the keys must not go there, nor wait for it to go.
        if (other_program(GetForegroundWindow())) return KeysSent::OtherInFront;
        // A window brought forward under a pressed button takes the press.
        if (held()) return KeysSent::Held;
        bool held_off = false;
        if (!bring_to_front(d, found, &held_off) || d.quitting || d.ending) {
            if (!IsWindow(found)) return KeysSent::NoWindow;
            return held_off ? KeysSent::Held : KeysSent::NotInFront;
        }
    }
    HWND target = GetForegroundWindow();
    const DWORD thread = target ? GetWindowThreadProcessId(target, nullptr) : 0;
    HKL layout = GetKeyboardLayout(thread);
    const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    std::vector<INPUT> in;
    for (const platform::KeyStroke& k : keys) add_stroke(in, k, layout, caps);
    if (in.empty()) return KeysSent::Typed;
    // Last, after any bringing back: a key pressed meanwhile would combine.
    if (held()) return KeysSent::Held;
    const UINT sent = SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    // Fewer taken than given: the input was blocked (a UAC prompt, another
    // desktop); the rest of the command must not follow.
    if (sent < in.size()) return KeysSent::Refused;
    if (!wait || !target || thread == GetCurrentThreadId()) return KeysSent::Typed;
    // Each round trip makes the target's thread go back to its queue once;
    // after 2N+1 of them every key event (and each WM_CHAR that translating
    // it posted) has been handled. All of them within one deadline: a slow
    // target must not freeze this window for seconds per step.
    const platform::Millis until = now_ms() + kKeyWaitMs;
    for (UINT i = 0; i < 2 * sent + 1; ++i) {
        const platform::Millis left = until - now_ms();
        if (left <= 0) break;
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                 static_cast<UINT>(left), &result)) {
            break;
        }
    }
    return KeysSent::Typed;
}

namespace {

bool any_down(std::initializer_list<int> keys) {
    for (int vk : keys) {
        if (GetAsyncKeyState(vk) & 0x8000) return true;
    }
    return false;
}

bool modifiers_down() {
    return any_down({VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN});
}

// The physical buttons: GetAsyncKeyState reports them unswapped.
bool buttons_down() {
    return any_down({VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2});
}

}  // namespace

bool user_holds_keys(const Win32Data& d) {
    return !d.ending && (modifiers_down() || buttons_down());
}

bool Win32Platform::modifiers_held() {
    return !d_->ending && modifiers_down();
}

bool Win32Platform::mouse_buttons_held() {
    return !d_->ending && buttons_down();
}

}  // namespace tovira::win32
