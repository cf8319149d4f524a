// A second start from the panel's folder, on a screen too short for the
// panel at 200 %: the panel lies on the screen without being resized and
// tq.cfg keeps its home; leaving the editing view saves the edit at once;
// the second start ends without a panel and brings the first to the front,
// restored, in the panel view; the edit survives "Quit + Save".
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

namespace {

// The DPI that the programs started from now on take (Wine reads it at a
// process's start); returns the value before, 0 where there was none.
DWORD setLogPixels(DWORD dpi) {
    HKEY key = nullptr;
    DWORD before = 0, size = sizeof before;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 0;
    if (RegQueryValueExW(key, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&before),
                         &size) != ERROR_SUCCESS)
        before = 0;
    if (dpi)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi);
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    return before;
}

}  // namespace

void secondStartScaled() {
    const DWORD before = setLogPixels(192);
    Cfg cfg = standardCfg();
    cfg.top = " 1500 ";  // 200 pixels down at 200 %
    cfg.left = " 1500 ";
    const std::string saved = render(cfg);
    Tovira t;
    const bool started = startStaffed("second-start", t, cfg);
    setLogPixels(before);
    if (!started) return stopTovira(t);

    RECT r{};
    GetWindowRect(t.main, &r);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(t.main, MONITOR_DEFAULTTONEAREST), &mi);
    say("at 200 %%: panel %ld,%ld %ldx%ld, work area %ld,%ld-%ld,%ld", r.left, r.top,
        r.right - r.left, r.bottom - r.top, mi.rcWork.left, mi.rcWork.top, mi.rcWork.right,
        mi.rcWork.bottom);
    check(r.bottom - r.top == 1080 && r.right - r.left == 172,
          "the panel view is 1290 x 8100 twips at 200 %% (172 x 1080), not resized");
    check(r.top == mi.rcWork.top && r.left == 200,
          "taller than the work area: its top at the work area's top, its left kept");

    // An edit in the editing view, saved as the view closes.
    click(item(t.main, id::Command2));
    DWORD_PTR res = 0;
    SendMessageTimeoutW(item(t.main, id::t0(0)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"EDITED"),
                        SMTO_NORMAL, 5000, &res);
    click(item(t.main, id::Command3));
    std::string got;
    readFile(t.dir + L"\\tq.cfg", got);
    check(
        got.starts_with("EDITED\r\n") && got.find("\r\n 1500 \r\n 1500 \r\n") != std::string::npos,
        "\"Minimize\" saved the edit and the home position: \"%s\"",
        visible(got.substr(0, 40)).c_str());

    // The editing view open and the window minimized, Tovira is started
    // again from the same folder.
    click(item(t.main, id::Command2));
    ShowWindow(t.main, SW_MINIMIZE);
    Proc second =
        launch(t.dir + L"\\tovira.exe", L"--aurora-refresh-ms 0", t.dir, t.dir + L"\\second.out");
    const bool ended = WaitForSingleObject(second.h, 10000) == WAIT_OBJECT_0;
    DWORD code = 1;
    GetExitCodeProcess(second.h, &code);
    check(ended && code == 0 && !topWindow(second.pid, L"Tovira"),
          "the second start ends at once, without a panel (exit %lu)", code);
    kill(second);
    const bool back = waitFor(
        [&] {
            GetWindowRect(t.main, &r);
            return !IsIconic(t.main) && IsWindowVisible(t.main) && r.right - r.left == 172;
        },
        5000);
    check(back, "the running panel is restored in the panel view (%ldx%ld)", r.right - r.left,
          r.bottom - r.top);
    check(waitFor([&] { return GetForegroundWindow() == t.main; }, 3000),
          "and brought to the front");

    SendMessageTimeoutW(item(t.main, id::Command5), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &res);
    check(WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0, "\"Quit + Save\" ends the program");
    kill(t.p);
    readFile(t.dir + L"\\tq.cfg", got);
    const std::string want = "EDITED" + saved.substr(saved.find("\r\n"));
    check(got == want, "tq.cfg keeps the edit and the home position");
}

}  // namespace e2e
