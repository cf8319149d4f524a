// A stand-in for Aurora's access for other programs: listens on 127.0.0.1,
// keeps a selected traffic, answers "#SELTFC" with it and echoes "#TRTR",
// logs every line it receives with its QueryPerformanceCounter time in
// microseconds, and shows the selection and the lines in its window. The
// end-to-end driver reads the log; the demo shows the window.
//
//   aurora_stub.exe [--port N] [--log FILE] [--pos X Y] [--selected CALLSIGN|-]
//                   [--error TEXT] [--silent] [--never-accept]
//
// --selected -: nothing selected (the answer carries an empty callsign).
// --error TEXT: "#TRTR" is answered "$TRTR;TEXT".
// --silent: nothing is ever answered.
// --never-accept: the listener's backlog is filled by the stand-in's own
//   connections and nothing is accepted, until the message WM_APP+2 comes;
//   then it accepts and answers as usual.
//
// Station lists (the panel's second source):
//   [--own CALLSIGN] [--stations FILE] [--transfer FILE]
// --own: the controller's station, "#CONN" answers it.
// --stations FILE, --transfer FILE: "#ATC" and "#ATCT" answer the stations
//   FILE holds at that moment, one "CALLSIGN:FREQUENCY" per line, so that
//   the driver adds and removes a station by rewriting the file.
// Each of these answers only with its option given.
//
// Log lines: "<us> READY <port>", "<us> FULL <n>" (backlog filled with n
// connections), "<us> CONNECT", "<us> RECV <line>", "<us> SEND <line>".
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr UINT kMsgSocket = WM_APP + 1;
constexpr UINT kMsgAccept = WM_APP + 2;

FILE* g_log = nullptr;
HWND g_main = nullptr;
LARGE_INTEGER g_freq;
SOCKET g_listen = INVALID_SOCKET;
std::string g_selected = "DLH4CW";
std::string g_error;
bool g_silent = false;
bool g_accepting = true;
std::map<SOCKET, std::string> g_clients;  // partial lines
std::vector<SOCKET> g_fillers;
std::vector<std::wstring> g_lines;
HFONT g_font = nullptr;
int g_port = 1130;

long long nowUs() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000000LL / g_freq.QuadPart;
}

void logLine(const char* kind, const std::string& text) {
    if (g_log) {
        std::fprintf(g_log, "%lld %s %s\n", nowUs(), kind, text.c_str());
        std::fflush(g_log);  // the driver reads the file while we run
    }
    if (std::string(kind) == "RECV" || std::string(kind) == "SEND") {
        g_lines.push_back(std::wstring(kind[0] == 'R' ? L"in:  " : L"out: ") +
                          std::wstring(text.begin(), text.end()));
        if (g_lines.size() > 14) g_lines.erase(g_lines.begin());
        if (g_main) InvalidateRect(g_main, nullptr, TRUE);
    }
}

// ---- station lists

std::string g_own;
std::wstring g_stationsFile, g_transferFile;

// "#ATC;EDDT_TWR:120.505;EDBB_CTR:127.175" from the file's lines.
std::string stationList(const char* command, const std::wstring& path) {
    std::string out = command;
    FILE* f = path.empty() ? nullptr : _wfopen(path.c_str(), L"rb");
    if (!f) return out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) {
        std::string l = buf;
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r' || l.back() == ' '))
            l.pop_back();
        if (!l.empty()) out += ";" + l;
    }
    std::fclose(f);
    return out;
}

// Answers #CONN, #ATC and #ATCT; false for any other line.
bool answerLists(SOCKET s, const std::string& line) {
    std::string out;
    if (line == "#CONN" && !g_own.empty()) {
        out = "#CONN;" + g_own;
    } else if (line == "#ATC" && !g_stationsFile.empty()) {
        out = stationList("#ATC", g_stationsFile);
    } else if (line == "#ATCT" && !g_transferFile.empty()) {
        out = stationList("#ATCT", g_transferFile);
    } else {
        return false;
    }
    logLine("SEND", out);
    out += "\r\n";
    send(s, out.data(), static_cast<int>(out.size()), 0);
    return true;
}

void answer(SOCKET s, const std::string& line) {
    if (g_silent) return;
    if (answerLists(s, line)) return;
    std::string out;
    if (line == "#SELTFC") {
        out = "#SELTFC;" + g_selected + ";";
    } else if (line.rfind("#TRTR;", 0) == 0) {
        out = g_error.empty() ? line : "$TRTR;" + g_error;
    } else {
        out = "@ERR;Unknown command";
    }
    logLine("SEND", out);
    out += "\r\n";
    send(s, out.data(), static_cast<int>(out.size()), 0);
}

void onRead(SOCKET s) {
    char buf[4096];
    const int n = recv(s, buf, sizeof buf, 0);
    if (n <= 0) return;
    std::string& pending = g_clients[s];
    pending.append(buf, static_cast<size_t>(n));
    for (size_t lf; (lf = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, lf);
        pending.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        logLine("RECV", line);
        answer(s, line);
    }
}

void acceptAll() {
    for (;;) {
        SOCKET c = accept(g_listen, nullptr, nullptr);
        if (c == INVALID_SOCKET) return;
        g_clients[c];
        WSAAsyncSelect(c, g_main, kMsgSocket, FD_READ | FD_CLOSE);
        logLine("CONNECT", "");
    }
}

// Connects to the listener until a connection no longer completes: its
// backlog is then full, and a client's connection is never accepted.
void fillBacklog() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(g_port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 64; ++i) {
        SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nb = 1;
        ioctlsocket(c, FIONBIO, &nb);
        connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fd_set w;
        FD_ZERO(&w);
        FD_SET(c, &w);
        timeval tv{0, 300000};
        if (select(0, nullptr, &w, nullptr, &tv) != 1) {
            closesocket(c);
            break;
        }
        g_fillers.push_back(c);
    }
    logLine("FULL", std::to_string(g_fillers.size()));
}

LRESULT CALLBACK wndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case kMsgSocket: {
            const auto s = static_cast<SOCKET>(wp);
            const int ev = WSAGETSELECTEVENT(lp);
            if (s == g_listen) {
                if (g_accepting) acceptAll();
            } else if (ev == FD_READ) {
                onRead(s);
            } else if (ev == FD_CLOSE) {
                onRead(s);
                closesocket(s);
                g_clients.erase(s);
            }
            return 0;
        }
        case kMsgAccept:
            g_accepting = true;
            acceptAll();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            SelectObject(dc, g_font);
            SetBkMode(dc, TRANSPARENT);
            std::wstring head = L"Stand-in for Aurora, 127.0.0.1:" + std::to_wstring(g_port);
            std::wstring sel =
                L"Selected traffic: " + (g_selected.empty()
                                             ? std::wstring(L"(none)")
                                             : std::wstring(g_selected.begin(), g_selected.end()));
            TextOutW(dc, 10, 8, head.c_str(), static_cast<int>(head.size()));
            TextOutW(dc, 10, 30, sel.c_str(), static_cast<int>(sel.size()));
            int y = 60;
            for (const std::wstring& l : g_lines) {
                TextOutW(dc, 10, y, l.c_str(), static_cast<int>(l.size()));
                y += 18;
            }
            EndPaint(h, &ps);
            return 0;
        }
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int show) {
    QueryPerformanceFrequency(&g_freq);
    std::wstring logPath;
    int x = 420, y = 400;
    bool neverAccept = false;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    auto narrow = [](const wchar_t* w) {
        std::string s;
        for (; *w; ++w) s += static_cast<char>(*w < 0x80 ? *w : '?');
        return s;
    };
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--port" && i + 1 < argc) {
            g_port = _wtoi(argv[++i]);
        } else if (a == L"--log" && i + 1 < argc) {
            logPath = argv[++i];
        } else if (a == L"--pos" && i + 2 < argc) {
            x = _wtoi(argv[++i]);
            y = _wtoi(argv[++i]);
        } else if (a == L"--selected" && i + 1 < argc) {
            g_selected = narrow(argv[++i]);
            if (g_selected == "-") g_selected.clear();
        } else if (a == L"--error" && i + 1 < argc) {
            g_error = narrow(argv[++i]);
        } else if (a == L"--silent") {
            g_silent = true;
        } else if (a == L"--never-accept") {
            neverAccept = true;
        } else if (a == L"--own" && i + 1 < argc) {
            g_own = narrow(argv[++i]);
        } else if (a == L"--stations" && i + 1 < argc) {
            g_stationsFile = argv[++i];
        } else if (a == L"--transfer" && i + 1 < argc) {
            g_transferFile = argv[++i];
        }
    }
    if (argv) LocalFree(argv);
    if (!logPath.empty()) g_log = _wfopen(logPath.c_str(), L"w");
    g_font = CreateFontW(-15, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         FIXED_PITCH | FF_MODERN, L"Courier New");

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = wndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"ToviraAuroraStub";
    RegisterClassExW(&wc);
    g_main = CreateWindowExW(0, wc.lpszClassName, L"Aurora (stand-in)", WS_OVERLAPPEDWINDOW, x, y,
                             460, 340, nullptr, nullptr, inst, nullptr);
    if (!g_main) return 1;
    ShowWindow(g_main, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(g_main);

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
    g_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(g_port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    BOOL reuse = TRUE;
    setsockopt(g_listen, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof reuse);
    if (bind(g_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(g_listen, neverAccept ? 0 : SOMAXCONN) != 0) {
        logLine("FAILED", std::to_string(WSAGetLastError()));
        return 1;
    }
    g_accepting = !neverAccept;
    WSAAsyncSelect(g_listen, g_main, kMsgSocket, FD_ACCEPT);
    logLine("READY", std::to_string(g_port));
    if (neverAccept) fillBacklog();

    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    for (SOCKET s : g_fillers) closesocket(s);
    closesocket(g_listen);
    WSACleanup();
    return 0;
}
