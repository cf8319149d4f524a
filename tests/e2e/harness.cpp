// The harness shared by every scenario: see harness.h.
// clang-format off
#include "harness.h"
// after windows.h, which harness.h brings
#include <psapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace e2e {

// ---------------------------------------------------------------- basics

LARGE_INTEGER g_freq;

double nowMs() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(g_freq.QuadPart);
}

std::string u8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// Shows control characters, so that a wrong line end is visible in a message.
std::string visible(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02x", c);
            out += b;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// One indented report line, flushed at once so a hang shows where it was.
void report(const char* prefix, const char* fmt, va_list ap) {
    std::printf("      %s", prefix);
    std::vprintf(fmt, ap);
    std::printf("\n");
    std::fflush(stdout);
}

void say(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    report("", fmt, ap);
    va_end(ap);
}

int g_failures = 0;  // in the current scenario

bool check(bool ok, const char* fmt, ...) {
    if (ok) return true;
    va_list ap;
    va_start(ap, fmt);
    report("FAIL: ", fmt, ap);
    va_end(ap);
    ++g_failures;
    return false;
}

bool waitFor(const std::function<bool()>& cond, double timeoutMs, int pollMs) {
    double end = nowMs() + timeoutMs;
    for (;;) {
        if (cond()) return true;
        if (nowMs() > end) return false;
        Sleep(static_cast<DWORD>(pollMs));
    }
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---------------------------------------------------------------- files

bool readFile(const std::wstring& path, std::string& out) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    out.clear();
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return true;
}

void makeDirs(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
}

bool writeFile(const std::wstring& path, const std::string& data) {
    makeDirs(path.substr(0, path.find_last_of(L'\\')));
    // Written beside and renamed into place: the servers never read half a file.
    std::wstring tmp = path + L".tmp";
    HANDLE h = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) &&
              put == data.size();
    CloseHandle(h);
    return ok && MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool fileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> lines(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < s.size()) {
        size_t nl = s.find('\n', start);
        if (nl == std::string::npos) nl = s.size();
        out.push_back(s.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

// ---------------------------------------------------------------- processes and windows

// Starts a program in `cwd`; its standard output and error go to `log`, so
// that whatever it prints stays out of the suite's report.
Proc launch(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd,
            const std::wstring& log) {
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = TRUE;
    HANDLE out = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (out != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = out;
        si.hStdError = out;
    }
    PROCESS_INFORMATION pi{};
    Proc p;
    if (CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0,
                       nullptr, cwd.c_str(), &si, &pi)) {
        CloseHandle(pi.hThread);
        p.h = pi.hProcess;
        p.pid = pi.dwProcessId;
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    return p;
}

bool running(const Proc& p) {
    return p.h && WaitForSingleObject(p.h, 0) == WAIT_TIMEOUT;
}

void kill(Proc& p) {
    if (!p.h) return;
    if (running(p)) {
        TerminateProcess(p.h, 1);
        WaitForSingleObject(p.h, 5000);
    }
    CloseHandle(p.h);
    p.h = nullptr;
}

struct TopFind {
    DWORD pid;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK findTopProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<TopFind*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != f->pid) return TRUE;
    wchar_t buf[256] = L"";
    GetWindowTextW(h, buf, 256);
    if (f->title && std::wcscmp(buf, f->title) != 0) return TRUE;
    f->found = h;
    return FALSE;
}

HWND topWindow(DWORD pid, const wchar_t* title) {
    TopFind f{pid, title, nullptr};
    EnumWindows(findTopProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::wstring text(HWND h) {
    wchar_t buf[1024] = L"";
    DWORD_PTR r = 0;
    if (!h || !SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf),
                                   SMTO_ABORTIFHUNG, 5000, &r))
        return L"<no answer>";
    return buf;
}

struct ChildFind {
    int id;
    HWND found;
};

BOOL CALLBACK findChildProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<ChildFind*>(lp);
    if (GetDlgCtrlID(h) != f->id) return TRUE;
    f->found = h;
    return FALSE;
}

// A control by its fixed ID, also when it sits in a container window.
HWND item(HWND main, int id) {
    if (HWND h = GetDlgItem(main, id)) return h;
    ChildFind f{id, nullptr};
    EnumChildWindows(main, findChildProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

// Sends a click and returns when the program has handled it.
bool click(HWND h) {
    DWORD_PTR r = 0;
    return h && SendMessageTimeoutW(h, BM_CLICK, 0, 0, SMTO_NORMAL, 15000, &r);
}

// ---------------------------------------------------------------- tool tips

struct TipFind {
    DWORD pid;
    std::vector<HWND> tips;
};

BOOL CALLBACK findTipProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<TipFind*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (pid == f->pid && _wcsicmp(cls, TOOLTIPS_CLASSW) == 0) f->tips.push_back(h);
    return TRUE;
}

std::vector<HWND> toolTipWindows(DWORD pid) {
    TipFind tf{pid, {}};
    EnumWindows(findTipProc, reinterpret_cast<LPARAM>(&tf));
    return tf.tips;
}

// The tool tip text of a control of another process. Both the TTTOOLINFOW and
// the text buffer have to live in the target's address space.
std::wstring toolTip(DWORD pid, HWND tool) {
    TipFind tf{pid, {}};
    EnumWindows(findTipProc, reinterpret_cast<LPARAM>(&tf));
    HANDLE p = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!p) return L"<OpenProcess failed>";
    constexpr SIZE_T kChars = 1024;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(p, nullptr, sizeof(TTTOOLINFOW) + (kChars + 1) * sizeof(wchar_t) * 2,
                       MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    std::wstring result = L"<no tool tip>";
    if (!remote) {
        CloseHandle(p);
        return L"<VirtualAllocEx failed>";
    }
    auto* remoteText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
    for (HWND tip : tf.tips) {
        DWORD_PTR count = 0;
        SendMessageTimeoutW(tip, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
        for (DWORD_PTR k = 0; k < count; ++k) {
            TTTOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.lpszText = remoteText;
            WriteProcessMemory(p, remote, &ti, sizeof ti, nullptr);
            DWORD_PTR ok = 0;
            SendMessageTimeoutW(tip, TTM_ENUMTOOLSW, k, reinterpret_cast<LPARAM>(remote),
                                SMTO_ABORTIFHUNG, 2000, &ok);
            if (!ok) continue;
            ReadProcessMemory(p, remote, &ti, sizeof ti, nullptr);
            bool byHwnd = (ti.uFlags & TTF_IDISHWND) != 0;
            if (!(byHwnd ? reinterpret_cast<HWND>(ti.uId) == tool : ti.hwnd == tool)) continue;
            // The tool is found; ask for its text the documented way.
            wchar_t zero = 0;
            ti.lpszText = remoteText;
            WriteProcessMemory(p, remote, &ti, sizeof ti, nullptr);
            WriteProcessMemory(p, remoteText, &zero, sizeof zero, nullptr);
            SendMessageTimeoutW(tip, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remote),
                                SMTO_ABORTIFHUNG, 2000, nullptr);
            wchar_t buf[kChars + 1] = L"";
            ReadProcessMemory(p, remoteText, buf, kChars * sizeof(wchar_t), nullptr);
            buf[kChars] = 0;
            result = buf;
            k = count;
        }
        if (result != L"<no tool tip>") break;
    }
    VirtualFreeEx(p, remote, 0, MEM_RELEASE);
    CloseHandle(p);
    return result;
}

// ---------------------------------------------------------------- figures

Figures g_fig;
PressFigures g_pressFig;
FeedFigures g_feedFig;
AuroraFigures g_aurora;

// ---------------------------------------------------------------- Tovira

std::wstring scenarioDir(const char* name) {
    std::wstring dir = g_opt.work + L"\\" + wide(name);
    makeDirs(dir);
    DeleteFileW((dir + L"\\tq.cfg").c_str());
    return dir;
}

bool startTovira(const std::wstring& dir, Tovira& t, const std::wstring& args) {
    t.dir = dir;
    std::wstring exe = dir + L"\\tovira.exe";
    if (!check(CopyFileW(g_opt.exe.c_str(), exe.c_str(), FALSE), "copy tovira.exe into %s",
               u8(dir).c_str()))
        return false;
    // Aurora is asked for its stations only where a scenario says so: the
    // handover's scenarios count every line the Aurora stand-in receives.
    const std::wstring all = args.find(L"--aurora-refresh-ms") == std::wstring::npos
                                 ? args + (args.empty() ? L"" : L" ") + L"--aurora-refresh-ms 0"
                                 : args;
    double t0 = nowMs();
    t.p = launch(exe, all, dir, dir + L"\\tovira.out");
    if (!check(t.p.h != nullptr, "start tovira.exe (error %lu)", GetLastError())) return false;
    waitFor([&] { return (t.main = topWindow(t.p.pid, L"Tovira")) != nullptr || !running(t.p); },
            20000);
    if (!check(t.main != nullptr, "a top-level window titled \"Tovira\" appears")) return false;
    t.started = t0;
    return true;
}

bool isNumber(const std::wstring& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// Start-up is over when the window is shown again after its first update.
// With a staffed slot: when that slot's button carries the loaded name and is
// visible, which needs the window shown again (the buttons are visible, with
// empty captions, from the creation until the window hides for the load).

bool waitReady(Tovira& t, int staffedSlot, const std::string& caption) {
    // The controls come after the main window: look them up on every poll.
    bool ok;
    if (staffedSlot >= 0) {
        std::wstring want = wide(caption);
        auto ready = [&] {
            HWND b = item(t.main, id::c1(staffedSlot));
            return b && IsWindowVisible(b) && text(b) == want;
        };
        ok = waitFor([&] { return ready() || !running(t.p); }, 20000, 20) && ready();
    } else {
        // The window is shown at its creation too (1200 twips wide) and
        // hidden for the load; the start-up sequence ends with the panel
        // view, 1290 twips wide, shown.
        auto ready = [&] {
            RECT r{};
            return IsWindowVisible(t.main) && isNumber(text(item(t.main, id::Label5))) &&
                   GetWindowRect(t.main, &r) && std::abs((r.right - r.left) - px(1290)) <= 2;
        };
        ok = waitFor([&] { return ready() || !running(t.p); }, 20000, 50) && ready();
    }
    if (ok) g_fig.startMs.push_back(nowMs() - t.started);
    return check(ok, "the start-up sequence ends with the window shown (Label5 \"%s\", %s)",
                 u8(text(item(t.main, id::Label5))).c_str(),
                 IsWindowVisible(t.main) ? "visible" : "hidden");
}

SIZE_T peakOf(const Tovira& t) {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    return t.p.h && GetProcessMemoryInfo(t.p.h, &pmc, sizeof pmc) ? pmc.PeakWorkingSetSize : 0;
}

void notePeak(const Tovira& t) {
    g_fig.peakWorkingSet = std::max(g_fig.peakWorkingSet, peakOf(t));
}

void stopTovira(Tovira& t) {
    if (running(t.p)) {
        notePeak(t);
        PostMessageW(t.main, WM_CLOSE, 0, 0);
        WaitForSingleObject(t.p.h, 10000);
    }
    kill(t.p);
}

double cpuMs(HANDLE h) {
    FILETIME c, e, k, u;
    if (!GetProcessTimes(h, &c, &e, &k, &u)) return -1;
    auto ms = [](FILETIME f) {
        return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                   f.dwLowDateTime) /
               10000.0;
    };
    return ms(k) + ms(u);
}

// ---------------------------------------------------------------- the IvAc stand-in

// `extra`: the stand-in's behaviour options (--late, --never, --on-f4 ...).
bool startStub(const std::wstring& dir, const std::wstring& title, Stub& s,
               const std::wstring& extra) {
    s.log = dir + L"\\keys-" + std::to_wstring(GetTickCount()) + L".log";
    s.p = launch(g_opt.stub,
                 L"--title \"" + title + L"\" --log \"" + s.log + L"\"" +
                     (extra.empty() ? L"" : L" " + extra),
                 dir, dir + L"\\ivac_stub.out");
    if (!check(s.p.h != nullptr, "start ivac_stub.exe")) return false;
    // Shown, not only created: its first activation is over.
    auto ready = [&] {
        std::string log;
        return (s.wnd = topWindow(s.p.pid, title.c_str())) != nullptr && readFile(s.log, log) &&
               log.find(" READY ") != std::string::npos;
    };
    waitFor(ready, 15000);
    return check(s.wnd != nullptr, "the stand-in window \"%s\" appears", u8(title).c_str());
}

void stopStub(Stub& s) {
    if (running(s.p) && s.wnd) {
        double t0 = nowMs();
        PostMessageW(s.wnd, WM_CLOSE, 0, 0);
        WaitForSingleObject(s.p.h, 3000);
        if (g_fig.stubExitMs < 0) g_fig.stubExitMs = nowMs() - t0;
    }
    kill(s.p);
}

// ---------------------------------------------------------------- the Aurora stand-in

bool startAurora(const std::wstring& dir, Aurora& a, const std::wstring& extra) {
    std::wstring exe =
        g_opt.stub.substr(0, g_opt.stub.find_last_of(L"\\/") + 1) + L"aurora_stub.exe";
    a.log = dir + L"\\aurora-" + std::to_wstring(GetTickCount()) + L".log";
    a.p = launch(exe, L"--log \"" + a.log + L"\"" + (extra.empty() ? L"" : L" " + extra), dir,
                 dir + L"\\aurora_stub.out");
    if (!check(a.p.h != nullptr, "start aurora_stub.exe")) return false;
    const bool fill = extra.find(L"--never-accept") != std::wstring::npos;
    waitFor(
        [&] {
            std::string log;
            return (a.wnd = topWindow(a.p.pid, L"Aurora (stand-in)")) != nullptr &&
                   readFile(a.log, log) &&
                   log.find(fill ? " FULL " : " READY ") != std::string::npos;
        },
        15000);
    return check(a.wnd != nullptr, "the Aurora stand-in is listening");
}

void stopAurora(Aurora& a) {
    if (running(a.p) && a.wnd) {
        PostMessageW(a.wnd, WM_CLOSE, 0, 0);
        WaitForSingleObject(a.p.h, 3000);
    }
    kill(a.p);
}

// The stations that the panel shows, by their button's visibility.
// ---------------------------------------------------------------- the panel

std::vector<int> visibleSlots(const Tovira& t) {
    std::vector<int> v;
    for (int i = 0; i < 30; ++i)
        if (IsWindowVisible(item(t.main, id::c1(i)))) v.push_back(i);
    return v;
}

std::string list(const std::vector<int>& v) {
    // Appended piece by piece: GCC 12 warns wrongly (-Wrestrict, at -O2 and
    // above) about `"," + std::to_string(x)`.
    std::string s = "{";
    for (int x : v) {
        if (s.size() > 1) s += ',';
        s += std::to_string(x);
    }
    s += '}';
    return s;
}

// Starts Tovira on the suite's stations, four of them staffed, and waits until
// its panel shows them.
bool startStaffed(const char* name, Tovira& t, const Cfg& cfg, const std::wstring& args) {
    serveIndex("status.test.aero");
    serveStatus(statusFile());
    setIndexDelay(0);
    std::wstring dir = scenarioDir(name);
    writeFile(dir + L"\\tq.cfg", render(cfg));
    return startTovira(dir, t, args) && waitReady(t, kStaffed.front().slot, "DT_TWR");
}

void requestUpdate(const Tovira& t) {
    HWND b = item(t.main, id::Command7);
    PostMessageW(t.main, WM_COMMAND, MAKEWPARAM(id::Command7, BN_CLICKED),
                 reinterpret_cast<LPARAM>(b));
}

// How long the window takes to answer a message: a frozen panel shows here.
double answerMs(HWND h) {
    double t0 = nowMs();
    DWORD_PTR r = 0;
    SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    return nowMs() - t0;
}

int px(double twips) {
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

bool panelToFront(const Tovira& t) {
    SetForegroundWindow(t.main);
    return check(waitFor([&] { return GetForegroundWindow() == t.main; }, 2000, 5),
                 "the panel comes to the front");
}

// ---------------------------------------------------------------- presses, the balloon, pictures

void holdKey(WORD vk, bool down) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
}

// A press and release of the left mouse button at the middle of `h`, held
// `holdMs`, as a hand makes it; returns the moments of both.
void pressAt(HWND h, int holdMs, double& down, double& up) {
    RECT r{};
    GetWindowRect(h, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Sleep(30);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    down = nowMs();
    SendInput(1, &in, sizeof in);
    Sleep(static_cast<DWORD>(holdMs));
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    up = nowMs();
    SendInput(1, &in, sizeof in);
}

bool takeShot(const char* view, RECT r) {
    std::wstring req = g_opt.shots + L"\\" + wide(view) + L".req";
    std::wstring done = g_opt.shots + L"\\" + wide(view) + L".done";
    DeleteFileW(done.c_str());
    char b[96];
    std::snprintf(b, sizeof b, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left,
                  r.bottom - r.top);
    writeFile(req, b);
    return waitFor([&] { return fileExists(done); }, 30000, 50);
}

bool mountReadOnly(const std::wstring& dir, bool readOnly) {
    // Z:\ is the root of the Linux file system.
    if (dir.size() < 3 || (dir[0] != L'Z' && dir[0] != L'z') || dir[1] != L':') return false;
    std::string path = u8(dir.substr(2));
    std::replace(path.begin(), path.end(), '\\', '/');
    static int n = 0;
    std::wstring name = g_opt.shots + L"\\folder" + std::to_wstring(++n);
    std::wstring done = name + L".mount-done";
    DeleteFileW(done.c_str());
    // Whole before the script sees it.
    if (!writeFile(name + L".tmp", (readOnly ? "ro " : "rw ") + path + "\n") ||
        !MoveFileExW((name + L".tmp").c_str(), (name + L".mount").c_str(),
                     MOVEFILE_REPLACE_EXISTING))
        return false;
    std::string outcome;
    return waitFor([&] { return fileExists(done); }, 10000, 50) && readFile(done, outcome) &&
           outcome.starts_with("ok");
}

// The balloon of Tovira's process: a visible balloon tool tip with a text
// (a tool tip answers WM_GETTEXT with the text it shows).
std::wstring balloon(DWORD pid, HWND* found) {
    TipFind tf{pid, {}};
    EnumWindows(findTipProc, reinterpret_cast<LPARAM>(&tf));
    for (HWND tip : tf.tips) {
        if (!IsWindowVisible(tip) || !(GetWindowLongW(tip, GWL_STYLE) & TTS_BALLOON)) continue;
        wchar_t buf[512] = L"";
        DWORD_PTR n = 0;
        SendMessageTimeoutW(tip, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                            2000, &n);
        if (buf[0] == L'\0') continue;
        if (found) *found = tip;
        return buf;
    }
    return L"";
}

double clickForBalloon(Tovira& t, int slot, const std::wstring& want, double& stall,
                       double* clickedAt, double timeoutMs) {
    stall = 0;
    const double t0 = nowMs();
    if (clickedAt) *clickedAt = t0;
    check(click(item(t.main, id::c1(slot))), "click on station button c1(%d)", slot);
    double shown = -1;
    waitFor(
        [&] {
            stall = std::max(stall, answerMs(t.main));
            if (balloon(t.p.pid) != want) return false;
            shown = nowMs() - t0;
            return true;
        },
        timeoutMs, 20);
    check(shown >= 0, "c1(%d): the balloon says \"%s\", it says \"%s\"", slot, u8(want).c_str(),
          u8(balloon(t.p.pid)).c_str());
    return shown;
}

const wchar_t kAuroraNoAccess[] =
    L"No IvAc window, and Aurora does not answer: set Settings (F7) > Other > "
    L"\"3rd Party Software Access\" to YES; if it is, apply it again";

}  // namespace e2e
