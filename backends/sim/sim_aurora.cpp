#include "backends/sim/sim_aurora.h"

#include <algorithm>

namespace tovira::sim {

namespace {

std::string command_of(const std::string& line) {
    const std::size_t semi = line.find(';');
    return line.substr(1, semi == std::string::npos ? semi : semi - 1);
}

std::vector<std::string> args_of(const std::string& line) {
    std::vector<std::string> out;
    std::size_t at = line.find(';');
    while (at != std::string::npos && at + 1 < line.size()) {
        const std::size_t semi = line.find(';', at + 1);
        out.push_back(line.substr(at + 1, semi == std::string::npos ? semi : semi - at - 1));
        at = semi;
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const std::string& p : parts) out += ";" + p;
    return out;
}

std::string refusal(const std::string& command, const std::vector<std::string>& args,
                    const std::string& message) {
    return "@ERR;#" + command + joined(args) + ";" + message + "\r\n";
}

// The position record: the callsign, then 21 fields; 12 and 13 as the radar
// last showed them.
std::string position_record(const std::string& callsign, SimAurora::Traffic& t,
                            SimAurora::Writes writes, Millis now) {
    if (!t.pending.empty() && now >= t.pending_at) {
        if (writes == SimAurora::Writes::Next) t.next = t.pending;
        if (writes == SimAurora::Writes::Assumed) t.assumed = t.pending;
        t.pending.clear();
    }
    std::vector<std::string> f = {callsign, "52.5597", "13.2877", "3500", "250", "180",
                                  "2000",   "A320",    "EDDF",    "EDDT", "IFR", "1234"};
    f.push_back(t.assumed);
    f.push_back(t.next);
    for (int i = 14; i <= 21; ++i) f.push_back(i == 14 ? "FL100" : i == 21 ? "0" : "");
    return "#TRPOS" + joined(f) + "\r\n";
}

std::string answer(SimAurora& a, const std::string& line, Millis now) {
    const std::string command = command_of(line);
    const std::vector<std::string> args = args_of(line);
    if (auto it = a.answer_for.find(command); it != a.answer_for.end()) return it->second;
    if (command == "CONN") return "#CONN;" + a.own + "\r\n";
    if (command == "SELTFC") return "#SELTFC;" + a.selected + "\r\n";
    if (command == "ATC") return "#ATC" + joined(a.stations) + "\r\n";
    if (command == "ATCT") return "#ATCT" + joined(a.transfer_list) + "\r\n";
    if (command == "TRPOS" || command == "TRTR") {
        const std::size_t needed = command == "TRPOS" ? 1 : 2;
        auto it = args.empty() ? a.traffic.end() : a.traffic.find(args[0]);
        if (args.size() < needed || it == a.traffic.end() || args[needed - 1].empty())
            return refusal(command, args, "Incomplete data in command");
        if (command == "TRPOS") return position_record(it->first, it->second, a.writes, now);
        if (it->second.assumed != a.own) return refusal(command, args, "Traffic not assumed.");
        it->second.pending = args[1];
        it->second.pending_at = now + a.radar_cycle;
        return "#TRTR;" + args[0] + (a.echo_station ? ";" + args[1] : "") + "\r\n";
    }
    return refusal(command, args, "Unknown command");
}

std::vector<Chunk> answer_line(SimAurora& a, const std::string& line, Millis now) {
    a.received.push_back(line);
    if (a.on_line) a.on_line(line);
    const std::string command = command_of(line);
    if (std::find(a.close_on.begin(), a.close_on.end(), command) != a.close_on.end()) {
        return {Chunk{a.delay, {}, true}};
    }
    std::string text = answer(a, line, now);
    if (text.empty()) return {};
    text = a.before + text;
    const auto late = a.delay_for.find(command);
    const Millis delay = late == a.delay_for.end() ? a.delay : late->second;
    std::vector<Chunk> out;
    if (!a.split) {
        out.push_back(Chunk{delay, text});
    } else {
        const std::size_t half = text.size() / 2;
        out.push_back(Chunk{delay, text.substr(0, half)});
        out.push_back(Chunk{delay + 1, text.substr(half)});
    }
    if (!a.after.empty()) out.push_back(Chunk{out.back().after + 1, a.after});
    if (auto it = a.close_after.find(command); it != a.close_after.end()) {
        out.push_back(Chunk{out.back().after + it->second, {}, true});
    }
    return out;
}

}  // namespace

int SimAurora::transfers() const {
    return count("TRTR");
}

int SimAurora::count(const std::string& command) const {
    return static_cast<int>(
        std::count_if(received.begin(), received.end(), [&](const std::string& l) {
            return l.size() > command.size() && l.compare(1, command.size(), command) == 0 &&
                   (l.size() == command.size() + 1 || l[command.size() + 1] == ';');
        }));
}

void install_aurora(SimPlatform& sim, const std::shared_ptr<SimAurora>& aurora) {
    PeerScript script;
    script.refuses = aurora->access == SimAurora::Access::Refused;
    script.never_accepts = aurora->access == SimAurora::Access::NeverAccepted;
    script.connect_delay = 1;
    script.close_after.reset();
    SimPlatform* simp = &sim;
    // Each connection takes its own copy of the conversation, and so its
    // own unfinished line.
    script.converse = [aurora, buffer = std::string(), simp](std::string_view sent) mutable {
        buffer.append(sent);
        std::vector<Chunk> out;
        for (std::size_t lf; (lf = buffer.find("\r\n")) != std::string::npos;) {
            const std::string line = buffer.substr(0, lf);
            buffer.erase(0, lf + 2);
            for (Chunk& c : answer_line(*aurora, line, simp->now())) out.push_back(std::move(c));
        }
        return out;
    };
    sim.peers["127.0.0.1"] = std::move(script);
}

}  // namespace tovira::sim
