// A simulated Aurora: its access for other programs on 127.0.0.1, answering
// in the shapes a live Aurora sends: each answer echoes its command without
// a final ";" (#CONN, #SELTFC, #ATC, #ATCT, #TRPOS, #TRTR), refusals read
// "@ERR;#<CMD>;<args>;<message>", and a transfer shows in the traffic's
// position record (#TRPOS fields 12 and 13) one radar cycle after it.
// Misbehaviour on demand: other answers, silence, answers split, lines
// nobody asked for, a closed connection, refusal, a connection never
// accepted, one command answered late. Like Aurora it takes several
// programs' connections at once, each its own conversation.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backends/sim/sim_platform.h"

namespace tovira::sim {

struct SimAurora {
    enum class Access { On, Refused, NeverAccepted };
    // What a transfer changes in the position record, a radar cycle later.
    enum class Writes { Next, Assumed, Nothing };
    struct Traffic {
        std::string assumed;  // field 12: the station that has assumed it
        std::string next;     // field 13: the next station
        // A transfer not yet on the radar: its station and when it shows.
        std::string pending;
        Millis pending_at = 0;
    };

    Access access = Access::On;
    std::string own = "EDDT_APP";     // the controller's station (#CONN)
    std::string selected = "DLH4CW";  // empty: nothing selected
    std::vector<std::string> stations = {"EDDT_TWR:120.505", "EDDT_APP:119.625", "EDBB_CTR:127.175",
                                         "EDDT_GND:121.855"};       // #ATC
    std::vector<std::string> transfer_list = {"EDDT_TWR:120.505"};  // #ATCT
    // Known traffic by callsign; DLH4CW assumed by the controller.
    std::map<std::string, Traffic> traffic = {{"DLH4CW", {"EDDT_APP", "", "", 0}}};
    Writes writes = Writes::Next;
    Millis radar_cycle = 2000;
    bool echo_station = true;  // the #TRTR echo names the station too
    Millis delay = 2;          // from a packet to its answer
    // By command ("ATC"): from the packet to its answer instead of `delay`.
    std::map<std::string, Millis> delay_for;
    // By command ("SELTFC", "TRTR"): the bytes sent instead of the answer,
    // line ends included; empty: silence.
    std::map<std::string, std::string> answer_for;
    // By command: the connection is closed instead of an answer.
    std::vector<std::string> close_on;
    // By command: the connection closes this long after the answer, with
    // nothing asked (Aurora ending between two requests).
    std::map<std::string, Millis> close_after;
    std::string before;                 // bytes sent ahead of every answer
    std::string after;                  // bytes sent 1 ms after every answer
    bool split = false;                 // each answer arrives in two parts, 1 ms apart
    std::vector<std::string> received;  // every line received, in order
    std::function<void(const std::string& line)> on_line;  // as each arrives
    int transfers() const;                                 // #TRTR lines received
    // Lines received with this command ("TRPOS").
    int count(const std::string& command) const;
};

// Puts `aurora` on 127.0.0.1 (any port) of `sim`.
void install_aurora(SimPlatform& sim, const std::shared_ptr<SimAurora>& aurora);

}  // namespace tovira::sim
