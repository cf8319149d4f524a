// The panel's second source (an extension): the stations Aurora lists show
// on the panel between the network's updates, go when Aurora goes and come
// back when it restarts; "From Aurora" fills the empty slots from Aurora's
// transfer list and "Quit + Save" writes them; and what Tovira costs while
// idle with Aurora answering. One program start, asking Aurora every
// second (--aurora-refresh-ms 1000) instead of every 15 s.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "scenarios.h"

namespace e2e {

namespace {

constexpr int kRefreshMs = 1000;
constexpr int kFromAurora = 2109;  // Command9
constexpr double kIdleMs = 120000;

// ---- the Wine process as Linux sees it: /proc through drive Z:

bool readProc(const std::wstring& path, std::string& out) {
    return readFile(path, out) && !out.empty();
}

// The Linux process that runs tovira.exe from `dir`'s last folder name:
// its command line names the program's path. The fetch children (which
// live only during a fetch) come later, so the lowest number is the window.
int unixPidOf(const std::wstring& dir, std::string& cmdline) {
    std::string folder = u8(dir.substr(dir.find_last_of(L"\\/") + 1));
    std::transform(folder.begin(), folder.end(), folder.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    WIN32_FIND_DATAW fd;
    HANDLE f = FindFirstFileW(L"Z:\\proc\\*", &fd);
    if (f == INVALID_HANDLE_VALUE) return 0;
    int best = 0;
    do {
        const std::wstring name = fd.cFileName;
        if (!isNumber(name)) continue;
        std::string cmd;
        if (!readProc(L"Z:\\proc\\" + name + L"\\cmdline", cmd)) continue;
        // The program is the first argument: the driver's own command line
        // names tovira.exe too.
        std::string program = cmd.substr(0, cmd.find('\0'));
        std::transform(program.begin(), program.end(), program.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const std::string exe = "tovira.exe";
        if (program.size() < exe.size() ||
            program.compare(program.size() - exe.size(), exe.size(), exe) != 0 ||
            program.find(folder) == std::string::npos)
            continue;
        std::replace(cmd.begin(), cmd.end(), '\0', ' ');
        const int pid = _wtoi(name.c_str());
        if (best == 0 || pid < best) {
            best = pid;
            cmdline = cmd;
        }
    } while (FindNextFileW(f, &fd));
    FindClose(f);
    return best;
}

// utime + stime in clock ticks (1/100 s), and the resident set in KiB.
bool procFigures(int pid, long long& ticks, long long& rssKiB) {
    std::string stat, status;
    const std::wstring base = L"Z:\\proc\\" + std::to_wstring(pid);
    if (!readProc(base + L"\\stat", stat) || !readProc(base + L"\\status", status)) return false;
    // The fields after the command's closing parenthesis: state is field 3,
    // utime 14 and stime 15.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return false;
    std::vector<std::string> f;
    size_t at = close + 2;
    while (at < stat.size()) {
        size_t sp = stat.find(' ', at);
        if (sp == std::string::npos) sp = stat.size();
        f.push_back(stat.substr(at, sp - at));
        at = sp + 1;
    }
    if (f.size() < 13) return false;
    ticks = std::atoll(f[11].c_str()) + std::atoll(f[12].c_str());
    const size_t rss = status.find("VmRSS:");
    if (rss == std::string::npos) return false;
    rssKiB = std::atoll(status.c_str() + rss + 6);
    return true;
}

struct PanelFigures {
    double shownMs = -1, goneMs = -1, backMs = -1;
    long long idleTicks = -1, rssStartKiB = -1, rssEndKiB = -1;
    double idleWallMs = 0;
    double winCpuMs = -1;  // the same window as Wine counts it
    int unixPid = 0;
};
PanelFigures g_panel;

bool visibleWith(const Tovira& t, int slot, const std::wstring& label) {
    HWND b = item(t.main, id::c1(slot));
    return b && IsWindowVisible(b) && text(item(t.main, id::l1(slot))) == label;
}

}  // namespace

void auroraPanel() {
    const std::wstring dir = scenarioDir("aurora-panel");
    const std::wstring atc = dir + L"\\atc.txt", atct = dir + L"\\atct.txt";
    // The network lists EDDT_TWR too: its label stays the network's.
    writeFile(atc, "EDDT_TWR:120.505\r\n");
    // Covered already: EDDT_TWR (slot 0), EDDT_GND (slot 1), EDBB_CTR (slot
    // 4); EDDT_APP is the controller's own.
    writeFile(atct,
              "EDDT_TWR:120.505\r\nEDDT_APP:119.605\r\nEDBB_CTR:127.175\r\nEDDB_APP:119.500\r\n"
              "EDDT_GND:121.855\r\nEKCH_CTR:136.485\r\nEDMM_CTR:132.600\r\n");
    const std::wstring standArgs =
        L"--own EDDT_APP --stations-file \"" + atc + L"\" --transfer-file \"" + atct + L"\"";
    Aurora a;
    Tovira t;
    Cfg cfg = standardCfg();
    cfg.slots.push_back({4, "BER", "EDBB_CTR"});  // in no status file
    if (!startAurora(dir, a, standArgs) ||
        !startStaffed("aurora-panel", t, cfg,
                      L"--aurora-refresh-ms " + std::to_wstring(kRefreshMs))) {
        stopAurora(a);
        return stopTovira(t);
    }
    const std::vector<int> network = staffedSlots();
    check(visibleSlots(t) == network, "the network's stations only, got %s",
          list(visibleSlots(t)).c_str());
    check(text(item(t.main, id::l1(0))) == L"118.7" &&
              toolTip(t.p.pid, item(t.main, id::c1(0))) == L"Anna Schmidt",
          "both list EDDT_TWR: the network's label and tool tip stay");

    // A station appears in Aurora's list.
    writeFile(atc, "EDDT_TWR:120.505\r\nEDBB_CTR:127.175\r\n");
    double t0 = nowMs();
    if (check(waitFor([&] { return visibleWith(t, 4, L"127.175"); }, 10000, 10),
              "EDBB_CTR listed: its button shows with Aurora's frequency")) {
        g_panel.shownMs = nowMs() - t0;
    }
    check(toolTip(t.p.pid, item(t.main, id::c1(4))) == L"EDBB_CTR (Aurora)",
          "its tool tip names Aurora: \"%s\"",
          u8(toolTip(t.p.pid, item(t.main, id::c1(4)))).c_str());
    say("station listed to its button on the panel: %.0f ms (refresh every %d ms)", g_panel.shownMs,
        kRefreshMs);

    // Aurora ends, then starts again.
    stopAurora(a);
    t0 = nowMs();
    if (check(waitFor([&] { return !IsWindowVisible(item(t.main, id::c1(4))); }, 10000, 10),
              "Aurora gone: its station goes")) {
        g_panel.goneMs = nowMs() - t0;
    }
    check(visibleSlots(t) == network, "the network's stations stay, got %s",
          list(visibleSlots(t)).c_str());
    if (!startAurora(dir, a, standArgs)) return stopTovira(t);
    t0 = nowMs();
    if (check(waitFor([&] { return visibleWith(t, 4, L"127.175"); }, 20000, 10),
              "Aurora restarted: its station is back by itself")) {
        g_panel.backMs = nowMs() - t0;
    }
    say("Aurora stopped to its station gone: %.0f ms; restarted to back: %.0f ms", g_panel.goneMs,
        g_panel.backMs);

    // Idle, Aurora answering: CPU and memory as Linux counts them.
    std::string cmdline;
    g_panel.unixPid = unixPidOf(t.dir, cmdline);
    long long ticks0 = 0, ticks1 = 0, rss0 = 0, rss1 = 0;
    if (check(g_panel.unixPid > 0 && procFigures(g_panel.unixPid, ticks0, rss0),
              "the Wine process of tovira.exe in /proc")) {
        say("/proc/%d: %s", g_panel.unixPid, cmdline.c_str());
        const double cpu0 = cpuMs(t.p.h);
        t0 = nowMs();
        Sleep(static_cast<DWORD>(kIdleMs));
        g_panel.idleWallMs = nowMs() - t0;
        g_panel.winCpuMs = cpuMs(t.p.h) - cpu0;
        if (check(procFigures(g_panel.unixPid, ticks1, rss1), "its /proc figures after idling")) {
            g_panel.idleTicks = ticks1 - ticks0;
            g_panel.rssStartKiB = rss0;
            g_panel.rssEndKiB = rss1;
            say("idle %.0f s with Aurora answering every %d ms: %lld clock ticks of CPU "
                "(%.3f %%), resident %lld KiB -> %lld KiB",
                g_panel.idleWallMs / 1000, kRefreshMs, g_panel.idleTicks,
                100.0 * static_cast<double>(g_panel.idleTicks) * 10.0 / g_panel.idleWallMs, rss0,
                rss1);
        }
    }
    check(visibleWith(t, 4, L"127.175"), "still shown after the idle time");

    // "From Aurora" in the editing view.
    click(item(t.main, id::Command2));
    Sleep(300);
    HWND fill = item(t.main, kFromAurora);
    check(fill && IsWindowVisible(fill) && text(fill) == L"From Aurora",
          "the \"From Aurora\" button is in the editing view");
    click(fill);
    const std::wstring want = L"3 stations added from Aurora's transfer list";
    check(waitFor([&] { return balloon(t.p.pid) == want; }, 8000),
          "the balloon says \"%s\", it says \"%s\"", u8(want).c_str(),
          u8(balloon(t.p.pid)).c_str());
    const char* added[] = {"EDDB_APP", "EKCH_CTR", "EDMM_CTR"};
    const int slots[] = {6, 7, 8};
    for (int k = 0; k < 3; ++k) {
        const std::wstring w = wide(added[k]);
        check(
            text(item(t.main, id::t0(slots[k]))) == w && text(item(t.main, id::t1(slots[k]))) == w,
            "slot %d filled with %s", slots[k], added[k]);
    }
    check(text(item(t.main, id::t1(9))).empty(), "no further slot filled");
    if (!g_opt.shots.empty()) {
        RECT r, b;
        GetWindowRect(t.main, &r);
        HWND tip = nullptr;
        balloon(t.p.pid, &tip);
        if (tip && GetWindowRect(tip, &b)) UnionRect(&r, &r, &b);
        check(takeShot("from-aurora", r), "\"From Aurora\" screenshot taken");
    }
    std::string before;
    readFile(dir + L"\\tq.cfg", before);
    check(before == render(cfg), "nothing saved before \"Quit + Save\"");

    // "Quit + Save" writes them in the file's form.
    click(item(t.main, id::Command5));
    check(WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0, "Tovira ends");
    Cfg saved = cfg;
    for (int k = 0; k < 3; ++k) saved.slots.push_back({slots[k], added[k], added[k]});
    std::string got;
    readFile(dir + L"\\tq.cfg", got);
    const std::vector<std::string> gl = lines(got), wl = lines(render(saved));
    // The settings' lines carry the window's place and options; the table
    // is lines 1 to 60.
    bool same = gl.size() >= 60 && wl.size() >= 60;
    for (size_t i = 0; same && i < 60; ++i) same = gl[i] == wl[i];
    check(same && gl.size() == wl.size(), "tq.cfg holds the filled slots, 69 CR LF lines");
    stopAurora(a);
    stopTovira(t);
}

void printAuroraPanelFigures() {
    const PanelFigures& f = g_panel;
    if (f.shownMs >= 0)
        std::printf(
            "  Aurora's stations: listed to the button shown %.0f ms; Aurora stopped to gone "
            "%.0f ms; restarted to back %.0f ms (refresh every %d ms)\n",
            f.shownMs, f.goneMs, f.backMs, kRefreshMs);
    if (f.idleTicks >= 0)
        std::printf(
            "  idle %.0f s with Aurora answering every %d ms: %lld clock ticks of CPU (%.3f %%), "
            "resident memory %.1f MB at the start, %.1f MB at the end (/proc/%d; Wine's own count: "
            "%.0f ms)\n",
            f.idleWallMs / 1000, kRefreshMs, f.idleTicks,
            100.0 * static_cast<double>(f.idleTicks) * 10.0 / f.idleWallMs,
            static_cast<double>(f.rssStartKiB) / 1024.0, static_cast<double>(f.rssEndKiB) / 1024.0,
            f.unixPid, f.winCpuMs);
}

}  // namespace e2e
