// The IvAc stand-in's key log read back: what reached it, what that spells,
// and the one check of a whole handover by keys. Used by the IvAc scenarios
// and by those of other areas that hand over to IvAc on the way.
#pragma once

#include "harness.h"

namespace e2e {

struct Key {
    double ms;
    std::string kind;
    unsigned wp;
    unsigned mods = 0;         // 1 Shift, 2 Ctrl, 4 Alt, 8 Win, as the stand-in saw them
    std::string win = "main";  // "main" or the stand-in's "notice" window
};

// The key events of the stand-in's log (its activation lines left out).
std::vector<Key> keys(const Stub& s);

// What a key sequence spells, and when its four steps began.
struct Typed {
    std::string spelled;  // "{F4}{DOWN}EDDT_TWR{ENTER}"
    double t[4] = {-1, -1, -1, -1};
};
Typed spell(const std::vector<Key>& ks, size_t from);

// Keys that type, as opposed to the modifiers the driver holds and the
// backend's Alt tap past the foreground lock.
bool typingKey(const Key& k);
// What reached a window from `from` on, for messages.
std::string seen(const std::vector<Key>& ks, size_t from = 0);
size_t typingCount(const std::vector<Key>& ks, size_t from = 0);

// Clicks station button `slot` and checks that its position arrives at the
// stand-in, in order and paced; returns the moment the Enter arrived.
double clickAndCheckKeys(Tovira& t, Stub& s, int slot, const std::string& position, int delayMs,
                         const char* label);

}  // namespace e2e
