// The online check: `getwhazz` fetches the status index and then the status
// file; `checkwhazz` finds each slot's position in it and records whether
// the station is online, its frequency and the controller's name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "aurora/aurora_stations.h"
#include "config/station_table.h"
#include "controls/controls.h"
#include "monitor/addresses.h"
#include "monitor/feed_route.h"
#include "monitor/helper_watch.h"
#include "platform/platform.h"

namespace tovira {

class FormWindow;
class InetControl;
class MenuNotices;
class MyInet;

struct StatusServer {
    std::string host;
    std::string path;
    bool found = false;  // a url line with "aero" at character 13 or later
};

// The first url line from the second line on (lines end with CR LF): the
// host runs from character 13 up to and including the first "aero", the
// path is the rest of the line.
StatusServer find_status_server(std::string_view index);

// Finds the first occurrence of each key in a text, ignoring ASCII case, in
// one pass over the text. npos where a key does not occur; an empty key
// never occurs. Matches are found at their last byte and confirmed by walking
// a trie of the reversed keys backwards, so the scan only stops where a key
// can end; when all keys end in the same byte (the ":" after a callsign),
// the scan tests sixteen bytes at a time where the processor allows.
class KeySearch {
public:
    explicit KeySearch(const std::vector<std::string>& keys);
    std::vector<std::size_t> find_first(std::string_view text) const;

private:
    static constexpr int kMaxPrevSet = 8;
    // Records every key ending at `end`; returns the keys still missing.
    std::size_t confirm(std::string_view text, std::size_t end, std::vector<std::size_t>& first,
                        std::size_t missing) const;
    void scan_bytes(std::string_view text, std::size_t from, std::vector<std::size_t>& first,
                    std::size_t& missing) const;

    // The trie's rows have one column per distinct folded byte of the keys
    // (column 0: a byte in no key), which keeps the table small.
    std::uint8_t column_[256] = {};
    std::size_t width_ = 1;
    std::vector<std::int32_t> next_;                   // node * width_ + column: child, 0 = none
    std::vector<std::vector<std::uint32_t>> outputs_;  // keys that end at a node
    std::size_t key_count_ = 0;
    std::size_t searchable_ = 0;  // non-empty keys
    bool is_last_[256] = {};      // the byte can end a key
    bool is_prev_[256] = {};      // the byte can come just before a key's last byte
    bool prev_filter_ = false;    // every key has at least two bytes
    // Fast path: one common last byte, and few distinct bytes before it.
    bool one_last_ = false;
    unsigned char last_ = 0;  // folded
    bool last_is_letter_ = false;
    int prev_count_ = 0;                        // 0: no filter on the byte before
    unsigned char prev_set_[kMaxPrevSet] = {};  // folded, with bit 0x20 set
};

struct StationRecord {
    bool online = false;
    std::string name;  // field 2, 8-bit code page
    // Field 4 as shown: zeros from the sixth character on are cut, so
    // "118.700" becomes "118.7" while "118.705" stays.
    std::string frequency;
};

// A frequency as the panel shows it: zeros from the sixth character on are
// cut when nothing else follows, so "118.700" shows as "118.7".
std::string shown_frequency(std::string_view frequency);

// The record fields after a match at `at`: field n lies between the n-th and
// the (n+1)-th colon at or after `at`. A field whose colons are not both
// there (a file cut short) is empty.
StationRecord read_record(std::string_view text, std::size_t at);

// The callsign of the record whose key (`key_size` bytes, its ":" last)
// matched at `at`: the field that ends with that ":", from the field or line
// before it. "DDT_TWR:" found inside "EDDT_TWR:" gives "EDDT_TWR".
std::string_view record_callsign(std::string_view text, std::size_t at, std::size_t key_size);

class StatusMonitor {
public:
    // What the online check reads and writes.
    struct Uses {
        platform::Platform& platform;
        FormWindow& window;                                 // active flags, unloaded
        const ControlArray<CommandButton, kSlotCount>& c1;  // tool tips: the controllers
        const ControlArray<Label, kSlotCount>& l1;          // online labels: frequencies
        const ControlArray<TextBox, kFieldRows>& t1;        // positions looked for
        Label& Label5;                                      // update number
        Label& Label8;                                      // " Loading ..." notice
        InetControl& Inet1;                                 // the status index
        InetControl& feed_inet;                             // the current feed
        MenuNotices& notices;                               // a helper that cannot start
        const AuroraCurrentList& aurora;                    // the stations Aurora lists now
    };

    explicit StatusMonitor(const Uses& uses);
    ~StatusMonitor();
    StatusMonitor(const StatusMonitor&) = delete;
    StatusMonitor& operator=(const StatusMonitor&) = delete;

    void getwhazz();
    void checkwhazz();
    // True while `getwhazz` waits for a server.
    bool fetching() const { return fetching_; }
    // The HTTP client of the status file, created by the first status
    // download.
    MyInet& my_inet();

    // The station a click on `slot` hands over to: the callsign of the
    // record the slot matched at the last update where the match is that
    // record's callsign field (it equals the position or ends with it; the
    // alias: EDBB_CTR for EDBB_N_CTR), else (no such match, or the position
    // edited since) the position upper-cased. UTF-8.
    std::string station_for(int slot) const;

    // Between updates, Aurora's current list for each slot whose online
    // state (found in the status file at the last update, or listed by
    // Aurora now) changed since the last check or refresh: its flag, label
    // and tool tip as the online check gives them. True when a flag
    // changed; the caller runs the layout. Without `apply` only the online
    // states are recorded: nothing on screen changes.
    bool aurora_refreshed(bool apply = true);

    std::string whazztext;  // 8-bit code page
    std::uint64_t updatenr = 0;
    // Set before the window loads; the built-in addresses by default.
    MonitorAddresses addresses;

private:
    // The fetches of `getwhazz`.
    void fetch_status();
    // The current feed as status records, or nullopt when it cannot stand in.
    std::optional<std::string> fetch_feed(platform::Millis update_start);
    // Tells the user of a helper that keeps failing to start.
    void watch_helper();

    Uses f_;
    bool fetching_ = false;
    std::unique_ptr<MyInet> my_inet_;
    FeedRoute route_;
    HelperWatch helper_watch_;
    struct Matched {
        std::string position;  // the text that matched
        std::string callsign;  // UTF-8; empty: none
    };
    std::vector<Matched> matched_;

    // A slot that the status file does not hold, online through Aurora:
    // Aurora's frequency and "<station> (Aurora)". False when Aurora does
    // not list it.
    bool show_from_aurora(int slot);
    void label_from_aurora(int slot, const AuroraStation& station);
    struct Online {
        bool network = false;  // found in the status file at the last update
        bool online = false;   // at the last check or refresh
    };
    std::array<Online, kSlotCount> online_{};
    bool checked_ = false;  // the first check has run
};

}  // namespace tovira
