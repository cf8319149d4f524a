// The handover in IvAc: a click types F4, Down, the position and Enter into
// the IvAc window, paced, with KeyWait, past held modifiers and presses, never
// into a foreign window, and only after a click (a confirmed delay types
// nothing).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "ivac_keys.h"

namespace e2e {

bool setCapsLock(bool on) {
    if (((GetKeyState(VK_CAPITAL) & 1) != 0) != on) {
        INPUT in[2] = {};
        in[0].type = in[1].type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[1].ki.wVk = VK_CAPITAL;
        in[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, in, sizeof(INPUT));
    }
    return waitFor([&] { return ((GetKeyState(VK_CAPITAL) & 1) != 0) == on; }, 2000);
}

void clickTypes() {
    Tovira t;
    Stub s;
    if (!startStaffed("click", t, standardCfg()) || !startStub(t.dir, L"IvAc", s)) {
        stopStub(s);
        return stopTovira(t);
    }
    clickAndCheckKeys(t, s, 0, "EDDT_TWR", 100, "KeyWait off, c1(0)");
    clickAndCheckKeys(t, s, 10, "EDWW_CTR", 100, "KeyWait off, c1(10)");
    // Caps Lock on must not turn the callsign into lower case.
    if (check(setCapsLock(true), "Caps Lock goes on")) {
        clickAndCheckKeys(t, s, 2, "EDDT_APP", 100, "Caps Lock on, c1(2)");
    }
    check(setCapsLock(false), "Caps Lock goes off again");
    stopStub(s);
    stopTovira(t);
}

void clickKeyWait() {
    Cfg cfg = standardCfg();
    cfg.keywait = " 1 ";
    cfg.delay = "250";
    Tovira t;
    Stub s;
    if (!startStaffed("keywait", t, cfg) || !startStub(t.dir, L"IvAc", s)) {
        stopStub(s);
        return stopTovira(t);
    }
    clickAndCheckKeys(t, s, 2, "EDDT_APP", 250, "KeyWait on, c1(2)");
    clickAndCheckKeys(t, s, 20, "EDDH_TWR", 250, "KeyWait on, c1(20)");
    stopStub(s);
    stopTovira(t);
}

struct VisFind {
    DWORD pid;
    HWND main;
    std::vector<std::wstring> extra;
};

BOOL CALLBACK visProc(HWND h, LPARAM lp) {
    auto* f = reinterpret_cast<VisFind*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    wchar_t cls[64] = L"";
    GetClassNameW(h, cls, 64);
    if (pid == f->pid && h != f->main && IsWindowVisible(h) &&
        _wcsicmp(cls, TOOLTIPS_CLASSW) != 0) {
        wchar_t title[128] = L"";
        GetWindowTextW(h, title, 128);
        f->extra.push_back(std::wstring(cls) + L" \"" + title + L"\"");
    }
    return TRUE;
}

void clickWithoutIvAc() {
    Tovira t;
    Stub other, prefixed;
    if (!startStaffed("no-ivac", t, standardCfg()) || !startStub(t.dir, L"Editor - notes", other)) {
        stopStub(other);
        return stopTovira(t);
    }
    // Nor does Aurora listen: the click ends in the reason, in a balloon.
    double stall = 0;
    clickForBalloon(t, 0, kAuroraNoAccess, stall);
    Sleep(800);  // well past the typing delay and four key steps
    std::vector<Key> ks = keys(other);
    check(ks.empty(), "no window titled \"IvAc\": nothing typed, got %zu key events", ks.size());
    // Beside the panel only the result balloon, which says why.
    const std::wstring said = balloon(t.p.pid);
    check(!said.empty(), "a balloon beside the button says why nothing was typed");
    say("the balloon says \"%s\"", u8(said).c_str());
    VisFind vf{t.p.pid, t.main, {}};
    EnumWindows(visProc, reinterpret_cast<LPARAM>(&vf));
    check(vf.extra.empty(),
          "no window shown besides the panel and its balloon, got %zu (first: %s)", vf.extra.size(),
          vf.extra.empty() ? "" : u8(vf.extra.front()).c_str());
    check(running(t.p) && text(item(t.main, id::Label5)) == L"1",
          "the program runs on after the ignored click");
    // A title that only begins with "IvAc" is the next best match.
    if (startStub(t.dir, L"IvAc - EDDT", prefixed))
        clickAndCheckKeys(t, prefixed, 20, "EDDH_TWR", 100, "title \"IvAc - EDDT\", c1(20)");
    check(keys(other).empty(), "the other window still received nothing");
    stopStub(prefixed);
    stopStub(other);
    stopTovira(t);
}

// ---------------------------------------------------------------- the handover's limits

size_t altTaps(const std::vector<Key>& ks) {
    return static_cast<size_t>(
        std::count_if(ks.begin(), ks.end(), [](const Key& k) { return k.wp == 0xE8; }));
}

// The texts of every station field and of the two edit boxes of the
// editing area: a key typed into the panel would change one of them.
std::vector<std::wstring> fields(const Tovira& t) {
    std::vector<std::wstring> v;
    for (int i = 0; i < 30; ++i) {
        v.push_back(text(item(t.main, 1200 + i)));  // t0(i), the name
        v.push_back(text(item(t.main, 1300 + i)));  // t1(i), the position
    }
    v.push_back(text(item(t.main, 2402)));  // Text2
    v.push_back(text(item(t.main, 2403)));  // Text3
    return v;
}

std::string firstDifference(const std::vector<std::wstring>& a,
                            const std::vector<std::wstring>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i])
            return "field " + std::to_string(i) + ": \"" + u8(a[i]) + "\" became \"" + u8(b[i]) +
                   "\"";
    }
    return "none";
}

// Types into Text3 and confirms with Enter, as the user does: the text goes
// through the edit control (its change notice) and Enter through WM_CHAR.
void confirmDelay(const Tovira& t, const wchar_t* value) {
    HWND box = item(t.main, 2403);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value), SMTO_NORMAL, 5000, &r);
    SendMessageTimeoutW(box, WM_CHAR, L'\r', 0, SMTO_NORMAL, 5000, &r);
    check(text(box) == value, "Text3 holds \"%s\", got \"%s\"", u8(value).c_str(),
          u8(text(box)).c_str());
}

bool startWithStub(const char* name, Tovira& t, const Cfg& cfg, Stub& ivac,
                   const std::wstring& ivacOptions) {
    return startStaffed(name, t, cfg) && startStub(t.dir, L"IvAc", ivac, ivacOptions);
}

void noClickNoKeys() {
    Tovira t;
    Stub s;
    if (!startWithStub("no-click", t, standardCfg(), s, L"")) {
        stopStub(s);
        return stopTovira(t);
    }
    click(item(t.main, id::Command2));  // the editing view, where Text3 is
    struct Round {
        const wchar_t* junk;
        int slot;
    };
    for (const Round& r : {Round{L"abc", 0}, Round{L"0", 2}}) {
        std::string junk = u8(r.junk);
        size_t before = keys(s).size();
        confirmDelay(t, r.junk);
        panelToFront(t);
        check(click(item(t.main, id::c1(r.slot))), "click on station button c1(%d)", r.slot);
        Sleep(500);  // five delays of the old 100 ms
        check(typingCount(keys(s), before) == 0, "delay \"%s\": a click types nothing, got %s",
              junk.c_str(), seen(keys(s), before).c_str());
        panelToFront(t);
        confirmDelay(t, L"100");
        Sleep(700);  // a whole sequence, had one started: 150 ms + 4 steps
        check(typingCount(keys(s), before) == 0,
              "delay \"%s\", a click, then \"100\" + Enter with no click: nothing typed, got %s",
              junk.c_str(), seen(keys(s), before).c_str());
        say("delay \"%s\", click on c1(%d), then \"100\" + Enter: %s typed", junk.c_str(), r.slot,
            seen(keys(s), before).c_str());
    }
    // The new delay holds from the next click on.
    panelToFront(t);
    clickAndCheckKeys(t, s, 10, "EDWW_CTR", 100, "after \"100\" + Enter, c1(10)");
    stopStub(s);
    stopTovira(t);
}

// Station A, then station B as soon as A's F4 arrives (the stand-in clicks
// it), with IvAc taking the foreground 300 ms late: today's activation wait
// for B spans A's next three key steps. Whatever A typed is a prefix of its
// own sequence, and B's follows whole. KeyWait is on so that the F4 returns
// only once the stand-in has clicked B: B's click then comes before A's next
// step, however busy the machine. Two ways of being late: IvAc's own notice
// window in front meanwhile (it counts as IvAc), or no window at all (the
// activation waits, and so must every event of the panel).
void doubleClickLate() {
    Cfg cfg = standardCfg();
    cfg.keywait = " 1 ";
    Tovira t;
    if (!startStaffed("double-click", t, cfg)) return stopTovira(t);
    const std::string a = "{F4}{DOWN}EDDT_TWR{ENTER}", b = "{F4}{DOWN}EDDT_APP{ENTER}";
    struct Round {
        const char* meanwhile;
        const wchar_t* handTo;
    };
    for (const Round& r :
         {Round{"IvAc's notice window", L""}, Round{"no window", L" --hand-to -"}}) {
        Stub s;
        const std::wstring opts =
            L"--late 300 --on-f4 click " + std::to_wstring(id::c1(2)) + r.handTo;
        if (!startStub(t.dir, L"IvAc", s, opts) || !panelToFront(t)) {
            stopStub(s);
            break;
        }
        double t0 = nowMs();
        check(click(item(t.main, id::c1(0))), "click on station button c1(0)");
        Typed typed;
        waitFor(
            [&] {
                // A's F4 is always there (it is what clicks B), so B's
                // sequence is the second F4 on.
                typed = spell(keys(s), 0);
                const std::string& g = typed.spelled;
                return g.find("{F4}", 1) != std::string::npos && g.size() >= b.size() &&
                       g.compare(g.size() - b.size(), b.size(), b) == 0;
            },
            4000, 25);
        Sleep(400);  // anything typed after B's Enter would show up now
        std::vector<Key> ks = keys(s);
        typed = spell(ks, 0);
        const std::string& got = typed.spelled;
        bool shape = got.size() >= b.size() &&
                     got.compare(got.size() - b.size(), b.size(), b) == 0 &&
                     a.compare(0, got.size() - b.size(), got, 0, got.size() - b.size()) == 0;
        check(shape, "%s meanwhile: IvAc receives a prefix of \"%s\", then \"%s\", got \"%s\"",
              r.meanwhile, a.c_str(), b.c_str(), got.c_str());
        std::string f4;
        size_t notice = 0;
        for (const Key& k : ks) {
            if (k.kind == "KEYDOWN" && k.wp == VK_F4)
                f4 += (f4.empty() ? "" : ", ") + std::to_string(static_cast<int>(k.ms - t0));
            if (typingKey(k) && k.win != "main") ++notice;
        }
        say("%s meanwhile: \"%s\" (%zu keys into the notice window); F4 at %s ms after the "
            "click on A",
            r.meanwhile, got.c_str(), notice, f4.c_str());
        stopStub(s);
    }
    stopTovira(t);
}

// KeyWait is on throughout: a send returns once the stand-in has handled
// the keys, so a foreground change that the stand-in makes at F4 falls
// between F4 and Down, however busy the machine.
void keysOnlyToIvac() {
    Cfg cfg = standardCfg();
    cfg.keywait = " 1 ";
    Tovira t;
    if (!startStaffed("foreground", t, cfg)) return stopTovira(t);
    const std::vector<std::wstring> before = fields(t);
    // 1: IvAc never takes the foreground; it hands it to the chat window.
    {
        Stub ivac, chat;
        if (startStub(t.dir, L"Chat", chat) &&
            startStub(t.dir, L"IvAc", ivac, L"--never --hand-to Chat") && panelToFront(t)) {
            check(click(item(t.main, id::c1(0))), "click on station button c1(0)");
            Sleep(1500);  // the activation wait, the delay and four steps, with room
            check(typingCount(keys(ivac)) == 0, "IvAc never in front: it receives nothing, got %s",
                  seen(keys(ivac)).c_str());
            check(typingCount(keys(chat)) == 0,
                  "IvAc never in front: the chat window in front receives nothing, got %s",
                  seen(keys(chat)).c_str());
            check(fields(t) == before, "IvAc never in front: Tovira's fields unchanged, %s",
                  firstDifference(before, fields(t)).c_str());
            say("IvAc never in front: IvAc got %s, the chat window %s (%zu Alt taps)",
                seen(keys(ivac)).c_str(), seen(keys(chat)).c_str(), altTaps(keys(chat)));
        }
        stopStub(ivac);
        stopStub(chat);
    }
    check(running(t.p), "the program runs on");
    // 2: another program comes to the front right after F4.
    {
        Stub ivac, chat;
        if (startStub(t.dir, L"Chat", chat) &&
            startStub(t.dir, L"IvAc", ivac, L"--on-f4 yield Chat") && panelToFront(t)) {
            check(click(item(t.main, id::c1(0))), "click on station button c1(0)");
            Sleep(1500);
            const std::string full = "{F4}{DOWN}EDDT_TWR{ENTER}";
            std::string got = spell(keys(ivac), 0).spelled;
            check(typingCount(keys(chat)) == 0,
                  "the chat window that came to the front after F4 receives nothing, got %s",
                  seen(keys(chat)).c_str());
            check(!got.empty() && full.compare(0, got.size(), got) == 0,
                  "IvAc receives a prefix of \"%s\", got \"%s\"", full.c_str(), got.c_str());
            check(fields(t) == before, "Tovira's fields unchanged, %s",
                  firstDifference(before, fields(t)).c_str());
            say("chat window in front after F4: IvAc got \"%s\", the chat window %s", got.c_str(),
                seen(keys(chat)).c_str());
        }
        stopStub(ivac);
        stopStub(chat);
    }
    stopTovira(t);
}

// Whether the stand-in's main window took the activation after `sinceMs`.
bool activatedSince(const Stub& s, double sinceMs) {
    std::string data;
    readFile(s.log, data);
    for (const std::string& l : lines(data)) {
        long long us = 0;
        char kind[32] = "", win[16] = "";
        unsigned on = 0, mods = 0;
        if (std::sscanf(l.c_str(), "%lld %31s 0x%x 0x%x %15s", &us, kind, &on, &mods, win) == 5 &&
            std::strcmp(kind, "ACTIVE") == 0 && on == 1 && std::strcmp(win, "main") == 0 &&
            static_cast<double>(us) / 1000.0 >= sinceMs)
            return true;
    }
    return false;
}

// The user holds a modifier (Ctrl for push-to-talk) while the sequence is
// due: its keys wait and then arrive without the modifier; held past 10 s,
// the sequence ends untyped and a balloon beside the button says so. The
// modifier goes down once IvAc has taken the activation and settled, well
// before the first key: when the X input focus moves, Wine's X11 driver
// resets the modifiers to what the X server holds, which forgets one pressed
// with SendInput.
void modifierHeld() {
    constexpr int kDelay = 1000;
    Cfg cfg = standardCfg();
    cfg.delay = std::to_string(kDelay);
    Tovira t;
    Stub s;
    if (!startWithStub("modifier", t, cfg, s, L"")) {
        stopStub(s);
        return stopTovira(t);
    }
    struct Round {
        const char* name;
        WORD vk;
        unsigned bit;   // in the stand-in's log
        int pastDueMs;  // held this long past the moment the first step is due
        int slot;
        const char* position;
    };
    for (const Round& r : {Round{"Ctrl", VK_CONTROL, 2, 500, 0, "EDDT_TWR"},
                           Round{"Ctrl", VK_CONTROL, 2, 5000, 2, "EDDT_APP"},
                           Round{"Ctrl", VK_CONTROL, 2, 11000, 0, "EDDT_TWR"}}) {
        panelToFront(t);
        size_t before = keys(s).size();
        double t0 = nowMs();
        check(click(item(t.main, id::c1(r.slot))), "click on station button c1(%d)", r.slot);
        // The delay runs from the end of the click's handling, which
        // includes the activation.
        const double due = nowMs() + kDelay + 50;  // the first step
        check(waitFor([&] { return activatedSince(s, t0); }, 800, 5), "IvAc comes to the front");
        Sleep(150);
        holdKey(r.vk, true);
        double down = nowMs();
        check(down < due - 100,
              "%s goes down before the first step is due, %.0f ms after the click", r.name,
              down - t0);
        const double release = due + r.pastDueMs;
        // Repeated while held, as a keyboard does: should Wine's X11 driver
        // reset the modifiers meanwhile, the key is down again at once.
        while (nowMs() < release) {
            Sleep(static_cast<DWORD>(std::min(30.0, std::max(0.0, release - nowMs()))));
            if (nowMs() < release) holdKey(r.vk, true);
        }
        check((GetAsyncKeyState(r.vk) & 0x8000) != 0, "%s is still held before its release",
              r.name);
        const std::wstring said = balloon(t.p.pid);
        if (r.pastDueMs > 10000) {
            check(!said.empty(), "%s held past 10 s: a balloon shows why", r.name);
            say("%s held past 10 s: the balloon says \"%s\"", r.name, u8(said).c_str());
        } else {
            check(said.empty(), "%s held: no balloon, got \"%s\"", r.name, u8(said).c_str());
        }
        double up = nowMs();
        holdKey(r.vk, false);
        std::vector<Key> ks;
        if (r.pastDueMs < 10000) {
            const std::string want = std::string("{F4}{DOWN}") + r.position + "{ENTER}";
            waitFor([&] { return spell(keys(s), before).spelled.size() >= want.size(); }, 3000, 25);
            Sleep(300);
            ks = keys(s);
            Typed typed = spell(ks, before);
            check(typed.spelled == want, "%s held %.0f ms: keys arrive as \"%s\", got \"%s\"",
                  r.name, up - down, want.c_str(), typed.spelled.c_str());
            check(typed.t[0] >= up, "%s held: the first key waits for the release, came %.0f ms %s",
                  r.name, std::abs(typed.t[0] - up), typed.t[0] >= up ? "after" : "before it");
            check(typed.t[0] >= 0 && typed.t[0] - up <= 1000,
                  "%s held: the first key soon after the release, came %.0f ms after it", r.name,
                  typed.t[0] - up);
            say("%s held %.0f ms from %.0f ms after the click: first key %.0f ms after the click",
                r.name, up - down, down - t0, typed.t[0] - t0);
        } else {
            Sleep(1000);
            ks = keys(s);
            check(typingCount(ks, before) == 0, "%s held %.0f ms: nothing typed, got %s", r.name,
                  up - down, seen(ks, before).c_str());
            say("%s held %.0f ms: %s typed", r.name, up - down, seen(ks, before).c_str());
        }
        // Shift may come from the capitals of the position itself.
        unsigned mods = 0;
        for (size_t i = before; i < ks.size(); ++i)
            if (typingKey(ks[i])) mods |= ks[i].mods;
        check((mods & r.bit) == 0, "%s held: no key arrives with %s, got modifiers 0x%x", r.name,
              r.name, mods);
    }
    stopStub(s);
    stopTovira(t);
}

// A hand presses station B while station A is being typed and keeps the
// button down across A's steps: no step runs under the press, the panel
// does not take the keyboard, and the release, a click during typing,
// hands B over whole.
void pressDuringTyping() {
    Tovira t;
    Stub s;
    if (!startWithStub("press", t, standardCfg(), s, L"")) {
        stopStub(s);
        return stopTovira(t);
    }
    const std::string a = "{F4}{DOWN}EDDT_TWR{ENTER}", b = "{F4}{DOWN}EDDT_APP{ENTER}";
    for (int hold : {120, 300, 480}) {
        size_t before = keys(s).size();
        check(click(item(t.main, id::c1(0))), "click on station button c1(0)");
        check(waitFor([&] { return spell(keys(s), before).t[0] >= 0; }, 3000, 2), "A's F4 arrives");
        double down = 0, up = 0;
        pressAt(item(t.main, id::c1(2)), hold, down, up);
        const bool front = GetForegroundWindow() != t.main;
        check(front, "held %d ms: the press leaves the keyboard where it was", hold);
        waitFor([&] { return spell(keys(s), before).spelled.size() >= b.size() + 4; }, 3000, 25);
        Sleep(400);
        const std::vector<Key> ks = keys(s);
        const std::string got = spell(ks, before).spelled;
        const size_t at = got.rfind("{F4}");
        const std::string first = at == std::string::npos ? got : got.substr(0, at);
        const std::string last = at == std::string::npos ? "" : got.substr(at);
        check(at != std::string::npos && at > 0 && a.compare(0, first.size(), first) == 0,
              "held %d ms: A typed a prefix of \"%s\", got \"%s\"", hold, a.c_str(), got.c_str());
        check(last == b, "held %d ms: the pressed station follows whole, got \"%s\"", hold,
              got.c_str());
        // No step begins under the press. A step's keys go out together;
        // one sent as the press went down may reach the stand-in a little
        // later, when the machine is busy: at most one, early.
        double firstB = -1;
        bool afterDown = false;
        int early = 0;
        for (size_t i = before; i < ks.size(); ++i) {
            const Key& k = ks[i];
            if (k.kind != "KEYDOWN" || !typingKey(k)) continue;
            const bool named = k.wp == VK_F4 || k.wp == VK_DOWN || k.wp == VK_RETURN;
            if ((named || afterDown) && k.ms >= down && k.ms <= up) {
                check(k.ms < down + 60 && ++early == 1,
                      "held %d ms: a step began under the press: 0x%x %.0f ms after it", hold, k.wp,
                      k.ms - down);
            }
            afterDown = k.wp == VK_DOWN;
            if (k.wp == VK_F4 && k.ms > down) firstB = k.ms;
        }
        if (firstB > 0) {
            char fig[160];
            std::snprintf(fig, sizeof fig,
                          "held %d ms: press to B's F4 %.0f ms, release to it %.0f ms", hold,
                          firstB - down, firstB - up);
            g_pressFig.restart.push_back(fig);
            say("%s", fig);
        }
        Sleep(300);
    }
    stopStub(s);
    stopTovira(t);
}

// Shift+Tab twice in the editing view while a step waits for the Shift:
// the program runs on, the focus where the user put it, and the keys follow
// the release.
void shiftTabInWait() {
    constexpr int kDelay = 1000;
    Cfg cfg = standardCfg();
    cfg.delay = std::to_string(kDelay);
    Tovira t;
    Stub s;
    if (!startWithStub("shift-tab", t, cfg, s, L"")) {
        stopStub(s);
        return stopTovira(t);
    }
    click(item(t.main, id::Command2));  // the editing view
    size_t before = keys(s).size();
    check(click(item(t.main, id::c1(0))), "click on station button c1(0)");
    const double due = nowMs() + kDelay + 50;
    panelToFront(t);
    double down = 0, up = 0;
    pressAt(item(t.main, id::t1(5)), 60, down, up);  // into a field
    Sleep(250);                                      // the focus settles
    const DWORD thread = GetWindowThreadProcessId(t.main, nullptr);
    auto focus = [&] {
        GUITHREADINFO gi{};
        gi.cbSize = sizeof gi;
        return GetGUIThreadInfo(thread, &gi) ? gi.hwndFocus : nullptr;
    };
    check(focus() == item(t.main, id::t1(5)), "the click puts the focus into t1(5)");
    holdKey(VK_SHIFT, true);
    for (int i = 0; i < 2; ++i) {
        holdKey(VK_TAB, true);
        holdKey(VK_TAB, false);
        Sleep(40);
    }
    // Held until well past the first step, repeated as a keyboard does.
    while (nowMs() < due + 600) {
        Sleep(30);
        holdKey(VK_SHIFT, true);
    }
    // Before the release: then IvAc comes back and takes the keyboard.
    check(focus() == item(t.main, id::t1(4)),
          "the focus is in t1(4), where Shift+Tab put it, got the control %d",
          GetDlgCtrlID(focus()));
    check(spell(keys(s), before).spelled.empty(), "nothing typed while Shift is held");
    holdKey(VK_SHIFT, false);
    Sleep(300);
    check(running(t.p), "the program runs on");
    const std::string want = "{F4}{DOWN}EDDT_TWR{ENTER}";
    waitFor([&] { return spell(keys(s), before).spelled.size() >= want.size(); }, 3000, 25);
    check(spell(keys(s), before).spelled == want, "the keys follow the release, got \"%s\"",
          spell(keys(s), before).spelled.c_str());
    stopStub(s);
    stopTovira(t);
}

}  // namespace e2e
