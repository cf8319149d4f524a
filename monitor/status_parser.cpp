#include "monitor/status_parser.h"

#include <algorithm>
#include <bit>
#include <exception>

#include "monitor/feed.h"
#include "monitor/http_client.h"
#include "monitor/inet_control.h"
#include "panel/menu_notices.h"
#include "platform/text_encoding.h"
#include "window/form_window.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TOVIRA_KEYSEARCH_SSE2 1
#endif

namespace tovira {

// ---- the status index ---------------------------------------------------------------

StatusServer find_status_server(std::string_view index) {
    constexpr std::string_view kLineEnd = "\r\n";
    constexpr std::size_t kHostStart = 12;  // after "urlN=http://"
    StatusServer server;
    // The first line is never looked at.
    std::size_t pos = index.find(kLineEnd);
    while (pos != std::string_view::npos) {
        pos += kLineEnd.size();
        const std::size_t end = index.find(kLineEnd, pos);
        const std::string_view line =
            index.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        if (line.starts_with("url")) {
            const std::size_t aero = line.find("aero");
            // Without "aero" after the scheme there is no usable host name.
            if (aero != std::string_view::npos && aero >= kHostStart) {
                server.host = std::string(line.substr(kHostStart, aero + 4 - kHostStart));
                server.path = std::string(line.substr(aero + 4));
                server.found = true;
            }
            break;
        }
        pos = end;
    }
    return server;
}

// ---- the key search -------------------------------------------------------------------

namespace {

constexpr unsigned char fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}
constexpr bool is_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr std::int32_t kNoNode = 0;  // the root is never anybody's child

}  // namespace

KeySearch::KeySearch(const std::vector<std::string>& keys) : outputs_(1), key_count_(keys.size()) {
    // The columns: every folded byte that occurs in a key gets one.
    bool in_key[256] = {};
    std::size_t key_bytes = 0;
    for (const std::string& key : keys) {
        key_bytes += key.size();
        for (char c : key) in_key[fold(static_cast<unsigned char>(c))] = true;
    }
    for (int b = 0; b < 256; ++b) {
        if (in_key[b]) column_[b] = static_cast<std::uint8_t>(width_++);
    }
    for (int b = 0; b < 256; ++b) column_[b] = column_[fold(static_cast<unsigned char>(b))];
    next_.reserve((key_bytes + 1) * width_);
    outputs_.reserve(key_bytes + 1);
    next_.assign(width_, kNoNode);

    bool any_short = false;
    int last_seen = -1;
    bool same_last = true;
    bool prev_seen[256] = {};
    bool last_set[256] = {};
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const std::string& key = keys[k];
        if (key.empty()) continue;
        ++searchable_;
        // The trie of reversed keys: from a key's last byte back to its first.
        std::int32_t node = 0;
        for (auto it = key.rbegin(); it != key.rend(); ++it) {
            const std::size_t cell =
                static_cast<std::size_t>(node) * width_ + column_[static_cast<unsigned char>(*it)];
            if (next_[cell] == kNoNode) {
                next_[cell] = static_cast<std::int32_t>(outputs_.size());
                outputs_.emplace_back();
                next_.resize(next_.size() + width_, kNoNode);
            }
            node = next_[cell];
        }
        outputs_[static_cast<std::size_t>(node)].push_back(static_cast<std::uint32_t>(k));

        const unsigned char last = fold(static_cast<unsigned char>(key.back()));
        if (last_seen >= 0 && last_seen != last) same_last = false;
        last_seen = last;
        last_set[last] = true;
        if (key.size() < 2) {
            any_short = true;
        } else {
            prev_seen[fold(static_cast<unsigned char>(key[key.size() - 2]))] = true;
        }
    }
    for (int b = 0; b < 256; ++b) {
        const unsigned char f = fold(static_cast<unsigned char>(b));
        is_prev_[b] = prev_seen[f];
        is_last_[b] = last_set[f];
    }
    prev_filter_ = searchable_ > 0 && !any_short;
    one_last_ = searchable_ > 0 && same_last;
    if (one_last_) {
        last_ = static_cast<unsigned char>(last_seen);
        last_is_letter_ = is_letter(last_);
    }
    if (prev_filter_) {
        // Compared with bit 0x20 set, which folds ASCII letters and lets a
        // few other bytes through; the trie walk sorts those out.
        bool taken[256] = {};
        int count = 0;
        for (int c = 0; c < 256 && count <= kMaxPrevSet; ++c) {
            if (!prev_seen[c]) continue;
            const unsigned char v = static_cast<unsigned char>(c | 0x20);
            if (taken[v]) continue;
            taken[v] = true;
            if (count < kMaxPrevSet) prev_set_[count] = v;
            ++count;
        }
        prev_count_ = count <= kMaxPrevSet ? count : 0;
    }
}

std::size_t KeySearch::confirm(std::string_view text, std::size_t end,
                               std::vector<std::size_t>& first, std::size_t missing) const {
    std::size_t start = end;
    std::int32_t node = next_[column_[static_cast<unsigned char>(text[start])]];
    while (node != kNoNode) {
        for (std::uint32_t k : outputs_[static_cast<std::size_t>(node)]) {
            // Scanning by end position finds each key's first start first.
            if (first[k] == std::string_view::npos) {
                first[k] = start;
                --missing;
            }
        }
        if (start == 0) break;
        --start;
        node = next_[static_cast<std::size_t>(node) * width_ +
                     column_[static_cast<unsigned char>(text[start])]];
    }
    return missing;
}

void KeySearch::scan_bytes(std::string_view text, std::size_t from, std::vector<std::size_t>& first,
                           std::size_t& missing) const {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = from; i < text.size() && missing > 0; ++i) {
        if (!is_last_[p[i]]) continue;
        if (prev_filter_ && (i == 0 || !is_prev_[p[i - 1]])) continue;
        missing = confirm(text, i, first, missing);
    }
}

std::vector<std::size_t> KeySearch::find_first(std::string_view text) const {
    std::vector<std::size_t> first(key_count_, std::string_view::npos);
    std::size_t missing = searchable_;
    if (missing == 0 || text.empty()) return first;
    std::size_t i = 0;
#if TOVIRA_KEYSEARCH_SSE2
    if (one_last_ && prev_filter_ && text.size() > 16) {
        // Position 0 cannot end a key of two bytes or more; each block tests
        // its bytes and the bytes just before them.
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const __m128i last = _mm_set1_epi8(static_cast<char>(last_));
        const __m128i bit20 = _mm_set1_epi8(0x20);
        __m128i prev[kMaxPrevSet];
        for (int k = 0; k < prev_count_; ++k) {
            prev[k] = _mm_set1_epi8(static_cast<char>(prev_set_[k]));
        }
        i = 1;
        for (; i + 16 <= text.size() && missing > 0; i += 16) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            if (last_is_letter_) v = _mm_or_si128(v, bit20);
            __m128i m = _mm_cmpeq_epi8(v, last);
            if (_mm_movemask_epi8(m) == 0) continue;
            if (prev_count_ > 0) {
                const __m128i b = _mm_or_si128(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1)), bit20);
                __m128i any = _mm_cmpeq_epi8(b, prev[0]);
                for (int k = 1; k < prev_count_; ++k) {
                    any = _mm_or_si128(any, _mm_cmpeq_epi8(b, prev[k]));
                }
                m = _mm_and_si128(m, any);
            }
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(m));
            while (mask != 0 && missing > 0) {
                const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
                mask &= mask - 1;
                if (is_prev_[p[at - 1]]) missing = confirm(text, at, first, missing);
            }
        }
    }
#endif
    if (missing > 0) scan_bytes(text, i, first, missing);
    return first;
}

// ---- a station's record -----------------------------------------------------------------

StationRecord read_record(std::string_view text, std::size_t at) {
    StationRecord record;
    record.online = true;
    std::size_t colon[5];
    std::size_t found = 0;
    std::size_t from = at;
    for (; found < 5; ++found) {
        const std::size_t k = text.find(':', from);
        if (k == std::string_view::npos) break;
        colon[found] = k;
        from = k + 1;
    }
    // Field 2 lies between the second and third colon, field 4 between the
    // fourth and fifth.
    if (found >= 3) record.name = std::string(text.substr(colon[1] + 1, colon[2] - colon[1] - 1));
    if (found >= 5) {
        record.frequency = shown_frequency(text.substr(colon[3] + 1, colon[4] - colon[3] - 1));
    }
    return record;
}

std::string shown_frequency(std::string_view frequency) {
    std::string shown(frequency);
    // Only trailing zeros go: 118.700 shows as 118.7, but the 8.33 kHz
    // channel 118.705 stays whole rather than read as another channel.
    if (shown.size() > 5 && shown.find_first_not_of('0', 5) == std::string::npos) shown.resize(5);
    return shown;
}

// ---- getwhazz and checkwhazz -----------------------------------------------------------------

StatusMonitor::StatusMonitor(const Uses& uses) : f_(uses) {}
StatusMonitor::~StatusMonitor() = default;

MyInet& StatusMonitor::my_inet() {
    if (!my_inet_) my_inet_ = std::make_unique<MyInet>(f_.platform);
    return *my_inet_;
}

void StatusMonitor::getwhazz() {
    f_.Inet1.forget_helper();
    f_.feed_inet.forget_helper();
    fetch_status();
    watch_helper();
}

void StatusMonitor::watch_helper() {
    HelperReport report;
    report.ran = f_.Inet1.helper_ran() || f_.feed_inet.helper_ran();
    report.failure = f_.feed_inet.helper_failure();
    if (report.failure.empty()) report.failure = f_.Inet1.helper_failure();
    switch (helper_watch_.after_update(report)) {
        case HelperWatch::Action::Show:
            f_.notices.show(MenuNotices::Notice::HelperCannotStart, helper_notice(report.failure));
            break;
        case HelperWatch::Action::Clear:
            f_.notices.clear(MenuNotices::Notice::HelperCannotStart);
            break;
        case HelperWatch::Action::None: break;
    }
}

void StatusMonitor::fetch_status() {
    const Uses& f = f_;
    platform::Platform& platform = f.platform;
    fetching_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{fetching_};
    const platform::Millis start = platform.now_ms();
    // The built-in index is the network's retired one: once its path has
    // yielded no client, the feed is asked first. A private index keeps its
    // path on every update, and so does any index without a feed.
    const bool routed =
        !addresses.private_index && addresses.feed_fallback && !addresses.feed.empty();
    const bool straight = routed && route_.straight_to_feed(start);

    // Each step that fails is skipped and the update goes on with the next.
    // Where the index path ends without a client record, the current feed
    // stands in for the status file; where the feed fails too, the update
    // ends as that path ended it.
    f.Label5.set_caption("Loading...");
    bool feed_failed = false;
    if (straight) {
        if (std::optional<std::string> feed = fetch_feed(start)) {
            whazztext = std::move(*feed);
        } else {
            // Ends as an update whose index failed, without asking again.
            feed_failed = true;
        }
    } else {
        f.Inet1.URL = addresses.status_index;
        try {
            whazztext = f.Inet1.OpenURL();
        } catch (const std::exception&) {
            // The index keeps the text it held.
        }
    }
    if (straight && !feed_failed) {
        // The feed stood in; nothing of the index path is left to do.
    } else if (whazztext.empty()) {
        if (routed && !straight) route_.index_path_ended(start, false);
        std::optional<std::string> feed;
        if (!feed_failed) feed = fetch_feed(start);
        if (!feed) return;
        whazztext = std::move(*feed);
    } else {
        const StatusServer server = find_status_server(whazztext);
        if (f.Inet1.StillExecuting()) return;
        // Without a usable host name the socket would reject it: the status
        // file step fails and `whazztext` keeps what it holds.
        bool clients = false;
        if (!server.host.empty()) {
            try {
                whazztext = my_inet().OpenURL(server.host, server.path);
                clients = has_client_record(whazztext);
            } catch (const std::exception&) {
            }
        }
        if (routed && !straight) route_.index_path_ended(start, clients);
        if (!clients && !feed_failed) {
            if (std::optional<std::string> feed = fetch_feed(start)) whazztext = std::move(*feed);
        }
    }
    platform.do_events();
    ++updatenr;
    f.Label5.set_caption(std::to_string(updatenr));
    f.Label8.set_caption("");
}

std::optional<std::string> StatusMonitor::fetch_feed(platform::Millis update_start) {
    const Uses& f = f_;
    platform::Platform& platform = f.platform;
    if (!addresses.feed_fallback || addresses.feed.empty() || f.window.unloaded() ||
        platform.quitting()) {
        return std::nullopt;
    }
    if (const std::string* records = route_.reusable(update_start)) return *records;
    const platform::Millis request_start = platform.now_ms();
    std::string json;
    try {
        f.feed_inet.URL = addresses.feed;
        json = f.feed_inet.OpenURL();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    // The window is served between slices of a long document; a program
    // that is ending stops the conversion.
    std::optional<std::string> records = convert_feed(json, platform.locale(), [&](std::size_t) {
        platform.do_events();
        return !platform.quitting() && !f.window.unloaded();
    });
    if (records) route_.read(request_start, *records);
    return records;
}

std::string_view record_callsign(std::string_view text, std::size_t at, std::size_t key_size) {
    if (key_size == 0 || at + key_size > text.size()) return {};
    const std::size_t colon = at + key_size - 1;
    std::size_t begin = at;
    while (begin > 0 && text[begin - 1] != ':' && text[begin - 1] != '\n' &&
           text[begin - 1] != '\r')
        --begin;
    return text.substr(begin, colon - begin);
}

std::string StatusMonitor::station_for(int slot) const {
    const std::string& position = f_.t1[static_cast<std::size_t>(slot)]->text();
    if (static_cast<std::size_t>(slot) < matched_.size()) {
        const Matched& m = matched_[static_cast<std::size_t>(slot)];
        if (!m.callsign.empty() && m.position == position) return platform::ascii_upper(m.callsign);
    }
    return platform::ascii_upper(position);
}

void StatusMonitor::checkwhazz() {
    const Uses& f = f_;
    platform::Locale& locale = f.platform.locale();
    constexpr std::string_view kAliasKey = "EDBB_N_CTR:";
    constexpr std::string_view kAliasTarget = "EDBB_CTR:";
    constexpr int kNone = -1;

    // All keys first, then one pass over the text for all of them.
    std::vector<std::string> keys;
    keys.reserve(kSlotCount + 1);
    int slot_key[kSlotCount];
    int alias_key = kNone;
    for (int i = 0; i < kSlotCount; ++i) {
        slot_key[i] = kNone;
        const std::string& position = f.t1[i]->text();
        if (position.empty()) continue;
        const std::string key = position + ":";
        if (key == kAliasKey && alias_key == kNone) {
            alias_key = static_cast<int>(keys.size());
            keys.emplace_back(kAliasTarget);
        }
        // A position the code page cannot spell cannot be in the file; nor
        // can one whose conversion failed be looked for.
        auto ansi = locale.utf8_to_ansi(key);
        if (!ansi || locale.ansi_to_utf8(*ansi) != key) continue;
        slot_key[i] = static_cast<int>(keys.size());
        keys.push_back(std::move(*ansi));
    }
    const std::vector<std::size_t> first = KeySearch(keys).find_first(whazztext);
    matched_.assign(kSlotCount, Matched{});
    checked_ = true;

    for (int i = 0; i < kSlotCount; ++i) {
        const std::string& position = f.t1[i]->text();
        online_[i] = {};
        if (position.empty()) {
            f.window.slotactive.set(i, 0);
            continue;
        }
        int key = slot_key[i];
        std::size_t p = key == kNone ? std::string_view::npos : first[key];
        if (p == std::string_view::npos && position.size() + 1 == kAliasKey.size() &&
            position + ":" == kAliasKey) {
            key = alias_key;
            p = first[static_cast<std::size_t>(alias_key)];
        }
        if (p == std::string_view::npos) {
            online_[i].online = show_from_aurora(i);
            if (online_[i].online) continue;
            f.window.slotactive.set(i, 0);
            f.l1[i]->set_caption("");
            continue;
        }
        online_[i] = {true, true};
        const StationRecord record = read_record(whazztext, p);
        f.c1[i]->set_tooltip(locale.ansi_to_utf8(record.name).value_or(std::string()));
        f.l1[i]->set_caption(locale.ansi_to_utf8(record.frequency).value_or(std::string()));
        f.window.slotactive.set(i, 1);
        const std::string_view callsign =
            record_callsign(whazztext, p, keys[static_cast<std::size_t>(key)].size());
        // Only a record's own callsign names a station: "EDDT:" found in a
        // pilot's departure field, or inside another field, names none.
        const std::size_t begin =
            callsign.empty() ? 0 : static_cast<std::size_t>(callsign.data() - whazztext.data());
        const bool first_field = !callsign.empty() && (begin == 0 || whazztext[begin - 1] == '\n' ||
                                                       whazztext[begin - 1] == '\r');
        matched_[i] = {position, first_field ? locale.ansi_to_utf8(callsign).value_or(std::string())
                                             : std::string()};
    }
}

bool StatusMonitor::show_from_aurora(int slot) {
    const AuroraStation* station = f_.aurora.find(f_.t1[slot]->text());
    if (station == nullptr) return false;
    label_from_aurora(slot, *station);
    f_.window.slotactive.set(slot, 1);
    return true;
}

void StatusMonitor::label_from_aurora(int slot, const AuroraStation& station) {
    f_.c1[slot]->set_tooltip(station.callsign + " (Aurora)");
    f_.l1[slot]->set_caption(shown_frequency(station.frequency));
}

bool StatusMonitor::aurora_refreshed(bool apply) {
    if (!checked_) return false;  // the first check decides first
    const Uses& f = f_;
    bool changed = false;
    for (int i = 0; i < kSlotCount; ++i) {
        Online& slot = online_[i];
        // What the status file said stands until the next update; only
        // Aurora's part is new.
        if (slot.network) continue;
        const AuroraStation* station = f.aurora.find(f.t1[i]->text());
        if (!apply) {
            slot.online = station != nullptr;
            continue;
        }
        if ((station != nullptr) == slot.online) {
            // Same state: the flag stays as the user may have set it; only
            // the label follows Aurora (a station that changed frequency).
            if (station != nullptr) label_from_aurora(i, *station);
            continue;
        }
        slot.online = station != nullptr;
        if (slot.online) {
            show_from_aurora(i);
        } else {
            f.window.slotactive.set(i, 0);
            f.l1[i]->set_caption("");
        }
        changed = true;
    }
    return changed;
}

}  // namespace tovira
