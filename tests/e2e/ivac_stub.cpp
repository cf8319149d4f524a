// A stand-in for the IvAc client: a top-level window titled "IvAc" (or any
// title given with --title) that records every key it receives, with its
// QueryPerformanceCounter time in microseconds, and shows the keys in its
// window. The end-to-end driver reads the log; the demo shows the window.
//
//   ivac_stub.exe [--title TEXT] [--log FILE] [--pos X Y]
//                 [--late MS | --never] [--hand-to TITLE] [--on-f4 yield TITLE|click ID]
//                 [--late-after-f4 MS] [--minimised]
//
// --late MS: an activation by another program takes effect MS ms late; in
//   between the foreground goes to the window titled --hand-to ("-": to no
//   window), else to the stand-in's own notice window (keys that arrive
//   meanwhile land there).
// --never: the same, but the stand-in never takes the foreground.
// --on-f4: at the first F4, hand the foreground to the window titled TITLE
//   (another program coming to the front between two steps), or bring
//   Tovira to the front and click its control ID (a user who clicks the
//   next station as soon as the first key arrives). Both happen at a fixed
//   point of the sequence, so no scenario depends on a race.
// --late-after-f4 MS: from the first F4 on, as --late MS (the client comes
//   forward on its own MS ms after a request: the user clicks it).
// --minimised: the window starts minimised.
// The message WM_APP + 2 with wParam MS stops the stand-in from serving its
// messages for MS ms (a busy client; from 5 s on, a hung one).
//
// Log lines: "<microseconds> KEYDOWN|SYSKEYDOWN|CHAR 0x<wparam> 0x<mods> <window>"
// with mods 1 Shift, 2 Ctrl, 4 Alt, 8 Win as the stand-in saw them and window
// "main" or "notice"; "<microseconds> ACTIVE 0x<0|1> 0x0 <window>" when a
// window gains or loses the activation. QPC is one time base for every
// process, so the driver can compare the times with its own.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

FILE* g_log = nullptr;
HWND g_main = nullptr;
HWND g_notice = nullptr;
int g_lateMs = -1;  // -1: takes the foreground at once
bool g_never = false;
bool g_self = false;  // the stand-in activates its own main window
std::wstring g_handTo;
std::wstring g_f4Mode, g_f4Arg;
bool g_f4Done = false;
bool g_takeBackArmed = false;
int g_lateAfterF4 = -1;
bool g_minimised = false;
constexpr UINT kMsgHandOff = WM_APP + 1;
constexpr UINT kMsgHang = WM_APP + 2;
constexpr UINT_PTR kTakeBackTimer = 1;
LARGE_INTEGER g_freq;
std::vector<std::wstring> g_lines{L""};
std::wstring g_head;
HFONT g_font = nullptr;
HFONT g_small = nullptr;

long long nowUs() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000000LL / g_freq.QuadPart;
}

unsigned modifiers() {
    unsigned m = 0;
    if (GetKeyState(VK_SHIFT) & 0x8000) m |= 1;
    if (GetKeyState(VK_CONTROL) & 0x8000) m |= 2;
    if (GetKeyState(VK_MENU) & 0x8000) m |= 4;
    if ((GetKeyState(VK_LWIN) | GetKeyState(VK_RWIN)) & 0x8000) m |= 8;
    return m;
}

void record(const char* kind, WPARAM wp, HWND hwnd, unsigned mods) {
    if (!g_log) return;
    std::fprintf(g_log, "%lld %s 0x%llx 0x%x %s\n", nowUs(), kind,
                 static_cast<unsigned long long>(wp), mods, hwnd == g_main ? "main" : "notice");
    std::fflush(g_log);  // the driver reads the file while we run
}

HWND handOffTarget() {
    if (g_handTo.empty()) return g_notice;
    if (g_handTo == L"-") return nullptr;  // nothing in front meanwhile
    return FindWindowW(nullptr, g_handTo.c_str());
}

struct CtrlFind {
    int id;
    HWND found;
};

BOOL CALLBACK findCtrl(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<CtrlFind*>(lp);
    if (GetDlgCtrlID(h) != f->id) return TRUE;
    f->found = h;
    return FALSE;
}

void onFirstF4() {
    if (g_f4Done) return;
    if (g_lateAfterF4 >= 0) g_lateMs = g_lateAfterF4;
    if (g_f4Mode.empty()) return;
    g_f4Done = true;
    if (g_f4Mode == L"yield") {
        if (HWND other = FindWindowW(nullptr, g_f4Arg.c_str())) SetForegroundWindow(other);
    } else if (g_f4Mode == L"click") {
        HWND tovira = FindWindowW(nullptr, L"Tovira");
        CtrlFind f{_wtoi(g_f4Arg.c_str()), nullptr};
        if (tovira) EnumChildWindows(tovira, findCtrl, reinterpret_cast<LPARAM>(&f));
        if (!f.found) return;
        // As a mouse click would: the panel comes to the front, then its
        // button is clicked.
        SetForegroundWindow(tovira);
        PostMessageW(GetParent(f.found), WM_COMMAND, MAKEWPARAM(f.id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(f.found));
    }
}

// Activations of the main window pass here first. One that another program
// asked for is refused while the stand-in plays a slow or unwilling client;
// the foreground then goes elsewhere, so it is never the main window before
// the stand-in takes it itself.
LRESULT CALLBACK cbtHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && reinterpret_cast<HWND>(wp) == g_main && !g_self &&
        (g_never || g_lateMs >= 0)) {
        PostMessageW(g_main, kMsgHandOff, 0, 0);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

const wchar_t* keyName(WPARAM vk) {
    switch (vk) {
        case VK_F1: return L"{F1}";
        case VK_F2: return L"{F2}";
        case VK_F3: return L"{F3}";
        case VK_F4: return L"{F4}";
        case VK_F5: return L"{F5}";
        case VK_F6: return L"{F6}";
        case VK_F7: return L"{F7}";
        case VK_F8: return L"{F8}";
        case VK_F9: return L"{F9}";
        case VK_F10: return L"{F10}";
        case VK_F11: return L"{F11}";
        case VK_F12: return L"{F12}";
        case VK_UP: return L"{UP}";
        case VK_DOWN: return L"{DOWN}";
        case VK_LEFT: return L"{LEFT}";
        case VK_RIGHT: return L"{RIGHT}";
        case VK_HOME: return L"{HOME}";
        case VK_END: return L"{END}";
        case VK_PRIOR: return L"{PGUP}";
        case VK_NEXT: return L"{PGDN}";
        case VK_INSERT: return L"{INS}";
        case VK_DELETE: return L"{DEL}";
        case VK_ESCAPE: return L"{ESC}";
        case VK_TAB: return L"{TAB}";
        case VK_BACK: return L"{BS}";
        case VK_RETURN: return L"{ENTER}";
        default: return nullptr;
    }
}

void show(const std::wstring& text, HWND hwnd) {
    g_lines.back() += text;
    if (text == L"{ENTER}") {
        g_lines.emplace_back();
        if (g_lines.size() > 12) g_lines.erase(g_lines.begin());
    }
    InvalidateRect(hwnd, nullptr, TRUE);
}

void paint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ old = SelectObject(dc, g_small);
    SetTextColor(dc, RGB(0x60, 0x60, 0x60));
    TextOutW(dc, 10, 8, g_head.c_str(), static_cast<int>(g_head.size()));
    SelectObject(dc, g_font);
    SetTextColor(dc, RGB(0, 0, 0x80));
    int y = 34;
    for (const auto& line : g_lines) {
        TextOutW(dc, 10, y, line.c_str(), static_cast<int>(line.size()));
        y += 22;
    }
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kMsgHandOff:
            if (HWND to = handOffTarget()) SetForegroundWindow(to);
            // Late counts from the first request: asking again does not put it off.
            if (!g_never && !g_takeBackArmed) {
                g_takeBackArmed = true;
                SetTimer(g_main, kTakeBackTimer, static_cast<UINT>(g_lateMs), nullptr);
            }
            return 0;
        case WM_TIMER:
            if (wp == kTakeBackTimer) {
                KillTimer(g_main, kTakeBackTimer);
                g_takeBackArmed = false;
                g_self = true;
                SetForegroundWindow(g_main);
                g_self = false;
                return 0;
            }
            break;
        case kMsgHang: Sleep(static_cast<DWORD>(wp)); return 0;
        case WM_ACTIVATE: record("ACTIVE", LOWORD(wp) != WA_INACTIVE, hwnd, 0); break;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            record(msg == WM_KEYDOWN ? "KEYDOWN" : "SYSKEYDOWN", wp, hwnd, modifiers());
            if (hwnd == g_main) {
                if (const wchar_t* name = keyName(wp)) show(name, hwnd);
            }
            if (wp == VK_F4) onFirstF4();
            // Swallow system keys so that an Alt tap does not open a menu loop.
            if (msg == WM_SYSKEYDOWN) return 0;
            break;
        }
        case WM_SYSKEYUP:
        case WM_SYSCHAR: return 0;
        case WM_CHAR:
            record("CHAR", wp, hwnd, modifiers());
            if (wp >= 0x20 && hwnd == g_main) show(std::wstring(1, static_cast<wchar_t>(wp)), hwnd);
            return 0;
        case WM_PAINT: paint(hwnd); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_DESTROY:
            if (hwnd == g_main) PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
    QueryPerformanceFrequency(&g_freq);
    std::wstring title = L"IvAc";
    std::wstring logPath;
    int x = 420, y = 60;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--title" && i + 1 < argc) {
            title = argv[++i];
        } else if (a == L"--log" && i + 1 < argc) {
            logPath = argv[++i];
        } else if (a == L"--pos" && i + 2 < argc) {
            x = _wtoi(argv[++i]);
            y = _wtoi(argv[++i]);
        } else if (a == L"--late" && i + 1 < argc) {
            g_lateMs = _wtoi(argv[++i]);
        } else if (a == L"--never") {
            g_never = true;
        } else if (a == L"--hand-to" && i + 1 < argc) {
            g_handTo = argv[++i];
        } else if (a == L"--late-after-f4" && i + 1 < argc) {
            g_lateAfterF4 = _wtoi(argv[++i]);
        } else if (a == L"--minimised") {
            g_minimised = true;
        } else if (a == L"--on-f4" && i + 2 < argc) {
            g_f4Mode = argv[++i];
            g_f4Arg = argv[++i];
        }
    }
    if (argv) LocalFree(argv);
    g_head = L"Stand-in for IvAc, titled \"" + title + L"\". Keys received:";
    if (!logPath.empty()) g_log = _wfopen(logPath.c_str(), L"w");

    g_font =
        CreateFontW(-18, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
    g_small = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                          DEFAULT_PITCH | FF_SWISS, L"Arial");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = wndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"ToviraIvAcStub";
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, x, y, 460,
                                320, nullptr, nullptr, inst, nullptr);
    if (!hwnd) return 1;
    g_main = hwnd;
    ShowWindow(hwnd, g_minimised ? SW_SHOWMINIMIZED : show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(hwnd);
    if (g_never || g_lateMs >= 0 || g_lateAfterF4 >= 0) {
        // The client's own second window, where the foreground waits while
        // the main window is slow to take it. Its title does not match "IvAc".
        g_notice = CreateWindowExW(0, wc.lpszClassName, L"Notice", WS_OVERLAPPEDWINDOW, x + 40,
                                   y + 340, 300, 120, nullptr, nullptr, inst, nullptr);
        ShowWindow(g_notice, SW_SHOWNOACTIVATE);
        SetWindowsHookExW(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
    }
    if (g_log) {
        std::fprintf(g_log, "%lld READY 0x0\n", nowUs());
        std::fflush(g_log);
    }

    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (g_log) std::fclose(g_log);
    return 0;
}
