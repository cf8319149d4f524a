// Window activation of the Win32 backend: the window whose title equals
// the given text or begins with it, judged by `choose_window` on the facts
// gathered here (its program's image name, its class, whether Windows calls
// it hung, its program's integrity level against this program's, whether a
// message to it crosses the barrier between integrity levels, whether its
// input method is open), brought to the foreground (a minimised one restored
// without waiting on its thread; through the foreground lock with an Alt
// tap, never into another program's window and never while the user holds
// a key or a button), InFront only once it holds the foreground; whether
// there was one at all tells the dispatch where the handover goes. Nothing
// here waits on IvAc's thread longer than kAskMs: a busy IvAc must not
// freeze the panel.
//
// Left out: a window of another desktop or session, which EnumWindows does
// not list. Under Wine every process reads at the same integrity level, no
// window is ever a ghost and no input method opens, so only Windows ever
// gives those verdicts; the sim's facts test the rule.
#include "backends/win32/win32_internal.h"
#include "platform/window_verdict.h"

namespace tovira::win32 {

namespace {

// The first try of an activation; the rest of kActivationWaitMs follows the
// Alt tap that lifts the foreground lock.
constexpr DWORD kActivateFirstTryMs = static_cast<DWORD>(platform::kActivationFirstTryMs);

// The longest this program waits for an answer from IvAc's thread to one
// question (the barrier, the input method): IvAc may be busy for seconds.
constexpr UINT kAskMs = 50;
// WM_IME_CONTROL's question for the open state (imm.h of the Windows SDK;
// MinGW's lacks it).
constexpr WPARAM kImcGetOpenStatus = 0x0005;

// The integrity level of a process token (its label's last sub-authority).
std::optional<DWORD> token_integrity(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data());
    PSID sid = label->Label.Sid;
    if (!sid || !IsValidSid(sid)) return std::nullopt;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count == 0) return std::nullopt;
    return *GetSidSubAuthority(sid, count - 1u);
}

std::optional<DWORD> own_integrity() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
    const std::optional<DWORD> level = token_integrity(token);
    CloseHandle(token);
    return level;
}

// The image path and the integrity of the process `pid` against `own`.
// Windows drops the keys a process sends to one of higher integrity without
// a word (SendInput's count and GetLastError say nothing of it). A process
// that opens but refuses its token was elevated with another account's
// credentials: higher. One that does not open at all: nothing known.
void process_facts(DWORD pid, std::optional<DWORD> own, platform::WindowFacts& f) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) {
        f.integrity = platform::Integrity::Unknown;
        return;
    }
    wchar_t path[1024];
    DWORD length = static_cast<DWORD>(std::size(path));
    if (QueryFullProcessImageNameW(process, 0, path, &length)) {
        f.image = wide_to_utf8(std::wstring_view(path, length)).value_or(std::string());
    }
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        f.integrity = platform::Integrity::TokenRefused;
    } else {
        const std::optional<DWORD> theirs = token_integrity(token);
        CloseHandle(token);
        if (!theirs || !own) {
            f.integrity = platform::Integrity::Unknown;
        } else {
            f.integrity =
                *theirs > *own ? platform::Integrity::Higher : platform::Integrity::NotHigher;
        }
    }
    CloseHandle(process);
}

// Windows refuses a message across the barrier between integrity levels
// with ERROR_ACCESS_DENIED, before the window sees it, exactly where it
// drops this program's keys: the direct test, whatever the token said. The
// message is registered for this alone, so no window acts on it.
platform::Barrier barrier(HWND hwnd) {
    static const UINT probe = RegisterWindowMessageW(L"Tovira.InputBarrier");
    if (!probe) return platform::Barrier::Unknown;
    DWORD_PTR result = 0;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageTimeoutW(hwnd, probe, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kAskMs, &result)) {
        return platform::Barrier::Passed;
    }
    return GetLastError() == ERROR_ACCESS_DENIED ? platform::Barrier::Refused
                                                 : platform::Barrier::Unknown;
}

struct FindTitle {
    std::wstring title;
    HWND self = nullptr;
    std::vector<HWND> found;  // front first
};

// Every visible window of another program whose title begins with the one
// sought: the candidates whose facts are gathered.
BOOL CALLBACK find_title(HWND hwnd, LPARAM arg) {
    auto* f = reinterpret_cast<FindTitle*>(arg);
    if (hwnd == f->self || !IsWindowVisible(hwnd)) return TRUE;
    // None of this program's own windows: the result balloon's text may
    // begin with "IvAc".
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId()) return TRUE;
    const std::wstring text = window_text(hwnd);
    if (text.compare(0, f->title.size(), f->title) == 0 && text.size() >= f->title.size()) {
        f->found.push_back(hwnd);
    }
    return TRUE;
}

platform::WindowFacts window_facts(HWND hwnd, std::optional<DWORD> own) {
    platform::WindowFacts f;
    f.title = wide_to_utf8(window_text(hwnd)).value_or(std::string());
    wchar_t cls[256];
    const int n = GetClassNameW(hwnd, cls, static_cast<int>(std::size(cls)));
    if (n > 0) f.class_name = wide_to_utf8(std::wstring_view(cls, n)).value_or(std::string());
    f.hung = IsHungAppWindow(hwnd) != FALSE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    process_facts(pid, own, f);
    // Only a window that may be the target is asked anything: a ghost or a
    // hung window would keep the question waiting.
    if (!f.hung && !platform::is_ghost(f) && !platform::never_the_target(f)) {
        f.barrier = barrier(hwnd);
        f.ime_open = f.barrier != platform::Barrier::Refused && ime_open(hwnd);
    }
    return f;
}

LONGLONG clock_ms(const Win32Data& d) {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000 / d.qpc_frequency.QuadPart;
}

// In front and restored: keys for a window still minimised would arrive as
// system keys.
bool in_front(HWND target) {
    return holds_foreground(target) && !IsIconic(target);
}

// The foreground changes asynchronously: waits for `target` to have it
// while serving the window (the core's events wait in the gate), until
// `until` on `clock_ms`.
bool wait_foreground(Win32Data& d, HWND target, LONGLONG until) {
    while (!in_front(target) && !d.quitting && !d.ending) {
        const LONGLONG left = until - clock_ms(d);
        if (left <= 0) break;
        pump(d);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<LONGLONG>(left, 5)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return in_front(target);
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

// The foreground lock of Windows: join the input of the foreground thread
// (and tap Alt, after which the system lets the change happen), then ask
// again. Joining another program's input injects nothing.
void lift_lock(HWND target, bool tap) {
    HWND fg = GetForegroundWindow();
    const DWORD fg_thread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    const DWORD me = GetCurrentThreadId();
    const bool attached = fg_thread && fg_thread != me && AttachThreadInput(me, fg_thread, TRUE);
    if (tap) tap_alt();
    SetForegroundWindow(target);
    // BringWindowToTop waits on the target's thread; this does not.
    SetWindowPos(target, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
    if (attached) AttachThreadInput(me, fg_thread, FALSE);
}

}  // namespace

// Whether the input method of `hwnd`'s thread is open: it would compose the
// typed letters, and the Enter would only commit them. Asked of the
// thread's default IME window; no answer in time: taken as closed.
bool ime_open(HWND hwnd) {
    HWND ime = ImmGetDefaultIMEWnd(hwnd);
    if (!ime) return false;
    DWORD_PTR open = 0;
    if (!SendMessageTimeoutW(ime, WM_IME_CONTROL, kImcGetOpenStatus, 0,
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, kAskMs, &open)) {
        return false;
    }
    return open != 0;
}

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
// got there. The Alt tap never goes into another program's window (it would
// be its key: a menu opened, a field left) nor while the user holds a key
// or a button (Shift with Alt switches the input language): it waits for
// them within the wait; `held_off` tells whether they kept it off to the end.
bool bring_to_front(Win32Data& d, HWND target, bool* held_off) {
    if (held_off) *held_off = false;
    const LONGLONG start = clock_ms(d);
    // ShowWindow would wait on the target's thread, for as long as a busy
    // IvAc takes; the restore is waited for below, within the bound.
    if (IsIconic(target)) ShowWindowAsync(target, SW_RESTORE);
    SetForegroundWindow(target);
    if (wait_foreground(d, target, start + kActivateFirstTryMs)) return true;
    if (d.quitting || d.ending || !IsWindow(target)) return false;
    bool tap_due = !other_program(GetForegroundWindow());
    const bool held = user_holds_keys(d);
    lift_lock(target, tap_due && !held);
    if (!held) tap_due = false;
    const LONGLONG until = start + platform::kActivationWaitMs;
    while (!in_front(target) && !d.quitting && !d.ending && IsWindow(target)) {
        const LONGLONG left = until - clock_ms(d);
        if (left <= 0) break;
        if (tap_due && !user_holds_keys(d)) {
            tap_due = false;
            lift_lock(target, !other_program(GetForegroundWindow()));
        }
        pump(d);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<LONGLONG>(left, 5)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    if (in_front(target)) return true;
    if (held_off) *held_off = tap_due;
    return false;
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
    std::vector<platform::WindowFacts> facts;
    const std::optional<DWORD> own = find.found.empty() ? std::nullopt : own_integrity();
    for (HWND hwnd : find.found) facts.push_back(window_facts(hwnd, own));
    const platform::WindowChoice choice = platform::choose_window(facts, title);
    switch (choice.verdict) {
        case platform::Verdict::NoWindow: return Activation::NoWindow;
        case platform::Verdict::Hung: return Activation::Hung;
        case platform::Verdict::Elevated: return Activation::Elevated;
        case platform::Verdict::ImeOpen: return Activation::ImeOpen;
        case platform::Verdict::Target: break;
    }
    HWND target = find.found[choice.index];
    d.activated = target;
    // Only a window that really came forward counts: the keys would go to
    // whatever is in front otherwise.
    return bring_to_front(d, target) ? Activation::InFront : Activation::NotInFront;
}

}  // namespace tovira::win32
