#include "platform/sim/sim_aurora.h"

#include <algorithm>

namespace tovira::sim {

int SimAurora::transfers() const {
    return static_cast<int>(
        std::count_if(received.begin(), received.end(),
                      [](const std::string& l) { return l.starts_with("#TRTR"); }));
}

namespace {

std::vector<Chunk> answer_line(SimAurora& a, const std::string& line) {
    a.received.push_back(line);
    if (a.on_line) a.on_line(line);
    const std::size_t semi = line.find(';');
    const std::string command = line.substr(1, semi == std::string::npos ? semi : semi - 1);
    if (std::find(a.close_on.begin(), a.close_on.end(), command) != a.close_on.end()) {
        return {Chunk{a.delay, {}, true}};
    }
    std::string answer;
    if (auto it = a.answer_for.find(command); it != a.answer_for.end()) {
        answer = it->second;
    } else if (command == "SELTFC") {
        answer = "#SELTFC;" + a.selected + ";\r\n";
    } else if (command == "TRTR") {
        answer = line + "\r\n";
    } else {
        answer = "@ERR;Unknown command\r\n";
    }
    if (answer.empty()) return {};
    answer = a.before + answer;
    if (!a.split) return {Chunk{a.delay, answer}};
    const std::size_t half = answer.size() / 2;
    return {Chunk{a.delay, answer.substr(0, half)}, Chunk{a.delay + 1, answer.substr(half)}};
}

}  // namespace

void install_aurora(SimPlatform& sim, const std::shared_ptr<SimAurora>& aurora) {
    PeerScript script;
    script.refuses = aurora->access == SimAurora::Access::Refused;
    script.never_accepts = aurora->access == SimAurora::Access::NeverAccepted;
    script.connect_delay = 1;
    script.close_after.reset();
    auto buffer = std::make_shared<std::string>();
    script.converse = [aurora, buffer](std::string_view sent) {
        buffer->append(sent);
        std::vector<Chunk> out;
        for (std::size_t lf; (lf = buffer->find("\r\n")) != std::string::npos;) {
            const std::string line = buffer->substr(0, lf);
            buffer->erase(0, lf + 2);
            for (Chunk& c : answer_line(*aurora, line)) out.push_back(std::move(c));
        }
        return out;
    };
    sim.peers["127.0.0.1"] = std::move(script);
}

}  // namespace tovira::sim
