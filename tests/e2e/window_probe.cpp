// window_probe.exe: how long a window of N standard controls takes to be
// created and to end its process under Wine, with and without a tool tip
// window, and with or without destroying the window at the end. Tovira's
// panel has 180 such controls; docs/PERFORMANCE.md has the figures.
//
//   window_probe.exe drive REPS CONFIG...
//
// CONFIG is N,TIP,SUBCLASS,DESTROY: N controls; TIP 0 no tool tip window,
// 1 one owned by the main window with a tool per control, 2 an unowned one
// with a tool per control, 3 an unowned one with tools for 10 controls;
// SUBCLASS 1 lets the tool tip subclass the controls (TTF_SUBCLASS);
// DESTROY 1 destroys the windows on WM_CLOSE, 0 only ends the message loop.
// The configurations take turns, REPS times, so that a busy machine weighs
// on all of them alike; the medians are printed. The child is
// window_probe_child.exe, the same source built for the GUI subsystem, in
// the same folder. Build and run: tests/e2e/window_probe.sh.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static LARGE_INTEGER g_f;
static double now() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * 1000.0 / double(g_f.QuadPart);
}

static int g_n = 200, g_tip = 2, g_sub = 1, g_destroy = 1;
static HWND g_main, g_tipw;
static double t_close, t_destroyed;

static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_CLOSE:
            t_close = now();
            if (g_destroy) {
                if (g_tip >= 2 && g_tipw) DestroyWindow(g_tipw);
                DestroyWindow(h);
            } else {
                PostQuitMessage(0);
            }
            t_destroyed = now();
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(h, m, w, l);
}

static int child() {
    double t_start = now();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"ProbeMain";
    RegisterClassExW(&wc);
    g_main = CreateWindowExW(0, L"ProbeMain", L"Probe", WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU, 0,
                             0, 600, 540, nullptr, nullptr, wc.hInstance, nullptr);
    if (g_tip)
        g_tipw = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                 g_tip == 1 ? g_main : nullptr, nullptr, wc.hInstance, nullptr);
    const wchar_t* cls[] = {WC_BUTTONW, WC_STATICW, WC_EDITW, WC_BUTTONW};
    for (int i = 0; i < g_n; ++i) {
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        if (i % 4 == 3) style |= BS_3STATE;
        HWND c = CreateWindowExW(0, cls[i % 4], L"x", style, (i % 8) * 70, (i / 8) * 20, 65, 18,
                                 g_main, (HMENU)(INT_PTR)(100 + i), wc.hInstance, nullptr);
        if (g_tipw && (g_tip != 3 || i < 10)) {
            TTTOOLINFOW ti{};
            ti.cbSize = sizeof ti;
            ti.uFlags = TTF_IDISHWND | (g_sub ? TTF_SUBCLASS : 0);
            ti.hwnd = g_main;
            ti.uId = (UINT_PTR)c;
            wchar_t text[] = L"tip";
            ti.lpszText = text;
            SendMessageW(g_tipw, TTM_ADDTOOLW, 0, (LPARAM)&ti);
        }
    }
    double t_created = now();
    ShowWindow(g_main, SW_SHOW);
    UpdateWindow(g_main);
    double t_shown = now();
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    double t_loop = now();
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f\n", t_start, t_created, t_shown, t_close,
                t_destroyed, t_loop);
    std::fflush(stdout);
    return 0;
}

static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

struct Series {
    std::wstring args;
    std::vector<double> startShown, closeEnd, closeRecv, destroy, loopToEnd, mainToShow;
};

static bool once(Series& s) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring out = std::wstring(tmp) + L"window_probe.out";
    HANDLE f =
        CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = f;
    si.hStdError = f;
    PROCESS_INFORMATION pi{};
    std::wstring exe(self);
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"window_probe_child.exe";
    std::wstring cmd = L"\"" + exe + L"\" child " + s.args;
    double t0 = now();
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return false;
    CloseHandle(f);
    HWND w = nullptr;
    while (!(w = FindWindowW(L"ProbeMain", L"Probe")) || !IsWindowVisible(w)) Sleep(1);
    double t_vis = now();
    Sleep(500);
    double t1 = now();
    PostMessageW(w, WM_CLOSE, 0, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    double t2 = now();
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    FILE* in = _wfopen(out.c_str(), L"r");
    double a[6] = {};
    if (in) {
        if (std::fscanf(in, "%lf %lf %lf %lf %lf %lf", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5]) !=
            6)
            a[0] = 0;
        std::fclose(in);
    }
    s.startShown.push_back(t_vis - t0);
    s.mainToShow.push_back(a[1] - a[0]);
    s.closeEnd.push_back(t2 - t1);
    s.closeRecv.push_back(a[3] - t1);
    s.destroy.push_back(a[4] - a[3]);
    s.loopToEnd.push_back(t2 - a[5]);
    return true;
}

static int drive(int reps, std::vector<Series>& all) {
    for (int r = 0; r < reps; ++r)
        for (Series& s : all)
            if (!once(s)) return 1;
    for (Series& s : all)
        std::printf(
            "%-16ls start->shown %6.1f (create %6.1f) | WM_CLOSE->end %6.1f: received %5.1f, "
            "destroy %6.1f, loop exit->end %5.1f  [median of %d]\n",
            s.args.c_str(), median(s.startShown), median(s.mainToShow), median(s.closeEnd),
            median(s.closeRecv), median(s.destroy), median(s.loopToEnd), reps);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&g_f);
    if (argc >= 6 && std::wstring(argv[1]) == L"child") {
        g_n = _wtoi(argv[2]);
        g_tip = _wtoi(argv[3]);
        g_sub = _wtoi(argv[4]);
        g_destroy = _wtoi(argv[5]);
        return child();
    }
    if (argc >= 4 && std::wstring(argv[1]) == L"drive") {
        std::vector<Series> all;
        for (int i = 3; i < argc; ++i) {
            Series s;
            s.args = argv[i];
            for (wchar_t& c : s.args)
                if (c == L',') c = L' ';
            all.push_back(s);
        }
        return drive(_wtoi(argv[2]), all);
    }
    std::printf("window_probe drive REPS N,TIP,SUBCLASS,DESTROY...\n");
    return 2;
}
