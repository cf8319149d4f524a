// The end-to-end driver: runs the real tovira.exe (under Wine in CI) and
// checks it from the outside, through its fixed control IDs, the keys that
// reach the "IvAc" stand-in, the files it writes and what the status servers
// see. One scenario per fresh program start, each in its own folder.
//
//   e2e_driver.exe --exe TOVIRA --stub IVAC_STUB --work DIR --www ROOT
//                  [--only NAME,...] [--shots DIR]
//
// ROOT is the folder the HTTP servers serve (one subfolder per host name);
// the driver writes the status index and status files there per scenario.
// With --shots it also poses the panel and the editing view for screenshots:
// it writes DIR/<view>.req ("x y w h" in screen pixels) and waits for
// DIR/<view>.done, which the calling script writes after taking the picture.
//
// The scenarios sit in one file per area (scenarios.h), on the harness in
// harness.h; this file holds the one ordered table, the figures' printer and
// the summary.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
#include "scenarios.h"

using namespace e2e;

namespace {

struct Scenario {
    const char* name;
    const char* what;
    void (*run)();
};

const Scenario kScenarios[] = {
    {"first-start", "first start without tq.cfg, then \"Quit + Save\"", firstStartQuitSave},
    {"staffed", "staffed stations, frequencies and controllers' names", staffedStations},
    {"loading-notice", "\" Loading ...\" shows whole beneath the transparent l1(0)", loadingNotice},
    {"nul-text", "a name and a position with a NUL are saved whole", nulTexts},
    {"click", "a station click types F4, Down, the position, Enter", clickTypes},
    {"keywait", "the same with KeyWait on and a 250 ms delay", clickKeyWait},
    {"no-ivac", "no window titled \"IvAc\" nor Aurora: nothing typed, only the reason shown",
     clickWithoutIvAc},
    {"silent", "a status server that never answers", silentServer},
    {"hostile", "misbehaving status servers and an oversized index", hostilePeers},
    {"fetch-bounds", "the status index from hostile servers over HTTP and HTTPS", fetchBounds},
    {"close-in-download", "closing the window during the start-up download", closeDuringDownload},
    {"helper-blocked", "the network helper cannot start: told at the third update, then cleared",
     helperCannotStart},
    {"on-top", "\"Always on Top\" off and on", alwaysOnTop},
    {"menu-minimize", "\"Menu\", then \"Minimize\" back home", menuMinimize},
    {"reachable", "a home position off the screen opens on it, one on it stays", reachablePanel},
    {"second-start", "a second start brings the panel forward and ends; 200 % on a short screen",
     secondStartScaled},
    {"read-only-folder",
     "tq.cfg's folder refuses writes: the VirtualStore's copy, the notice, Retry at Quit",
     readOnlyFolder},
    {"no-click", "a confirmed delay after an untyped click types nothing", noClickNoKeys},
    {"double-click", "a second click while IvAc is slow to come to the front", doubleClickLate},
    {"foreground", "keys only while IvAc is in front", keysOnlyToIvac},
    {"modifier", "keys wait while the user holds a modifier", modifierHeld},
    {"press", "a press on a station held across the typing steps", pressDuringTyping},
    {"shift-tab", "two Shift+Tab in the editing view while a step waits", shiftTabInWait},
    {"outcomes",
     "Explorer titled \"IvAc\", a timed-out activation mid-sequence, a hung IvAc, a busy "
     "minimised IvAc: the balloon tells, nothing typed",
     handoverOutcomes},
    {"feed", "index 404, the current feed over HTTPS with the test CA", feedOverHttps},
    {"feed-untrusted", "the feed's certificate from an untrusted CA", feedUntrusted},
    {"feed-proxy", "the index and the feed through the user's proxy", feedThroughProxy},
    {"feed-oversized", "a compressed feed that decodes to more than its cap", feedOversized},
    {"feed-plain-32mib", "a plain 32 MiB feed through the helper's pipe, its throughput",
     feedPlainLarge},
    {"aurora",
     "no IvAc window: the handover goes to Aurora, confirmed after the radar cycle; the own "
     "station and an ambiguous slot send nothing",
     auroraHandover},
    {"aurora-nothing", "no traffic selected in Aurora: no transfer, the reason",
     auroraNothingSelected},
    {"aurora-error", "Aurora's refusal \"Traffic not assumed.\" is shown whole", auroraError},
    {"aurora-off", "Aurora's access off: the reason, the window answering", auroraOff},
    {"aurora-silent", "Aurora never answers: gives up at the bound", auroraSilent},
    {"aurora-backlog", "a connection never accepted: gives up, the next click works",
     auroraBacklog},
    {"aurora-ivac", "IvAc and Aurora running: keys to IvAc, nothing to Aurora", auroraWithIvac},
    {"aurora-slow-list",
     "Aurora slow to list its stations: the click does not wait for the panel's list; an odd "
     "entry costs only itself; a \"$ERR\" refusal is Aurora's",
     auroraSlowList},
    {"aurora-panel", "Aurora's stations on the panel, \"From Aurora\", idle with Aurora answering",
     auroraPanel},
};

bool selected(const char* name) {
    if (g_opt.only.empty()) return true;
    return std::find(g_opt.only.begin(), g_opt.only.end(), name) != g_opt.only.end();
}

// Every figure the scenarios noted, once, after the last scenario.
void printFigures() {
    std::printf("\ne2e figures\n");
    for (const std::string& l : g_fig.latencies)
        std::printf("  click to first key: %s\n", l.c_str());
    for (const std::string& l : g_pressFig.restart)
        std::printf("  press during typing: %s\n", l.c_str());
    if (!g_fig.steps.empty())
        std::printf("  key step intervals: median %.1f ms, max %.1f ms (%zu steps)\n",
                    median(g_fig.steps), *std::max_element(g_fig.steps.begin(), g_fig.steps.end()),
                    g_fig.steps.size());
    if (g_fig.updateMs >= 0)
        std::printf("  manual update with a prompt status server: %.0f ms\n", g_fig.updateMs);
    if (g_fig.waitWallMs > 0)
        std::printf(
            "  CPU while waiting for a silent status server: %.0f ms in %.0f ms (%.1f %%; Wine "
            "counts CPU time in 10 ms steps)\n",
            g_fig.waitCpuMs, g_fig.waitWallMs, 100.0 * g_fig.waitCpuMs / g_fig.waitWallMs);
    for (const std::string& h : g_fig.hostile) std::printf("  hostile peer %s\n", h.c_str());
    for (const std::string& h : g_fig.fetchBounds) std::printf("  url fetch %s\n", h.c_str());
    if (g_fig.hostilePeak)
        std::printf("  peak working set after the hostile peers (200 MB body): %.1f MB\n",
                    static_cast<double>(g_fig.hostilePeak) / (1024.0 * 1024.0));
    if (g_fig.busyAnswerMs >= 0)
        std::printf(
            "  click restoring a minimised IvAc busy for 3 s: the panel's longest answer %.0f ms, "
            "longest repaint %.0f ms\n",
            g_fig.busyAnswerMs, g_fig.busyPaintMs);
    if (g_fig.quitMs >= 0) std::printf("  \"Quit + Save\" to process end: %.0f ms\n", g_fig.quitMs);
    if (g_fig.closeMs >= 0)
        std::printf("  WM_CLOSE during the start-up download to process end: %.0f ms\n",
                    g_fig.closeMs);
    if (g_fig.stubExitMs >= 0)
        std::printf("  (for scale: WM_CLOSE to process end of the IvAc stand-in: %.0f ms)\n",
                    g_fig.stubExitMs);
    if (!g_fig.startMs.empty())
        std::printf("  start to the panel shown: median %.0f ms, max %.0f ms (%zu starts)\n",
                    median(g_fig.startMs),
                    *std::max_element(g_fig.startMs.begin(), g_fig.startMs.end()),
                    g_fig.startMs.size());
    if (g_fig.peakWorkingSet)
        std::printf("  peak working set (ordinary scenarios): %.1f MB\n",
                    static_cast<double>(g_fig.peakWorkingSet) / (1024.0 * 1024.0));
    if (g_feedFig.startMs >= 0)
        std::printf(
            "  current feed over HTTPS: start to panel %.0f ms, manual update %.0f ms; "
            "User-Agent \"%s\", sent %s\n",
            g_feedFig.startMs, g_feedFig.updateMs, g_feedFig.agent.c_str(), g_feedFig.sent.c_str());
    if (g_feedFig.untrustedStartMs >= 0)
        std::printf(
            "  feed with an untrusted certificate: start to panel %.0f ms, next update "
            "%.0f ms, longest wait for the window %.0f ms\n",
            g_feedFig.untrustedStartMs, g_feedFig.untrustedUpdateMs, g_feedFig.untrustedStall);
    if (!g_feedFig.oversized.empty()) std::printf("  %s\n", g_feedFig.oversized.c_str());
    if (!g_feedFig.plainLarge.empty()) std::printf("  %s\n", g_feedFig.plainLarge.c_str());
    printAuroraPanelFigures();
    const AuroraFigures& f = g_aurora;
    if (!f.toTransfer.empty())
        std::printf("  Aurora: click to #TRTR received: median %.1f ms, max %.1f ms (%zu)\n",
                    median(f.toTransfer),
                    *std::max_element(f.toTransfer.begin(), f.toTransfer.end()),
                    f.toTransfer.size());
    if (!f.toShown.empty())
        std::printf(
            "  Aurora: click to \"(confirming)\" in the balloon: median %.1f ms, max %.1f ms\n",
            median(f.toShown), *std::max_element(f.toShown.begin(), f.toShown.end()));
    if (!f.toTransferred.empty())
        std::printf(
            "  Aurora: click to \"transferred\" in the balloon (2 s radar cycle): median %.0f ms, "
            "max %.0f ms (%zu)\n",
            median(f.toTransferred),
            *std::max_element(f.toTransferred.begin(), f.toTransferred.end()),
            f.toTransferred.size());
    if (f.refusedStall >= 0)
        std::printf("  Aurora access off (refused): longest wait for the window %.1f ms\n",
                    f.refusedStall);
    if (f.backlogStall >= 0)
        std::printf(
            "  Aurora never accepting: reason after %.0f ms, longest wait for the window %.1f ms\n",
            f.backlogShown, f.backlogStall);
    if (f.silentStall >= 0)
        std::printf("  Aurora silent: longest wait for the window %.1f ms\n", f.silentStall);
    for (const auto& [v, what] : {std::pair{&f.slowPending, "a 1.8 s station list pending"},
                                  std::pair{&f.slowNone, "no station list pending"}}) {
        if (v->empty()) continue;
        std::printf("  Aurora: click to #TRTR received, %s: median %.1f ms, max %.1f ms (%zu)\n",
                    what, median(*v), *std::max_element(v->begin(), v->end()), v->size());
    }
    if (g_fig.exeSize >= 0) std::printf("  tovira.exe: %lld bytes\n", g_fig.exeSize);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&g_freq);
    if (argc == 3 && std::wstring(argv[1]) == L"--click-station")
        return clickStation(_wtoi(argv[2]));
    if (argc == 2 && std::wstring(argv[1]) == L"--close-tovira") return closeTovira();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring a = argv[i], v = argv[i + 1];
        if (a == L"--exe") {
            g_opt.exe = v;
        } else if (a == L"--stub") {
            g_opt.stub = v;
        } else if (a == L"--work") {
            g_opt.work = v;
        } else if (a == L"--www") {
            g_opt.www = v;
        } else if (a == L"--demo") {
            g_opt.demo = v;
        } else if (a == L"--shots") {
            g_opt.shots = v;
        } else if (a == L"--only") {
            std::string s = u8(v);
            size_t start = 0;
            while (start <= s.size()) {
                size_t comma = s.find(',', start);
                if (comma == std::string::npos) comma = s.size();
                if (comma > start) g_opt.only.push_back(s.substr(start, comma - start));
                start = comma + 1;
            }
        }
    }
    if (g_opt.exe.empty() || g_opt.stub.empty() || g_opt.work.empty() || g_opt.www.empty()) {
        std::fprintf(stderr,
                     "usage: e2e_driver --exe TOVIRA --stub STUB --work DIR --www ROOT "
                     "[--only a,b] [--shots DIR]\n");
        return 2;
    }
    makeDirs(g_opt.work);

    WIN32_FILE_ATTRIBUTE_DATA fa{};
    if (GetFileAttributesExW(g_opt.exe.c_str(), GetFileExInfoStandard, &fa))
        g_fig.exeSize = (static_cast<long long>(fa.nFileSizeHigh) << 32) | fa.nFileSizeLow;

    int passed = 0, failed = 0;
    std::vector<std::string> failedNames;
    for (const Scenario& s : kScenarios) {
        if (!selected(s.name)) continue;
        std::printf("[ RUN  ] %s: %s\n", s.name, s.what);
        std::fflush(stdout);
        g_failures = 0;
        double t0 = nowMs();
        s.run();
        double took = (nowMs() - t0) / 1000.0;
        if (g_failures == 0) {
            ++passed;
            std::printf("[  OK  ] %s (%.1f s)\n", s.name, took);
        } else {
            ++failed;
            failedNames.push_back(s.name);
            std::printf("[ FAIL ] %s (%.1f s, %d failed checks)\n", s.name, took, g_failures);
        }
        std::fflush(stdout);
    }
    if (!g_opt.shots.empty()) {
        std::printf("[ SHOT ] panel and editing view\n");
        g_failures = 0;
        screenshots();
        std::printf("[ %s ] screenshots\n", g_failures ? "FAIL" : " OK ");
        if (g_failures) {
            ++failed;
            failedNames.push_back("screenshots");
        }
    }

    printFigures();
    std::printf("\n");
    for (const std::string& n : failedNames) std::printf("e2e: FAILED %s\n", n.c_str());
    std::printf("e2e: %d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed ? 1 : 0;
}
