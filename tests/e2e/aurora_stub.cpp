// A stand-in for Aurora's access for other programs, answering in the
// shapes a live Aurora sends: listens on 127.0.0.1, knows the controller's
// station, a selected traffic and the ATC stations, answers "#CONN",
// "#SELTFC", "#ATC", "#ATCT", "#TRPOS" and "#TRTR" with their echo (no final
// ";"), refuses as "@ERR;#<CMD>;<args>;<message>", sends an intercom line
// nobody asked for after every answer, and shows a transfer in the
// traffic's position record (field 13) one radar cycle after it. It logs
// every line it receives with its QueryPerformanceCounter time in
// microseconds and shows the selection and the lines in its window. The
// end-to-end driver reads the log; the demo shows the window.
//
//   aurora_stub.exe [--port N] [--log FILE] [--pos X Y] [--selected CALLSIGN|-]
//                   [--own STATION] [--stations "A:FREQ;B:FREQ"] [--radar-cycle MS]
//                   [--not-assumed] [--error TEXT] [--silent] [--never-accept]
//                   [--atc-delay MS] [--dollar-refuse STATION] [--odd-entry ENTRY]
//
// --selected -: nothing selected (the answer carries an empty callsign).
// --not-assumed: the selected traffic is another station's: "#TRTR" is
//   refused with "Traffic not assumed.".
// --error TEXT: "#TRTR" is refused with TEXT.
// --silent: nothing is ever answered.
// --never-accept: the listener's backlog is filled by the stand-in's own
//   connections and nothing is accepted, until the message WM_APP+2 comes;
//   then it accepts and answers as usual.
// --atc-delay MS: each "#ATC" is answered MS later (a busy Aurora).
// --dollar-refuse STATION: "#TRTR" to STATION is refused under "$":
//   "$ERR;#TRTR;<args>;Station not found.".
// --odd-entry ENTRY: ENTRY is listed in "#ATC" after the stations.
//
// Like Aurora it takes several programs' connections at once, each
// answered on its own.
//
// The panel's lists, read afresh at every request, so that the driver adds
// and removes a station by rewriting a file:
//   [--stations-file FILE] [--transfer-file FILE]
// "#ATC" (and "#ATCT") answer the stations FILE holds, one
// "CALLSIGN:FREQUENCY" per line, instead of --stations.
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
std::string g_own = "EDDT_APP";
std::string g_stations =
    "EDDT_TWR:120.505;XEDDT_TWR:118.105;EDDT_APP:119.625;EDDT_GND:121.855;EDWW_CTR:134.175;"
    "EDDH_TWR:126.855";
long long g_radarUs = 2000000;
// The selected traffic's position record: who has assumed it, the next
// station, and a transfer not yet on the radar.
std::string g_assumed = "EDDT_APP";
std::string g_next, g_pending;
long long g_pendingAt = 0;
std::string g_error;
std::string g_dollarRefuse, g_oddEntry;
long long g_atcDelayUs = 0;
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

std::vector<std::string> argsOf(const std::string& line) {
    std::vector<std::string> out;
    size_t at = line.find(';');
    while (at != std::string::npos && at + 1 < line.size()) {
        const size_t semi = line.find(';', at + 1);
        out.push_back(line.substr(at + 1, semi == std::string::npos ? semi : semi - at - 1));
        at = semi;
    }
    return out;
}

std::string refusal(const std::string& command, const std::vector<std::string>& args,
                    const std::string& message) {
    std::string out = "@ERR;#" + command;
    for (const std::string& a : args) out += ";" + a;
    return out + ";" + message;
}

std::string positionRecord() {
    if (!g_pending.empty() && nowUs() >= g_pendingAt) {
        g_next = g_pending;
        g_pending.clear();
    }
    return "#TRPOS;" + g_selected + ";52.5597;13.2877;3500;250;180;2000;A320;EDDF;EDDT;IFR;1234;" +
           g_assumed + ";" + g_next + ";FL100;;;;;;;0";
}

// ---- station lists from files

std::wstring g_stationsFile, g_transferFile;

// "#ATC;EDDT_TWR:120.505;EDBB_CTR:127.175" from the file's lines.
std::string stationList(const char* command, const std::wstring& path) {
    std::string out = command;
    FILE* f = _wfopen(path.c_str(), L"rb");
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

std::string reply(const std::string& line) {
    const size_t semi = line.find(';');
    const std::string command = line.substr(1, semi == std::string::npos ? semi : semi - 1);
    if (command == "ATC" && !g_stationsFile.empty()) return stationList("#ATC", g_stationsFile);
    if (command == "ATCT" && !g_transferFile.empty()) return stationList("#ATCT", g_transferFile);
    const std::vector<std::string> args = argsOf(line);
    if (command == "CONN") return "#CONN;" + g_own;
    if (command == "SELTFC") return "#SELTFC;" + g_selected;
    if (command == "ATC")
        return "#ATC;" + g_stations + (g_oddEntry.empty() ? "" : ";" + g_oddEntry);
    if (command == "ATCT") return "#ATCT;" + g_stations.substr(0, g_stations.find(';'));
    if (command == "TRPOS" || command == "TRTR") {
        const size_t needed = command == "TRPOS" ? 1 : 2;
        if (args.size() < needed || g_selected.empty() || args[0] != g_selected ||
            args[needed - 1].empty())
            return refusal(command, args, "Incomplete data in command");
        if (command == "TRPOS") return positionRecord();
        if (!g_error.empty()) return refusal(command, args, g_error);
        if (!g_dollarRefuse.empty() && args[1] == g_dollarRefuse)
            return "$" + refusal(command, args, "Station not found.").substr(1);
        if (g_assumed != g_own) return refusal(command, args, "Traffic not assumed.");
        g_pending = args[1];
        g_pendingAt = nowUs() + g_radarUs;
        return "#TRTR;" + args[0] + ";" + args[1];
    }
    return refusal(command, args, "Unknown command");
}

void sendLine(SOCKET s, const std::string& out) {
    logLine("SEND", out);
    // Intercom events arrive at any time, between answers too.
    const std::string bytes = out + "\r\n#INTERCOMPHONESTATUS;PHONE_IDLE\r\n";
    send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
}

// Answers held back (--atc-delay), sent from a 10 ms timer when due.
struct Later {
    long long dueUs;
    SOCKET s;
    std::string line;
};
std::vector<Later> g_later;
constexpr UINT_PTR kLaterTimer = 1;

void sendDue() {
    const long long now = nowUs();
    for (size_t i = 0; i < g_later.size();) {
        if (g_later[i].dueUs > now) {
            ++i;
            continue;
        }
        // A connection closed meanwhile gets nothing.
        if (g_clients.count(g_later[i].s)) sendLine(g_later[i].s, g_later[i].line);
        g_later.erase(g_later.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (g_later.empty()) KillTimer(g_main, kLaterTimer);
}

void answer(SOCKET s, const std::string& line) {
    if (g_silent) return;
    const std::string out = reply(line);
    if (g_atcDelayUs > 0 && out.rfind("#ATC;", 0) == 0) {
        g_later.push_back({nowUs() + g_atcDelayUs, s, out});
        SetTimer(g_main, kLaterTimer, 10, nullptr);
        return;
    }
    sendLine(s, out);
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
        case WM_TIMER:
            if (wp == kLaterTimer) sendDue();
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
    bool notAssumed = false;
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
        } else if (a == L"--own" && i + 1 < argc) {
            g_own = narrow(argv[++i]);
            g_assumed = g_own;
        } else if (a == L"--stations" && i + 1 < argc) {
            g_stations = narrow(argv[++i]);
        } else if (a == L"--radar-cycle" && i + 1 < argc) {
            g_radarUs = _wtoi(argv[++i]) * 1000LL;
        } else if (a == L"--not-assumed") {
            notAssumed = true;
        } else if (a == L"--error" && i + 1 < argc) {
            g_error = narrow(argv[++i]);
        } else if (a == L"--silent") {
            g_silent = true;
        } else if (a == L"--stations-file" && i + 1 < argc) {
            g_stationsFile = argv[++i];
        } else if (a == L"--transfer-file" && i + 1 < argc) {
            g_transferFile = argv[++i];
        } else if (a == L"--never-accept") {
            neverAccept = true;
        } else if (a == L"--atc-delay" && i + 1 < argc) {
            g_atcDelayUs = _wtoi(argv[++i]) * 1000LL;
        } else if (a == L"--dollar-refuse" && i + 1 < argc) {
            g_dollarRefuse = narrow(argv[++i]);
        } else if (a == L"--odd-entry" && i + 1 < argc) {
            g_oddEntry = narrow(argv[++i]);
        }
    }
    if (argv) LocalFree(argv);
    if (notAssumed) g_assumed = "EDBB_CTR";
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
