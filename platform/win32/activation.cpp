// Window activation of the Win32 backend: the window whose title equals
// the given text or begins with it, brought to the foreground (through the
// foreground lock with an Alt tap, never into another program's window),
// InFront only once it holds the foreground; whether there was one at all
// tells the dispatch where the handover goes.
#include "platform/win32/win32_internal.h"

namespace tovira::win32 {

namespace {

// The first try of an activation; the rest of kActivationWaitMs follows the
// Alt tap that lifts the foreground lock.
constexpr DWORD kActivateFirstTryMs = static_cast<DWORD>(platform::kActivationFirstTryMs);

struct FindTitle {
    std::wstring title;
    HWND self = nullptr;
    HWND exact = nullptr;
    HWND prefix = nullptr;
};

BOOL CALLBACK find_title(HWND hwnd, LPARAM arg) {
    auto* f = reinterpret_cast<FindTitle*>(arg);
    if (hwnd == f->self || !IsWindowVisible(hwnd)) return TRUE;
    // None of this program's own windows: the result balloon's text may
    // begin with "IvAc".
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) return TRUE;
    const std::wstring text = window_text(hwnd);
    if (text == f->title) {
        f->exact = hwnd;
        return FALSE;
    }
    if (!f->prefix && text.size() > f->title.size() &&
        text.compare(0, f->title.size(), f->title) == 0) {
        f->prefix = hwnd;
    }
    return TRUE;
}

LONGLONG clock_ms(const Win32Data& d) {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000 / d.qpc_frequency.QuadPart;
}

// The foreground changes asynchronously: waits for `target` to have it
// while serving the window (the core's events wait in the gate), until
// `until` on `clock_ms`.
bool wait_foreground(Win32Data& d, HWND target, LONGLONG until) {
    while (!holds_foreground(target) && !d.quitting && !d.ending) {
        const LONGLONG left = until - clock_ms(d);
        if (left <= 0) break;
        pump(d);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<LONGLONG>(left, 5)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return holds_foreground(target);
}

// An unassigned key (0xE8) inside the tap keeps the target out of its menu
// bar, where F4, Down and the letters would go otherwise.
void tap_alt() {
    INPUT alt[4] = {};
    for (INPUT& i : alt) i.type = INPUT_KEYBOARD;
    alt[0].ki.wVk = alt[3].ki.wVk = VK_MENU;
    alt[1].ki.wVk = alt[2].ki.wVk = 0xE8;
    alt[2].ki.dwFlags = alt[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, alt, sizeof(INPUT));
}

}  // namespace

// Whether `target` is in front: the window itself, or another window of its
// program (a dialog it opened on a key): the keys are IvAc's either way.
bool holds_foreground(HWND target) {
    HWND fg = GetForegroundWindow();
    if (!target || !fg || !IsWindow(target)) return false;
    if (fg == target) return true;
    DWORD fg_pid = 0, target_pid = 0;
    GetWindowThreadProcessId(fg, &fg_pid);
    GetWindowThreadProcessId(target, &target_pid);
    return fg_pid != 0 && fg_pid == target_pid;
}

// Brings `target` to the foreground within kActivationWaitMs; true when it
// got there.
bool bring_to_front(Win32Data& d, HWND target) {
    const LONGLONG start = clock_ms(d);
    if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
    SetForegroundWindow(target);
    if (wait_foreground(d, target, start + kActivateFirstTryMs)) return true;
    if (d.quitting || d.ending || !IsWindow(target)) return false;

    // The foreground lock of Windows: join the input of the foreground
    // thread and tap Alt, after which the system lets the change happen.
    // Not when another program's window is in front: the tap would be its
    // key (a menu opened, a field left); joining its input injects nothing.
    HWND fg = GetForegroundWindow();
    const DWORD fg_thread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    const DWORD me = GetCurrentThreadId();
    const bool attached = fg_thread && fg_thread != me && AttachThreadInput(me, fg_thread, TRUE);
    if (!other_program(fg)) tap_alt();
    SetForegroundWindow(target);
    BringWindowToTop(target);
    if (attached) AttachThreadInput(me, fg_thread, FALSE);
    return wait_foreground(d, target, start + platform::kActivationWaitMs);
}

// A window of another program that the user may have chosen on purpose.
bool other_program(HWND hwnd) {
    if (!hwnd || hwnd == GetDesktopWindow() || hwnd == GetShellWindow()) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid != GetCurrentProcessId();
}

platform::Activation Win32Platform::app_activate(std::string_view title) {
    using platform::Activation;
    Win32Data& d = *d_;
    d.activated = nullptr;
    // Closing: no handover anywhere, IvAc or Aurora.
    if (d.quitting || d.ending) return Activation::NotInFront;
    FindTitle find;
    find.title = widen(title);
    find.self = d.window;
    EnumWindows(find_title, reinterpret_cast<LPARAM>(&find));
    HWND target = find.exact ? find.exact : find.prefix;
    d.activated = target;
    if (!target) return Activation::NoWindow;
    // Only a window that really came forward counts: the keys would go to
    // whatever is in front otherwise.
    return bring_to_front(d, target) ? Activation::InFront : Activation::NotInFront;
}

}  // namespace tovira::win32
