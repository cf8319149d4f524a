// What the user is told of a handover in IvAc: a click whose activation
// fails ends the sequence under way, a window titled "IvAc" that is not
// IvAc's is never typed into, a hung IvAc is named, and every balloon lies
// wholly inside the work area beside the panel.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "ivac_keys.h"

namespace e2e {

namespace {

// The balloon of Tovira, wholly inside the work area of the panel's
// monitor and off the panel; `what` names the moment.
void balloonOnScreen(const Tovira& t, const char* what) {
    HWND tip = nullptr;
    balloon(t.p.pid, &tip);
    RECT b{}, panel{};
    if (!check(tip && GetWindowRect(tip, &b), "%s: a balloon shows", what)) return;
    GetWindowRect(t.main, &panel);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(t.main, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& w = mi.rcWork;
    check(b.left >= w.left && b.top >= w.top && b.right <= w.right && b.bottom <= w.bottom,
          "%s: the balloon (%ld,%ld)-(%ld,%ld) lies within the work area (%ld,%ld)-(%ld,%ld)", what,
          b.left, b.top, b.right, b.bottom, w.left, w.top, w.right, w.bottom);
    check(b.right <= panel.left || b.left >= panel.right,
          "%s: the balloon (%ld-%ld) is beside the panel (%ld-%ld), not over it", what, b.left,
          b.right, panel.left, panel.right);
}

// The IvAc stand-in's program copied as explorer.exe into a folder of its
// own, its window titled "IvAc": File Explorer open at IvAc's folder.
bool startExplorer(const std::wstring& dir, Stub& s) {
    const std::wstring folder = dir + L"\\shell";
    makeDirs(folder);
    const std::wstring exe = folder + L"\\explorer.exe";
    if (!check(CopyFileW(g_opt.stub.c_str(), exe.c_str(), FALSE) != 0,
               "copy the stand-in as explorer.exe"))
        return false;
    s.log = dir + L"\\explorer-keys.log";
    s.p = launch(exe, L"--title IvAc --log \"" + s.log + L"\"", folder, dir + L"\\explorer.out");
    waitFor(
        [&] {
            std::string log;
            return (s.wnd = topWindow(s.p.pid, L"IvAc")) != nullptr && readFile(s.log, log) &&
                   log.find(" READY ") != std::string::npos;
        },
        15000);
    return check(s.wnd != nullptr, "the window \"IvAc\" of explorer.exe appears");
}

// How long the panel takes to repaint once made invalid: it paints only from
// its message loop, which a call waiting on another program's thread holds
// up, while a message sent to it is answered even then.
double repaintMs(HWND h) {
    const double t0 = nowMs();
    InvalidateRect(h, nullptr, FALSE);
    waitFor([&] { return !GetUpdateRect(h, nullptr, FALSE); }, 10000, 1);
    return nowMs() - t0;
}

// Transfers the Aurora stand-in received.
size_t transfers(const std::wstring& log) {
    std::string l;
    readFile(log, l);
    size_t n = 0;
    const std::string mark = "RECV #TRTR";
    for (size_t at = l.find(mark); at != std::string::npos; at = l.find(mark, at + 1)) ++n;
    return n;
}

}  // namespace

// One start of the program, its panel at the right edge of the screen, and
// three ways a click does not bring IvAc forward; each time the user is
// told what happened, in a balloon wholly on screen, and nothing is typed
// that the balloon does not tell:
// - File Explorer (the stand-in copied as explorer.exe) with a window titled
//   "IvAc" and no IvAc: nothing typed into it, the handover goes to Aurora;
// - a click on c1(20) at the F4 of c1(10)'s sequence, whose activation times
//   out (IvAc comes forward on its own only later, as if the user clicked
//   it): the balloon at c1(20) says "not typed", and no key of the old
//   sequence follows (it would type c1(20)'s position after c1(10)'s F4);
// - an IvAc that stops serving its messages: "IvAc is not responding", and
//   nothing typed, not even once it answers again;
// - a minimised IvAc, busy for 3 s (not yet hung) when the click comes: the
//   restore does not wait on it, the panel answers and repaints meanwhile
//   (the longest of each a figure), IvAc does not come forward within the
//   activation's bound and the balloon says so; nothing typed.
// An IvAc started as administrator cannot be shown here: under Wine every
// process reads as the same integrity level (the simulated platform tests it).
void handoverOutcomes() {
    Cfg cfg = standardCfg();
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    cfg.left = " " + std::to_string((work.right - px(1290)) * 15) + " ";
    Tovira t;
    Aurora aurora;
    Stub explorer, ivac, hung, busy;
    const auto stop = [&] {
        stopStub(explorer);
        stopStub(ivac);
        stopStub(hung);
        stopStub(busy);
        stopAurora(aurora);
        stopTovira(t);
    };
    if (!startStaffed("outcomes", t, cfg) || !startAurora(t.dir, aurora) ||
        !startExplorer(t.dir, explorer))
        return stop();
    RECT panel{};
    GetWindowRect(t.main, &panel);
    say("panel at (%ld,%ld)-(%ld,%ld), work area right edge %ld", panel.left, panel.top,
        panel.right, panel.bottom, work.right);

    // File Explorer titled "IvAc": no IvAc, so Aurora takes the handover.
    double down = 0, up = 0;
    pressAt(item(t.main, id::c1(0)), 60, down, up);
    check(waitFor([&] { return transfers(aurora.log) == 1; }, 5000),
          "explorer.exe titled \"IvAc\": the Aurora stand-in gets the transfer, got %zu",
          transfers(aurora.log));
    waitFor([&] { return !balloon(t.p.pid).empty(); }, 3000);
    say("the balloon says \"%s\"", u8(balloon(t.p.pid)).c_str());
    balloonOnScreen(t, "Aurora's result");
    Sleep(500);  // past the typing delay and four key steps
    check(typingCount(keys(explorer)) == 0, "nothing typed into explorer.exe's window, got %s",
          seen(keys(explorer)).c_str());
    stopStub(explorer);

    // A click whose activation times out while c1(10)'s sequence is under way.
    if (!startStub(
            t.dir, L"IvAc", ivac,
            L"--on-f4 click " + std::to_wstring(id::c1(20)) + L" --late-after-f4 900 --hand-to -"))
        return stop();
    const wchar_t kNotForward[] = L"IvAc did not come forward: not typed";
    pressAt(item(t.main, id::c1(10)), 60, down, up);
    double shownAt = -1;
    waitFor(
        [&] {
            if (balloon(t.p.pid) != kNotForward) return false;
            shownAt = nowMs();
            return true;
        },
        3000, 5);
    check(shownAt >= 0, "the click on c1(20) says \"%s\", the balloon says \"%s\"",
          u8(kNotForward).c_str(), u8(balloon(t.p.pid)).c_str());
    if (shownAt >= 0) {
        // The balloon speaks of c1(20): it stands level with that button.
        HWND tip = nullptr;
        balloon(t.p.pid, &tip);
        RECT b{}, button{};
        GetWindowRect(tip, &b);
        GetWindowRect(item(t.main, id::c1(20)), &button);
        const long mid = (button.top + button.bottom) / 2;
        check(b.top <= mid + 40 && b.bottom >= mid - 40,
              "the balloon (%ld-%ld) stands at c1(20) (its middle %ld)", b.top, b.bottom, mid);
        balloonOnScreen(t, "the click whose activation timed out");
    }
    Sleep(1500);  // IvAc came forward at 900 ms: an old step would have typed by now
    const std::vector<Key> ks = keys(ivac);
    const std::string spelled = spell(ks, 0).spelled;
    check(spelled == "{F4}" || spelled == "{F4}{DOWN}",
          "only c1(10)'s first keys reached IvAc, got \"%s\"", spelled.c_str());
    size_t after = 0;
    for (const Key& k : ks) after += typingKey(k) && shownAt >= 0 && k.ms > shownAt ? 1 : 0;
    check(after == 0, "no key after the balloon, got %zu", after);
    check(transfers(aurora.log) == 1, "Aurora got nothing more, got %zu transfers",
          transfers(aurora.log));
    stopStub(ivac);

    // IvAc stops serving its messages for 9 s; Windows calls it hung after 5.
    if (!startStub(t.dir, L"IvAc", hung)) return stop();
    const double hangFrom = nowMs();
    PostMessageW(hung.wnd, WM_APP + 2, 9000, 0);
    Sleep(6500);
    const wchar_t kHung[] = L"IvAc is not responding: not typed";
    pressAt(item(t.main, id::c1(2)), 60, down, up);
    check(waitFor([&] { return balloon(t.p.pid) == kHung; }, 3000),
          "a click with IvAc hung says \"%s\", the balloon says \"%s\"", u8(kHung).c_str(),
          u8(balloon(t.p.pid)).c_str());
    say("the balloon came %.0f ms after the click", nowMs() - up);
    balloonOnScreen(t, "IvAc hung");
    waitFor([&] { return nowMs() - hangFrom > 10500; }, 6000, 100);  // IvAc answers again
    check(typingCount(keys(hung)) == 0, "nothing typed into the hung IvAc, got %s",
          seen(keys(hung)).c_str());
    check(transfers(aurora.log) == 1, "a hung IvAc is no turn of Aurora's, got %zu transfers",
          transfers(aurora.log));
    stopStub(hung);

    // A minimised IvAc that stops serving its messages for 3 s.
    waitFor([&] { return balloon(t.p.pid).empty(); }, 6000);  // the hung IvAc's has gone
    if (!startStub(t.dir, L"IvAc", busy, L"--minimised")) return stop();
    check(waitFor([&] { return IsIconic(busy.wnd) != FALSE; }, 3000), "the stand-in is minimised");
    PostMessageW(busy.wnd, WM_APP + 2, 3000, 0);
    const double busyFrom = nowMs();
    Sleep(100);  // asleep by now
    pressAt(item(t.main, id::c1(2)), 60, down, up);
    std::wstring said;
    while (nowMs() - busyFrom < 3600) {
        g_fig.busyAnswerMs = std::max(g_fig.busyAnswerMs, answerMs(t.main));
        g_fig.busyPaintMs = std::max(g_fig.busyPaintMs, repaintMs(t.main));
        if (said.empty()) said = balloon(t.p.pid);
        Sleep(20);
    }
    check(said == kNotForward, "a busy, minimised IvAc: the balloon says \"%s\", it says \"%s\"",
          u8(kNotForward).c_str(), u8(said).c_str());
    waitFor([&] { return !IsIconic(busy.wnd); }, 3000);
    Sleep(500);  // past the typing delay and four key steps, once IvAc answers again
    check(typingCount(keys(busy)) == 0, "nothing typed into the busy IvAc, got %s",
          seen(keys(busy)).c_str());
    stop();
}

}  // namespace e2e
