// The IvAc stand-in's key log read back: see ivac_keys.h.
#include "ivac_keys.h"

#include <cstdio>
#include <cstring>

namespace e2e {

std::vector<Key> keys(const Stub& s) {
    std::string data;
    readFile(s.log, data);
    std::vector<Key> out;
    for (const std::string& l : lines(data)) {
        long long us = 0;
        char kind[32] = "", win[16] = "main";
        unsigned wp = 0, mods = 0;
        if (std::sscanf(l.c_str(), "%lld %31s 0x%x 0x%x %15s", &us, kind, &wp, &mods, win) < 3)
            continue;
        if (std::strcmp(kind, "READY") == 0 || std::strcmp(kind, "ACTIVE") == 0) continue;
        out.push_back({static_cast<double>(us) / 1000.0, kind, wp, mods, win});
    }
    return out;
}

Typed spell(const std::vector<Key>& ks, size_t from) {
    Typed r;
    for (size_t i = from; i < ks.size(); ++i) {
        const Key& k = ks[i];
        if (k.kind == "KEYDOWN") {
            if (k.wp == VK_F4) {
                r.spelled += "{F4}";
                if (r.t[0] < 0) r.t[0] = k.ms;
            } else if (k.wp == VK_DOWN) {
                r.spelled += "{DOWN}";
                if (r.t[1] < 0) r.t[1] = k.ms;
            } else if (k.wp == VK_RETURN) {
                r.spelled += "{ENTER}";
                if (r.t[3] < 0) r.t[3] = k.ms;
            } else if (r.t[1] >= 0 && r.t[2] < 0) {
                r.t[2] = k.ms;  // the first key of the position
            }
        } else if (k.kind == "CHAR" && k.wp >= 0x20) {
            r.spelled += static_cast<char>(k.wp < 0x80 ? k.wp : '?');
        }
    }
    return r;
}

double clickAndCheckKeys(Tovira& t, Stub& s, int slot, const std::string& position, int delayMs,
                         const char* label) {
    size_t before = keys(s).size();
    HWND b = item(t.main, id::c1(slot));
    double t0 = nowMs();
    check(click(b), "click on station button c1(%d)", slot);
    std::string want = "{F4}{DOWN}" + position + "{ENTER}";
    Typed typed;
    waitFor(
        [&] {
            typed = spell(keys(s), before);
            return typed.spelled.size() >= want.size();
        },
        5000 + delayMs, 25);
    Sleep(300);  // anything typed after the Enter would show up now
    typed = spell(keys(s), before);
    check(typed.spelled == want, "%s: keys arrive as \"%s\", got \"%s\"", label, want.c_str(),
          typed.spelled.c_str());
    if (typed.t[0] < 0 || typed.t[1] < 0 || typed.t[2] < 0 || typed.t[3] < 0) return -1;
    double latency = typed.t[0] - t0;
    double d[3] = {typed.t[1] - typed.t[0], typed.t[2] - typed.t[1], typed.t[3] - typed.t[2]};
    say("%s: click to F4 %.1f ms (typing delay %d ms + 50 ms), steps %.1f / %.1f / %.1f ms", label,
        latency, delayMs, d[0], d[1], d[2]);
    char fig[96];
    std::snprintf(fig, sizeof fig, "%.1f ms (delay %d ms, %s)", latency, delayMs, label);
    g_fig.latencies.push_back(fig);
    // Bounds wide enough for a loaded machine; the figures above say how close it is.
    check(latency >= delayMs + 30 && latency <= delayMs + 50 + 1500,
          "%s: first key %.1f ms after the click, expected about %d ms", label, latency,
          delayMs + 50);
    for (double x : d) {
        g_fig.steps.push_back(x);
        check(x >= 10 && x <= 1500, "%s: key steps about 50 ms apart, got %.1f ms", label, x);
    }
    return typed.t[3];
}

// Keys of a sequence, as opposed to the modifiers the driver holds and the
// Alt tap with the unassigned key 0xE8 that the backend uses to get past the
// foreground lock: those type nothing.
bool typingKey(const Key& k) {
    if (k.kind == "CHAR") return true;
    switch (k.wp) {
        case VK_SHIFT:
        case VK_CONTROL:
        case VK_MENU:
        case VK_LSHIFT:
        case VK_RSHIFT:
        case VK_LCONTROL:
        case VK_RCONTROL:
        case VK_LMENU:
        case VK_RMENU:
        case VK_LWIN:
        case VK_RWIN:
        case 0xE8: return false;
        default: return true;
    }
}

// What reached a window, for messages: the spelled keys, or the raw events
// when they spell nothing.
std::string seen(const std::vector<Key>& ks, size_t from) {
    std::string out;
    for (size_t i = from; i < ks.size(); ++i) {
        if (!typingKey(ks[i])) continue;
        char b[48];
        std::snprintf(b, sizeof b, "%s%s 0x%x", out.empty() ? "" : ", ", ks[i].kind.c_str(),
                      ks[i].wp);
        out += b;
    }
    std::string spelled = spell(ks, from).spelled;
    return out.empty() ? "nothing" : spelled.empty() ? out : "\"" + spelled + "\"";
}

size_t typingCount(const std::vector<Key>& ks, size_t from) {
    size_t n = 0;
    for (size_t i = from; i < ks.size(); ++i) n += typingKey(ks[i]) ? 1 : 0;
    return n;
}

}  // namespace e2e
