// The README's pictures (--shots) and the demo's helpers (--click-station,
// --close-tovira), which act on a Tovira that something else started.
#include <cstdio>
#include <string>

#include "harness.h"

namespace e2e {

// The pictures for the README, with the demo's stations when --demo names
// its folder (tq.cfg, whazzup.txt), else with the suite's own.
void screenshots() {
    std::string cfg = render(standardCfg()), status = statusFile();
    int hover = 2;
    std::string first = "DT_TWR";
    if (!g_opt.demo.empty() && readFile(g_opt.demo + L"\\tq.cfg", cfg) &&
        readFile(g_opt.demo + L"\\whazzup.txt", status)) {
        hover = 20;             // the tip then falls on an empty row
        first = lines(cfg)[4];  // slot 2, the first staffed station of the demo
        if (!first.empty() && first.back() == '\r') first.pop_back();
    }
    serveIndex("status.test.aero");
    serveStatus(status);
    setIndexDelay(0);
    std::wstring dir = scenarioDir("screenshots");
    writeFile(dir + L"\\tq.cfg", cfg);
    Tovira t;
    if (!startTovira(dir, t) || !waitReady(t, 2, first)) return stopTovira(t);
    RECT r;
    GetWindowRect(t.main, &r);
    // Hover a staffed station so that its tool tip shows in the picture.
    RECT b;
    GetWindowRect(item(t.main, id::c1(hover)), &b);
    SetCursorPos((b.left + b.right) / 2, (b.top + b.bottom) / 2);
    Sleep(1800);
    RECT shot = r;
    for (HWND tip : toolTipWindows(t.p.pid)) {
        RECT tr;
        if (IsWindowVisible(tip) && GetWindowRect(tip, &tr)) UnionRect(&shot, &shot, &tr);
    }
    check(takeShot("panel", shot), "panel screenshot taken");
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2);
    click(item(t.main, id::Command2));
    Sleep(800);
    GetWindowRect(t.main, &r);
    check(takeShot("editing", r), "editing-view screenshot taken");
    stopTovira(t);
}

// For the demo without a screen: click one station of the running Tovira, so
// that the picture shows the keys arriving at the stand-in.
int clickStation(int slot) {
    HWND main = nullptr, b = nullptr;
    bool ok = waitFor(
        [&] {
            main = FindWindowW(nullptr, L"Tovira");
            b = main ? item(main, id::c1(slot)) : nullptr;
            return b && IsWindowVisible(b) && !text(b).empty();
        },
        30000, 100);
    if (!ok) {
        std::printf("no visible station button c1(%d)\n", slot);
        return 1;
    }
    Sleep(500);
    click(b);
    std::printf("clicked station \"%s\"\n", u8(text(b)).c_str());
    return 0;
}

// For the demo: closes the running Tovira as its window's close box would.
int closeTovira() {
    HWND main = FindWindowW(nullptr, L"Tovira");
    return main && PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
}

}  // namespace e2e
