// Status servers that are silent or hostile: every update ends within its
// bounds, in bounded memory, with the window answering, closing mid-download
// ends the program, and nothing of a URL fetch outlives its deadline.
// clang-format off
#include "harness.h"
#include "ivac_keys.h"
// after windows.h, which harness.h brings
#include <iphlpapi.h>
#include <psapi.h>
#include <tlhelp32.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

void silentServer() {
    Tovira t;
    Stub s;
    if (!startStaffed("silent", t, standardCfg(), kIndexEveryUpdate) ||
        !startStub(t.dir, L"IvAc", s)) {
        stopStub(s);
        return stopTovira(t);
    }
    HWND l5 = item(t.main, id::Label5);
    serveIndex("silent.test.aero");

    // 1: a click while the update waits for the silent server.
    size_t accepted = lineCount(L"silent.log");
    double t0 = nowMs();
    requestUpdate(t);
    bool waiting = waitFor([&] { return lineCount(L"silent.log") > accepted; }, 10000, 10);
    check(waiting, "the update connects to the silent server");
    double enter = clickAndCheckKeys(t, s, 2, "EDDT_APP", 100, "during a silent wait, c1(2)");
    bool done = waitFor([&] { return text(l5) == L"2"; }, 15000, 50);
    double end = nowMs();
    check(done, "the update ends (Label5 \"2\"), got \"%s\"", u8(text(l5)).c_str());
    say("update with a silent status server took %.0f ms", end - t0);
    check(end - t0 >= 1500 && end - t0 <= 8000,
          "the status fetch gives up after 2 to 3 s, took %.0f ms", end - t0);
    check(enter > 0 && enter < end, "the keys were typed while the update waited");
    check(visibleSlots(t).empty(), "after the time-out no station is visible, got %s",
          list(visibleSlots(t)).c_str());
    for (const Staffed& st : kStaffed) {
        std::string label = u8(text(item(t.main, id::l1(st.slot))));
        check(label.empty(), "label l1(%d) emptied, got \"%s\"", st.slot, label.c_str());
    }

    // 2: the same wait untouched, to see what waiting costs.
    accepted = lineCount(L"silent.log");
    double cpu0 = cpuMs(t.p.h);
    t0 = nowMs();
    requestUpdate(t);
    waitFor([&] { return lineCount(L"silent.log") > accepted; }, 10000, 10);
    done = waitFor([&] { return text(l5) == L"3"; }, 15000, 200);
    end = nowMs();
    double cpu = cpuMs(t.p.h) - cpu0;
    check(done, "the second update ends (Label5 \"3\"), got \"%s\"", u8(text(l5)).c_str());
    g_fig.waitCpuMs = cpu;
    g_fig.waitWallMs = end - t0;
    say("CPU while waiting for the silent server: %.0f ms in %.0f ms (%.1f %%); %.0f ms in all",
        cpu, end - t0, 100.0 * cpu / (end - t0), cpuMs(t.p.h));
    stopStub(s);
    stopTovira(t);
}

void closeDuringDownload() {
    serveIndex("status.test.aero");
    serveStatus(statusFile());
    setIndexDelay(20);
    std::wstring dir = scenarioDir("close-in-download");
    Cfg cfg = standardCfg();
    cfg.top = " 1200 ";
    cfg.left = " 3000 ";
    cfg.scheme = " 3 ";
    std::string before = render(cfg);
    writeFile(dir + L"\\tq.cfg", before);
    size_t requests = lineCount(L"requests.log");
    Tovira t;
    if (startTovira(dir, t)) {
        bool asked = waitFor([&] { return lineCount(L"requests.log") > requests; }, 10000, 10);
        check(asked, "the start-up download asks the index server");
        Sleep(200);
        check(running(t.p), "the program waits for the slow index server");
        notePeak(t);
        double t0 = nowMs();
        PostMessageW(t.main, WM_CLOSE, 0, 0);
        bool ended = WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0;
        g_fig.closeMs = nowMs() - t0;
        check(ended, "the process ends within 10 s of WM_CLOSE, not after the 20 s download");
        say("WM_CLOSE during the start-up download to process end: %.0f ms", g_fig.closeMs);
        std::string after;
        readFile(dir + L"\\tq.cfg", after);
        check(after == before,
              "tq.cfg is left as it was:\n        want \"%s\"\n        got  \"%s\"",
              visible(before).c_str(), visible(after).c_str());
    }
    kill(t.p);
    setIndexDelay(0);
}

// Status servers that misbehave, and an index far over its size limit: each
// update ends within the time-outs, in bounded memory, and the window answers
// throughout. Between the cases a prompt update
// brings the staffed stations back, so that each case has something to clear.
void hostilePeers() {
    Tovira t;
    if (!startStaffed("hostile", t, standardCfg(), kIndexEveryUpdate)) return stopTovira(t);
    HWND l5 = item(t.main, id::Label5);
    auto restore = [&] {
        serveIndex("status.test.aero");
        std::wstring before = text(l5);
        requestUpdate(t);
        return waitFor([&] { return text(l5) != before && isNumber(text(l5)); }, 10000) &&
               waitFor([&] { return visibleSlots(t) == staffedSlots(); }, 2000);
    };
    struct Case {
        const char* name;
        std::string url;  // empty: the oversized index
    };
    const Case cases[] = {
        {"drip", "http://hostile.test.aero/drip"},
        {"huge", "http://hostile.test.aero/huge"},
        {"nohead", "http://hostile.test.aero/nohead"},
        {"reset", "http://hostile.test.aero/reset"},
        {"garbage", "http://hostile.test.aero/garbage"},
        {"refused", "http://refused.test.aero/whazzup.txt"},
        {"unresolved", "http://nowhere.test.aero/whazzup.txt"},
        {"big-index", ""},
    };
    for (const Case& c : cases) {
        if (!check(restore(), "%s: a prompt update shows the staffed stations first", c.name))
            break;
        std::wstring before = text(l5);
        if (c.url.empty()) {
            // A million lines: over the index's size limit, so the fetch fails.
            std::string big;
            big.reserve(12u << 20);
            for (int i = 0; i < 1000000; ++i) big += "!GENERAL\r\n";
            big += "url0=http://status.test.aero/whazzup.txt\r\n";
            writeFile(g_opt.www + L"\\www.ivao.aero\\whazzup\\status.txt", big);
        } else {
            serveIndexUrl(c.url);
        }
        double t0 = nowMs(), stall = 0;
        requestUpdate(t);
        // Every case counts the update. A failed status fetch empties the
        // status text, so the stations go; a failed index fetch keeps the
        // text of the last update, so they stay.
        const std::vector<int> want = c.url.empty() ? staffedSlots() : std::vector<int>{};
        auto ended = [&] {
            std::wstring now = text(l5);
            return now != before && isNumber(now) && visibleSlots(t) == want;
        };
        bool done = false;
        while (!(done = ended()) && nowMs() - t0 < 15000) {
            stall = std::max(stall, answerMs(t.main));
            Sleep(20);
        }
        double took = nowMs() - t0;
        char line[160];
        std::snprintf(line, sizeof line,
                      "%-10s ended after %5.0f ms, longest wait for the window %3.0f ms", c.name,
                      took, stall);
        g_fig.hostile.push_back(line);
        say("%s", line);
        check(done, "%s: the update ends showing %s (Label5 \"%s\", visible %s)", c.name,
              list(want).c_str(), u8(text(l5)).c_str(), list(visibleSlots(t)).c_str());
        check(took < 8000, "%s: ends within the time-outs, took %.0f ms", c.name, took);
        check(stall < 1000, "%s: the window answers throughout, once waited %.0f ms", c.name,
              stall);
        check(running(t.p), "%s: the program runs on", c.name);
        if (!running(t.p)) break;
    }
    g_fig.hostilePeak = peakOf(t);
    check(g_fig.hostilePeak < (200u << 20),
          "memory stays bounded with a 200 MB body: peak working set %.1f MB",
          static_cast<double>(g_fig.hostilePeak) / (1024.0 * 1024.0));
    serveIndex("status.test.aero");
    // The ordinary peak figure stays that of ordinary use.
    const SIZE_T ordinary = g_fig.peakWorkingSet;
    stopTovira(t);
    g_fig.peakWorkingSet = ordinary;
}

// ---------------------------------------------------------------- URL fetch bounds

// What is left of a program's fetches, seen from outside: its child
// processes, the threads it started itself (their start address lies in its
// own image, which leaves out Wine's pool and connection threads) and the
// connections to the hostile server.
std::vector<DWORD> childPids(DWORD parent) {
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return pids;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32FirstW(snap, &pe); ok; ok = Process32NextW(snap, &pe))
        if (pe.th32ParentProcessID == parent && pe.th32ProcessID != parent)
            pids.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return pids;
}

SIZE_T childrenWorkingSet(DWORD parent, SIZE_T* peak) {
    SIZE_T now = 0;
    for (DWORD pid : childPids(parent)) {
        HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        if (!h) continue;
        PROCESS_MEMORY_COUNTERS pmc{};
        pmc.cb = sizeof pmc;
        if (GetProcessMemoryInfo(h, &pmc, sizeof pmc)) {
            now += pmc.WorkingSetSize;
            if (peak) *peak = std::max(*peak, pmc.PeakWorkingSetSize);
        }
        CloseHandle(h);
    }
    return now;
}

int ownThreads(const Tovira& t) {
    using QueryThread = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static auto query = reinterpret_cast<QueryThread>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    HMODULE exe = nullptr;
    DWORD need = 0;
    MODULEINFO mi{};
    if (!query || !EnumProcessModulesEx(t.p.h, &exe, sizeof exe, &need, LIST_MODULES_ALL) ||
        !GetModuleInformation(t.p.h, exe, &mi, sizeof mi))
        return -1;
    const auto lo = reinterpret_cast<std::uintptr_t>(mi.lpBaseOfDll);
    const std::uintptr_t hi = lo + mi.SizeOfImage;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != t.p.pid) continue;
        HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID);
        if (!h) continue;
        void* start = nullptr;
        // 9: ThreadQuerySetWin32StartAddress
        if (query(h, 9, &start, sizeof start, nullptr) == 0) {
            const auto a = reinterpret_cast<std::uintptr_t>(start);
            if (a >= lo && a < hi) ++n;
        }
        CloseHandle(h);
    }
    CloseHandle(snap);
    return n;
}

// Established connections from this machine to the hostile server.
int hostileConnections() {
    ULONG size = 0;
    GetTcpTable(nullptr, &size, FALSE);
    std::vector<char> buf(size + 4096);
    size = static_cast<ULONG>(buf.size());
    auto* table = reinterpret_cast<MIB_TCPTABLE*>(buf.data());
    if (GetTcpTable(table, &size, FALSE) != NO_ERROR) return -1;
    const DWORD hostile = htonl(0x7F000004);  // 127.0.0.4
    int n = 0;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW& r = table->table[i];
        if (r.dwRemoteAddr == hostile && r.dwState == MIB_TCP_STATE_ESTAB) ++n;
    }
    return n;
}

void setHostileMode(const char* mode) {
    writeFile(g_opt.www + L"\\hostile.mode", mode);
}

// Long enough for a good fetch over HTTPS in a fresh child under a loaded
// Wine, short enough for the suite.
constexpr double kTestDeadlineMs = 5000;
constexpr SIZE_T kMiB = SIZE_T{1} << 20;

// One server's updates, worst of each figure.
struct FetchRound {
    double took = 0, stall = 0;
    SIZE_T toviraPeak = 0, childPeak = 0;
    int childrenDuring = 0, threadsDuring = 0;
    int childrenAfter = 0, threadsAfter = 0, connectionsAfter = 0;
};

// Runs `count` updates against the hostile index as it is set now; after
// each (with `settle`), waits 2 s and looks what is left.
FetchRound fetchUpdates(Tovira& t, int count, bool settle = true) {
    FetchRound w;
    HWND l5 = item(t.main, id::Label5);
    for (int k = 0; k < count; ++k) {
        std::wstring before = text(l5);
        double t0 = nowMs();
        requestUpdate(t);
        auto ended = [&] {
            std::wstring now = text(l5);
            return now != before && isNumber(now);
        };
        while (!ended() && nowMs() - t0 < 15000) {
            w.stall = std::max(w.stall, answerMs(t.main));
            childrenWorkingSet(t.p.pid, &w.childPeak);
            w.childrenDuring =
                std::max(w.childrenDuring, static_cast<int>(childPids(t.p.pid).size()));
            w.threadsDuring = std::max(w.threadsDuring, ownThreads(t));
            Sleep(15);
        }
        w.took = std::max(w.took, nowMs() - t0);
        if (!settle) continue;
        const double ended_at = nowMs();
        while (nowMs() - ended_at < 2000) {
            w.stall = std::max(w.stall, answerMs(t.main));
            Sleep(20);
        }
        w.childrenAfter = std::max(w.childrenAfter, static_cast<int>(childPids(t.p.pid).size()));
        w.threadsAfter = std::max(w.threadsAfter, ownThreads(t));
        w.connectionsAfter = std::max(w.connectionsAfter, hostileConnections());
    }
    w.toviraPeak = peakOf(t);
    return w;
}

std::string describe(const char* name, const FetchRound& r) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "%-14s longest update %5.0f ms, window answered within %3.0f ms; peak working "
                  "set Tovira %5.1f MB, child %5.1f MB; children %d during, %d 2 s after; own "
                  "threads %d during, %d after; connections after %d",
                  name, r.took, r.stall, static_cast<double>(r.toviraPeak) / kMiB,
                  static_cast<double>(r.childPeak) / kMiB, r.childrenDuring, r.childrenAfter,
                  r.threadsDuring, r.threadsAfter, r.connectionsAfter);
    return line;
}

// The status index (the URL fetch, in its child process) from servers that
// misbehave, over HTTP and HTTPS, three updates each with a short deadline:
// memory stays bounded, nothing of a fetch outlives its deadline by 2 s, the
// window answers throughout, and the next update against a good server
// brings the stations.
bool startOnHostileIndex(const char* name, const char* scheme, double deadlineMs, Tovira& t) {
    std::wstring dir = scenarioDir(name);
    writeFile(dir + L"\\tq.cfg", render(standardCfg()));
    wchar_t args[160];
    std::swprintf(args, 160,
                  L"--status-index %hs://hostile.test.aero/index --test-fetch-deadline-ms %.0f",
                  scheme, deadlineMs);
    return startTovira(dir, t, args) && waitReady(t, kStaffed.front().slot, "DT_TWR");
}

void fetchBounds() {
    serveStatus(statusFile());
    setIndexDelay(0);
    for (const char* scheme : {"http", "https"}) {
        setHostileMode("good");
        Tovira t;
        if (!startOnHostileIndex((std::string("fetch-bounds-") + scheme).c_str(), scheme,
                                 kTestDeadlineMs, t)) {
            stopTovira(t);
            continue;
        }
        const int idleThreads = ownThreads(t);
        FetchRound base = fetchUpdates(t, 3);
        std::string line = describe((std::string(scheme) + " ordinary").c_str(), base);
        g_fig.fetchBounds.push_back(line);
        say("%s", line.c_str());
        check(visibleSlots(t) == staffedSlots(), "%s: ordinary updates show the stations", scheme);
        for (const char* mode : {"headers", "silent", "trickle", "reset"}) {
            setHostileMode(mode);
            FetchRound r = fetchUpdates(t, 3);
            std::string label = std::string(scheme) + " " + mode;
            line = describe(label.c_str(), r);
            g_fig.fetchBounds.push_back(line);
            say("%s", line.c_str());
            check(r.took < kTestDeadlineMs + 1500,
                  "%s: each update ends by the deadline, took %.0f ms", label.c_str(), r.took);
            check(r.stall <= 250, "%s: the window answers within 250 ms, once took %.0f ms",
                  label.c_str(), r.stall);
            check(r.toviraPeak < base.toviraPeak + 256 * kMiB &&
                      r.childPeak < std::max(base.childPeak, 32 * kMiB) + 256 * kMiB,
                  "%s: memory within 256 MiB above the ordinary peak", label.c_str());
            check(r.childrenAfter == 0 && r.connectionsAfter == 0,
                  "%s: 2 s after each update no child (%d) and no connection (%d) is left",
                  label.c_str(), r.childrenAfter, r.connectionsAfter);
            check(r.threadsAfter <= idleThreads,
                  "%s: 2 s after each update no thread of the program's is left (%d, idle %d)",
                  label.c_str(), r.threadsAfter, idleThreads);
            check(r.childrenDuring <= 1, "%s: one fetch at a time, saw %d children", label.c_str(),
                  r.childrenDuring);
            setHostileMode("good");
            size_t statusRequests = lineCount(L"requests.log");
            FetchRound good = fetchUpdates(t, 1, false);
            check(lineCount(L"requests.log") > statusRequests && visibleSlots(t) == staffedSlots(),
                  "%s: the next update against a good server shows the stations (took %.0f ms)",
                  label.c_str(), good.took);
            if (!check(running(t.p), "%s: the program runs on", label.c_str())) break;
        }
        stopTovira(t);
    }

    // Headers without end, with a deadline long enough for the child to
    // reach its memory limit: the fetch ends there, well before the deadline.
    constexpr double kLongDeadlineMs = 30000;
    setHostileMode("good");
    Tovira t;
    if (startOnHostileIndex("fetch-bounds-memory", "http", kLongDeadlineMs, t)) {
        setHostileMode("headers");
        FetchRound r = fetchUpdates(t, 1);
        std::string line = describe("memory limit", r);
        g_fig.fetchBounds.push_back(line);
        say("%s", line.c_str());
        check(r.took < kLongDeadlineMs - 5000,
              "headers without end: the child's memory limit ends the fetch before the deadline, "
              "took %.0f ms",
              r.took);
        check(r.childPeak < 320 * kMiB && r.childrenAfter == 0,
              "headers without end: the child stays near its limit (%.1f MB) and is gone",
              static_cast<double>(r.childPeak) / kMiB);

        // Tovira ended from outside in the middle of a fetch, as by a crash:
        // its job takes the child with it.
        setHostileMode("silent");
        const size_t asked = lineCount(L"hostile.log");
        requestUpdate(t);
        const DWORD pid = t.p.pid;
        // Once the child has sent its request, it is inside the fetch.
        bool child = waitFor([&] { return lineCount(L"hostile.log") > asked; }, 10000, 20) &&
                     !childPids(pid).empty();
        TerminateProcess(t.p.h, 9);
        WaitForSingleObject(t.p.h, 5000);
        const double killed = nowMs();
        bool gone = waitFor([&] { return childPids(pid).empty(); }, 2000, 20);
        say("Tovira killed during a fetch: its child gone after %.0f ms", nowMs() - killed);
        check(child && gone, "a fetch child (%s) is gone within 2 s of Tovira's end",
              child ? "asking" : "never seen asking");
    }
    stopTovira(t);
    setHostileMode("good");
}

}  // namespace e2e
