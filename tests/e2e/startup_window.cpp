// Start-up and the window: the first start and "Quit + Save", "Always on
// Top", "Menu" and "Minimize", a panel always within reach, the start-up
// notice, texts with a NUL, and a folder that refuses tq.cfg.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"
// After windows.h, which harness.h includes.
#include <shlobj.h>

namespace e2e {

void firstStartQuitSave() {
    serveIndex("status.test.aero");
    serveStatus(statusFile());
    setIndexDelay(0);
    std::wstring dir = scenarioDir("first-start");
    Tovira t;
    if (!startTovira(dir, t) || !waitReady(t, -1)) return stopTovira(t);
    check(visibleSlots(t).empty(), "no station button without a configuration, got %s",
          list(visibleSlots(t)).c_str());
    HWND quit = item(t.main, id::Command5);
    check(text(quit) == L"Quit + Save", "Command5 is \"Quit + Save\", got \"%s\"",
          u8(text(quit)).c_str());
    notePeak(t);
    double t0 = nowMs();
    DWORD_PTR r = 0;
    SendMessageTimeoutW(quit, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
    bool ended = WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0;
    check(ended, "the program ends after \"Quit + Save\"");
    g_fig.quitMs = nowMs() - t0;
    say("\"Quit + Save\" to process end: %.0f ms", g_fig.quitMs);
    std::string got;
    check(readFile(dir + L"\\tq.cfg", got), "tq.cfg written");
    std::string want(60 * 2, ' ');
    for (int i = 0; i < 60; ++i) want.replace(static_cast<size_t>(2 * i), 2, "\r\n");
    want += " 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n1\r\n 1 \r\n100\r\n 0 \r\n";
    check(
        got == want,
        "tq.cfg holds 69 CR LF lines, sixty empty first:\n        want \"%s\"\n        got  \"%s\"",
        visible(want).c_str(), visible(got).c_str());
    kill(t.p);
}

bool topmost(HWND h) {
    return (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

void alwaysOnTop() {
    Tovira t;
    if (!startStaffed("on-top", t, standardCfg())) return stopTovira(t);
    HWND box = item(t.main, id::Check1);
    check(text(box) == L"Always on Top", "Check1 is \"Always on Top\", got \"%s\"",
          u8(text(box)).c_str());
    check(topmost(t.main), "the window starts on top (extended style 0x%lx)",
          GetWindowLongW(t.main, GWL_EXSTYLE));
    check(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED, "the box starts checked");
    click(box);
    check(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "a click unchecks the box");
    check(waitFor([&] { return !topmost(t.main); }, 2000), "unchecked: the window is not on top");
    click(box);
    check(SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED, "a second click checks the box");
    check(waitFor([&] { return topmost(t.main); }, 2000), "checked again: the window is on top");
    stopTovira(t);
}

void menuMinimize() {
    Cfg cfg = standardCfg();
    cfg.top = " 1500 ";
    cfg.left = " 3000 ";
    Tovira t;
    if (!startStaffed("menu-minimize", t, cfg)) return stopTovira(t);
    RECT home{}, edit{}, back{};
    GetWindowRect(t.main, &home);
    say("panel view at %ld,%ld size %ldx%ld", home.left, home.top, home.right - home.left,
        home.bottom - home.top);
    check(std::abs(home.left - px(3000)) <= 2 && std::abs(home.top - px(1500)) <= 2,
          "the panel stands at the saved home position %d,%d, got %ld,%ld", px(3000), px(1500),
          home.left, home.top);
    check(std::abs((home.right - home.left) - px(1290)) <= 4,
          "the panel view is 1290 twips (%d px) wide, got %ld", px(1290), home.right - home.left);
    HWND menu = item(t.main, id::Command2);
    check(text(menu) == L"Menu", "Command2 is \"Menu\", got \"%s\"", u8(text(menu)).c_str());
    click(menu);
    GetWindowRect(t.main, &edit);
    say("editing view at %ld,%ld size %ldx%ld", edit.left, edit.top, edit.right - edit.left,
        edit.bottom - edit.top);
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    check(std::abs((edit.right - edit.left) - px(8200)) <= 4,
          "the editing view is 8200 twips (%d px) wide, got %ld", px(8200), edit.right - edit.left);
    check(std::abs((edit.left + edit.right) / 2 - sw / 2) <= 20 &&
              std::abs((edit.top + edit.bottom) / 2 - sh / 2) <= 20,
          "the editing view is centred on the %dx%d screen", sw, sh);
    HWND minimize = item(t.main, id::Command3);
    check(text(minimize) == L"Minimize", "Command3 is \"Minimize\", got \"%s\"",
          u8(text(minimize)).c_str());
    click(minimize);
    GetWindowRect(t.main, &back);
    check(EqualRect(&back, &home),
          "\"Minimize\" goes back to the panel view at home: %ld,%ld %ldx%ld", back.left, back.top,
          back.right - back.left, back.bottom - back.top);
    check(IsWindowVisible(t.main) && visibleSlots(t) == staffedSlots(),
          "the panel still shows the staffed stations");
    stopTovira(t);
}

// A home position far beyond the screen opens with the whole panel on the
// screen, and closing saves that place; one whose first button is on the
// screen, with the panel sticking out beyond its edge, opens moved wholly
// onto the screen, and tq.cfg keeps the place as it was.
void reachablePanel() {
    Cfg beyond = standardCfg();
    beyond.top = " 60000 ";
    beyond.left = " 60000 ";
    Tovira t;
    if (!startStaffed("reachable-far", t, beyond)) return stopTovira(t);
    RECT r{};
    GetWindowRect(t.main, &r);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(t.main, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& w = mi.rcWork;
    say("saved at %d,%d px: panel at %ld,%ld-%ld,%ld, work area %ld,%ld-%ld,%ld", px(60000),
        px(60000), r.left, r.top, r.right, r.bottom, w.left, w.top, w.right, w.bottom);
    check(IsWindowVisible(t.main) && r.left >= w.left && r.top >= w.top && r.right <= w.right &&
              r.bottom <= w.bottom,
          "the whole panel lies on the screen's work area");
    check(r.right == w.right && r.bottom == w.bottom,
          "the panel stands as near to the saved place as it can (in the corner)");
    DWORD_PTR res = 0;
    SendMessageTimeoutW(item(t.main, id::Command5), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &res);
    check(WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0, "\"Quit + Save\" ends the program");
    kill(t.p);
    std::string got;
    readFile(t.dir + L"\\tq.cfg", got);
    const std::vector<std::string> l = lines(got);
    check(l.size() >= 64 && px(std::atof(l[62].c_str())) == r.top &&
              px(std::atof(l[63].c_str())) == r.left,
          "tq.cfg holds the place the panel opened at, got top \"%s\", left \"%s\"",
          l.size() >= 64 ? l[62].c_str() : "", l.size() >= 64 ? l[63].c_str() : "");

    // Reachable: its first button is on the screen, the rest sticks out.
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    Cfg edge = standardCfg();
    edge.top = " 1500 ";
    edge.left = std::to_string((sw - 60) * 1440 / dpi);
    Tovira e;
    if (!startStaffed("reachable-edge", e, edge)) return stopTovira(e);
    GetWindowRect(e.main, &r);
    check(r.right == sw && r.top == px(1500),
          "a reachable panel sticking out opens at its place, moved wholly onto the screen, "
          "got %ld,%ld-%ld",
          r.left, r.top, r.right);
    SendMessageTimeoutW(item(e.main, id::Command5), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &res);
    WaitForSingleObject(e.p.h, 10000);
    readFile(e.dir + L"\\tq.cfg", got);
    check(lines(got).size() >= 64 &&
              std::atof(lines(got)[63].c_str()) == std::atof(edge.left.c_str()),
          "and tq.cfg keeps the place it was saved at");
    kill(e.p);
}

// ---------------------------------------------------------------- texts and painting

// Light pixels (text in white) on the screen within `r`.
int lightPixels(RECT r) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    int light = 0;
    if (bmp && bits) {
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
        GdiFlush();
        const auto* px = static_cast<const DWORD*>(bits);
        for (int k = 0; k < w * h; ++k) {
            const DWORD c = px[k];
            if ((c & 0xFF) > 0xC0 && ((c >> 8) & 0xFF) > 0xC0 && ((c >> 16) & 0xFF) > 0xC0) ++light;
        }
        SelectObject(mem, old);
    }
    if (bmp) DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return light;
}

// While the status index gives nothing, the start-up notice " Loading ..."
// stays; the empty online label of the first row lies over its end and is
// transparent, so the whole notice shows.
void loadingNotice() {
    writeFile(g_opt.www + L"\\www.ivao.aero\\whazzup\\status.txt", "");
    setIndexDelay(0);
    std::wstring dir = scenarioDir("loading-notice");
    writeFile(dir + L"\\tq.cfg", render(standardCfg()));
    Tovira t;
    if (!startTovira(dir, t)) return stopTovira(t);
    // The window shows at its creation, hides for the load and shows again
    // after the layout, which puts l1(0) at the top.
    HWND l8 = nullptr;
    HWND l0 = nullptr;
    auto laidOut = [&] {
        l8 = item(t.main, id::Label8);
        l0 = item(t.main, id::l1(0));
        RECT w{}, r{};
        return l8 && l0 && IsWindowVisible(t.main) && GetWindowRect(t.main, &w) &&
               GetWindowRect(l0, &r) && r.top == w.top;
    };
    bool shown = waitFor([&] { return laidOut() || !running(t.p); }, 20000, 50) && laidOut();
    if (!check(shown, "the panel is shown after a start-up without a status index")) {
        return stopTovira(t);
    }
    Sleep(800);
    check(text(l8) == L" Loading ...", "Label8 keeps \" Loading ...\", got \"%s\"",
          u8(text(l8)).c_str());
    RECT r8{}, r0{}, both{};
    GetWindowRect(l8, &r8);
    GetWindowRect(l0, &r0);
    check(IntersectRect(&both, &r8, &r0) && text(l0).empty(),
          "the empty label l1(0) (%ld,%ld-%ld,%ld) lies over the end of Label8 (%ld,%ld-%ld,%ld)",
          r0.left, r0.top, r0.right, r0.bottom, r8.left, r8.top, r8.right, r8.bottom);
    // The part of the notice beneath l1(0): "ding ..." in white.
    const int light = lightPixels(both);
    check(light > 0, "the end of \" Loading ...\" shows beneath l1(0) (%d light pixels)", light);
    if (!g_opt.shots.empty()) {
        RECT r = r8;
        UnionRect(&r, &r8, &r0);
        InflateRect(&r, 8, 8);
        takeShot("loading-notice", r);
    }
    stopTovira(t);
}

// The file's first `n` lines, CR LF included.
std::string firstLines(const std::string& s, int n) {
    size_t pos = 0;
    for (int k = 0; k < n && pos != std::string::npos; ++k) {
        pos = s.find("\r\n", pos);
        if (pos != std::string::npos) pos += 2;
    }
    return s.substr(0, pos);
}

// A name and a position holding a NUL (a damaged or hand-edited tq.cfg):
// the fields show them up to the NUL, and "Quit + Save" writes them back
// whole.
void nulTexts() {
    serveIndex("status.test.aero");
    serveStatus(statusFile());
    setIndexDelay(0);
    std::wstring dir = scenarioDir("nul-text");
    Cfg cfg = standardCfg();
    cfg.slots[3].name = std::string("SPA\0RE", 6);
    cfg.slots[4].position = std::string("EDDB\0_TWR", 9);
    const std::string file = render(cfg);
    writeFile(dir + L"\\tq.cfg", file);
    Tovira t;
    if (!startTovira(dir, t) || !waitReady(t, kStaffed.front().slot, "DT_TWR")) {
        return stopTovira(t);
    }
    const std::string name = u8(text(item(t.main, id::t0(3))));
    const std::string position = u8(text(item(t.main, id::t1(5))));
    check(name == "SPA" && position == "EDDB",
          "the fields show the texts up to the NUL, got \"%s\" and \"%s\"", name.c_str(),
          position.c_str());
    HWND quit = item(t.main, id::Command5);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(quit, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &r);
    check(WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0,
          "the program ends after \"Quit + Save\"");
    std::string got;
    check(readFile(dir + L"\\tq.cfg", got), "tq.cfg written");
    const std::string want = firstLines(file, 60);
    check(firstLines(got, 60) == want,
          "the table is saved with its NULs:\n        want \"%s\"\n        got  \"%s\"",
          visible(want).c_str(), visible(firstLines(got, 60)).c_str());
    kill(t.p);
}

// ---------------------------------------------------------------- a folder that refuses writes

namespace {

// The message box of `pid` that is up now: a visible dialog of its own.
struct BoxFind {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK findBoxProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<BoxFind*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[16] = L"";
    GetClassNameW(h, cls, 16);
    if (pid == f->pid && IsWindowVisible(h) && std::wstring(cls) == L"#32770") {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND messageBoxOf(DWORD pid) {
    BoxFind f{pid, nullptr};
    EnumWindows(findBoxProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

// The box's message: the texts of its static controls.
BOOL CALLBACK boxTextProc(HWND h, LPARAM lp) {
    wchar_t cls[16] = L"";
    GetClassNameW(h, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0) *reinterpret_cast<std::wstring*>(lp) += text(h);
    return TRUE;
}

std::wstring boxText(HWND box) {
    std::wstring all;
    EnumChildWindows(box, boxTextProc, reinterpret_cast<LPARAM>(&all));
    return all;
}

// Where Windows' file virtualization keeps a redirected tq.cfg of `dir`.
std::wstring virtualStoreCopy(const std::wstring& dir) {
    wchar_t* local = nullptr;
    std::wstring path;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) && local)
        path = std::wstring(local) + L"\\VirtualStore" + dir.substr(2) + L"\\tq.cfg";
    if (local) CoTaskMemFree(local);
    return path;
}

}  // namespace

// tq.cfg's folder refuses writes (a read-only mount, as Program Files or a
// folder under Controlled Folder Access does on Windows), and the user's
// stations lie in the VirtualStore, where redirected writes went:
// the stations come from that copy, a balloon at "Menu" names the folder
// and where the table is kept, and its tool tip keeps the notice; a save
// that fails there asks in a topmost box, answered Retry (failing again)
// and Retry, which saves the edit in the VirtualStore.
void readOnlyFolder() {
    serveIndex("status.test.aero");
    serveStatus(statusFile());
    setIndexDelay(0);
    std::wstring dir = scenarioDir("read-only-folder");
    std::wstring exe = dir + L"\\tovira.exe";
    const std::wstring store = virtualStoreCopy(dir);
    const std::string stations = render(standardCfg());
    if (!check(CopyFileW(g_opt.exe.c_str(), exe.c_str(), FALSE), "copy tovira.exe") ||
        !check(!store.empty(), "the VirtualStore's place"))
        return;
    makeDirs(store.substr(0, store.rfind(L'\\')));
    if (!check(writeFile(store, stations), "tq.cfg in the VirtualStore: %s", u8(store).c_str()) ||
        !check(mountReadOnly(dir, true), "the program's folder mounted read-only"))
        return;
    HANDLE probe = CreateFileW((dir + L"\\probe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD refused = probe == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
    check(refused != 0, "the folder refuses the driver's write too (error %lu)", refused);
    say("the read-only folder refuses a write with error %lu", refused);

    Tovira t;
    t.dir = dir;
    t.started = nowMs();
    t.p = launch(exe, L"", dir, g_opt.work + L"\\read-only-folder.out");
    waitFor([&] { return (t.main = topWindow(t.p.pid, L"Tovira")) != nullptr || !running(t.p); },
            20000);
    if (!check(t.main != nullptr, "the window appears") ||
        !waitReady(t, kStaffed.front().slot, "DT_TWR")) {
        mountReadOnly(dir, false);
        return stopTovira(t);
    }
    say("the stations came from the VirtualStore's copy");

    const std::wstring storeDir = store.substr(0, store.rfind(L'\\'));
    const std::wstring head = L"tq.cfg cannot be saved in " + dir + L": ";
    const std::wstring tail = L". It is kept in " + storeDir + L" instead";
    std::wstring notice;
    const bool shown = waitFor(
        [&] {
            notice = balloon(t.p.pid);
            return !notice.empty();
        },
        5000);
    check(shown && notice.starts_with(head) && notice.ends_with(tail) &&
              notice.size() > head.size() + tail.size(),
          "a balloon names the folder, the reason and where the table is kept: \"%s\"",
          u8(notice).c_str());
    say("the balloon at \"Menu\": %s", u8(notice).c_str());
    const std::wstring tip = toolTip(t.p.pid, item(t.main, id::Command2));
    check(tip == L"Configure the buttons and ATC positions\n" + notice,
          "\"Menu\"'s tool tip keeps it: \"%s\"", visible(u8(tip)).c_str());

    // An edit, and "Quit + Save" from the editing view, posted: the box
    // holds the click. A folder in the way of the new file makes the save
    // in the VirtualStore fail; Retry tries again, and once it is gone the
    // save goes there.
    click(item(t.main, id::Command2));
    DWORD_PTR res = 0;
    SendMessageTimeoutW(item(t.main, id::t0(0)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"STORED"),
                        SMTO_NORMAL, 5000, &res);
    const std::wstring blocker = storeDir + L"\\tq.cfg.new";
    check(CreateDirectoryW(blocker.c_str(), nullptr), "a folder in the way of the save");
    PostMessageW(item(t.main, id::Command5), BM_CLICK, 0, 0);
    const std::wstring storeHead = L"tq.cfg cannot be saved in " + storeDir + L": ";
    for (int round = 0; round < 2; ++round) {
        HWND box = nullptr;
        waitFor([&] { return (box = messageBoxOf(t.p.pid)) != nullptr || !running(t.p); }, 10000);
        if (!check(box != nullptr, "a message box asks (%d)", round + 1)) break;
        const std::wstring message = boxText(box);
        check(message.starts_with(storeHead) && message.find(L"Retry") != std::wstring::npos,
              "it names the file, the VirtualStore and the reason: \"%s\"",
              visible(u8(message)).c_str());
        check((GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "the box is topmost");
        check(answerMs(t.main) < 1000, "the panel answers while the box is up");
        if (round == 1) RemoveDirectoryW(blocker.c_str());
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDRETRY, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDRETRY)));
        if (round == 0)
            check(waitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000),
                  "Retry closes the box, and the save is tried again");
    }
    const bool ended = WaitForSingleObject(t.p.h, 10000) == WAIT_OBJECT_0;
    check(ended, "the save that succeeds ends the program");
    check(!fileExists(dir + L"\\tq.cfg") && !fileExists(dir + L"\\tq.cfg.new"),
          "nothing written beside the program");
    std::string kept;
    check(readFile(store, kept) && kept.starts_with("STORED\r\n"),
          "the table is saved in the VirtualStore");
    kill(t.p);
    RemoveDirectoryW(blocker.c_str());
    check(mountReadOnly(dir, false), "the folder writable again");
    DeleteFileW(store.c_str());
}

}  // namespace e2e
