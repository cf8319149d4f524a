// The online check: `getwhazz` fetches the status index and then the status
// file; `checkwhazz` finds each slot's position in it and records whether
// the station is online, its frequency and the controller's name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovira {

class Form1;

struct StatusServer {
    std::string host;
    std::string path;
    bool found = false;
};

// The first url line from the second line on, split at the first "aero".
StatusServer find_status_server(std::string_view index);

// Finds the first occurrence of each key in a text, ignoring ASCII case, in
// one pass over the text. npos where a key does not occur.
class KeySearch {
public:
    explicit KeySearch(const std::vector<std::string>& keys);
    std::vector<std::size_t> find_first(std::string_view text) const;

private:
    struct Node {
        std::array<std::int32_t, 256> next;
        std::int32_t fail = 0;
        std::vector<std::int32_t> outputs;  // key indexes ending here
    };
    std::vector<Node> nodes_;
    std::size_t key_count_ = 0;
};

struct StationRecord {
    bool online = false;
    std::string name;       // field 2, 8-bit code page
    std::string frequency;  // field 4 as shown: "118.700" becomes "118.7"
};

// The record fields after a match at `at`; missing fields are empty.
StationRecord read_record(std::string_view text, std::size_t at);

class StatusMonitor {
public:
    explicit StatusMonitor(Form1& form) : form_(form) {}

    void getwhazz();
    void checkwhazz();

    std::string whazztext;  // 8-bit code page
    std::uint64_t updatenr = 0;

private:
    Form1& form_;
};

}  // namespace tovira
