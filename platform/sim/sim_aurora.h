// A simulated Aurora: its access for other programs on 127.0.0.1, holding
// a conversation as the real one does (a selected traffic, #SELTFC,
// #TRTR echoed, "@ERR" for an unknown command), or misbehaving on demand:
// errors, silence, answers split or joined, other programs' lines, a
// closed connection, refusal, a connection never accepted.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace tovira::sim {

struct SimAurora {
    enum class Access { On, Refused, NeverAccepted };
    Access access = Access::On;
    std::string selected = "DLH4CW";  // empty: nothing selected
    Millis delay = 2;                 // from a packet to its answer
    // By command ("SELTFC", "TRTR"): the bytes sent instead of the answer,
    // line ends included; empty: silence.
    std::map<std::string, std::string> answer_for;
    // By command: the connection is closed instead of an answer.
    std::vector<std::string> close_on;
    std::string before;                 // bytes sent ahead of every answer
    bool split = false;                 // each answer arrives in two parts, 1 ms apart
    std::vector<std::string> received;  // every line received, in order
    std::function<void(const std::string& line)> on_line;  // as each arrives
    int transfers() const;                                 // #TRTR lines received
};

// Puts `aurora` on 127.0.0.1 (any port) of `sim`.
void install_aurora(SimPlatform& sim, const std::shared_ptr<SimAurora>& aurora);

}  // namespace tovira::sim
