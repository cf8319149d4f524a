// The feed conversion on arbitrary documents, read in small slices: every
// record it gives is well-formed, it succeeds exactly when the document is
// JSON with a "clients" object at its top, and for documents without repeated
// keys it gives what a plain walk over the parsed document gives.
//
// Input: the document itself.
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "backends/sim/sim_platform.h"
#include "fuzz_check.h"
#include "monitor/feed.h"

namespace {

using nlohmann::ordered_json;
constexpr std::size_t kSlice = 512;

tovira::sim::SimLocale& locale() {
    static tovira::sim::SimLocale l;
    return l;
}

// Finds a key repeated within one object.
class RepeatFinder : public nlohmann::json_sax<ordered_json> {
public:
    bool repeated = false;
    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool start_object(std::size_t) override {
        keys_.emplace_back();
        return true;
    }
    bool key(string_t& k) override {
        if (!keys_.back().insert(k).second) repeated = true;
        return !repeated;
    }
    bool end_object() override {
        keys_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override { return true; }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        return false;
    }

private:
    std::vector<std::unordered_set<std::string>> keys_;
};

// A callsign or user id as the conversion reads it; nullopt when the
// document wrote it as a fraction, whose exact spelling the tree has lost.
std::optional<std::string> text_of(const ordered_json& v, bool& unknowable) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_unsigned()) return std::to_string(v.get<std::uint64_t>());
    if (v.is_number_integer()) return std::to_string(v.get<std::int64_t>());
    if (v.is_number_float()) unknowable = true;
    return std::nullopt;
}

std::string frequency_of(const ordered_json& client) {
    const auto s = client.find("atcSession");
    if (s == client.end() || !s->is_object()) return "";
    const auto f = s->find("frequency");
    if (f == s->end()) return "";
    double v = 0;
    if (f->is_number()) {
        v = f->get<double>();
    } else if (f->is_string()) {
        const std::string t = f->get<std::string>();
        const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return "";
    } else {
        return "";
    }
    if (!std::isfinite(v) || v < 0 || v >= 1e6) return "";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v + 0.0, std::chars_format::fixed, 3);
    // Only a channel, as written with three decimals, is shown.
    double shown = 0;
    std::from_chars(buf, r.ptr, shown);
    if (shown < 100.0 || shown > 199.997) return "";
    return std::string(buf, r.ptr);
}

// The records by a walk over the parsed document; nullopt: no reference.
std::optional<std::string> reference(const ordered_json& doc, bool& unknowable) {
    std::string out;
    const ordered_json& clients = doc["clients"];
    for (const auto& [name, list] : clients.items()) {
        const bool atc = name == "atcs" || name == "observers";
        if (!atc && name != "pilots" && name != "followMe") continue;
        if (!list.is_array()) continue;
        for (const ordered_json& c : list) {
            if (!c.is_object()) continue;
            std::optional<std::string> callsign, id;
            if (auto it = c.find("callsign"); it != c.end()) callsign = text_of(*it, unknowable);
            if (auto it = c.find("userId"); it != c.end()) id = text_of(*it, unknowable);
            if (!callsign || callsign->empty()) continue;
            const std::string uid = id.value_or("");
            if (callsign->find_first_of(":\r\n") != std::string::npos ||
                uid.find_first_of(":\r\n") != std::string::npos)
                continue;
            const std::optional<std::string> cs = locale().utf8_to_ansi(*callsign);
            const std::optional<std::string> u = locale().utf8_to_ansi(uid);
            if (!cs || !u) continue;
            out +=
                *cs + ":" + *u + ":" + *u + (atc ? ":ATC:" + frequency_of(c) : ":PILOT:") + ":\r\n";
        }
    }
    return out;
}

// Each record: CALLSIGN:ID:ID:TYPE:FREQUENCY: and CR LF.
void check_records(std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 2);
        std::string_view f[6];
        std::size_t from = 0;
        for (int k = 0; k < 5; ++k) {
            const std::size_t colon = line.find(':', from);
            FUZZ_CHECK(colon != std::string_view::npos);
            f[k] = line.substr(from, colon - from);
            from = colon + 1;
        }
        FUZZ_CHECK(from == line.size());  // nothing after the fifth colon
        FUZZ_CHECK(!f[0].empty());
        FUZZ_CHECK(f[0].find_first_of("\r\n") == std::string_view::npos);
        FUZZ_CHECK(f[1].find_first_of("\r\n") == std::string_view::npos);
        FUZZ_CHECK(f[1] == f[2]);
        FUZZ_CHECK(f[3] == "ATC" || f[3] == "PILOT");
        if (f[3] == "PILOT") FUZZ_CHECK(f[4].empty());
        if (!f[4].empty()) {
            const std::size_t dot = f[4].find('.');
            FUZZ_CHECK(dot != std::string_view::npos && dot >= 1 && dot <= 6);
            FUZZ_CHECK(f[4].size() == dot + 4);
            FUZZ_CHECK(f[4].find_first_not_of("0123456789.") == std::string_view::npos);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Room for the sample and a few slices; deeper nesting is the unit
    // tests' part.
    if (size > 16 * 1024) return 0;
    const std::string_view doc(reinterpret_cast<const char*>(data), size);

    std::size_t last = 0;
    std::size_t slices = 0;
    const std::optional<std::string> out = tovira::convert_feed(
        doc, locale(),
        [&](std::size_t consumed) {
            // Passes come slice by slice, the last at the end.
            FUZZ_CHECK(consumed == last + kSlice || (consumed == size && consumed > last));
            last = consumed;
            ++slices;
            return true;
        },
        kSlice);
    FUZZ_CHECK(slices <= (size + kSlice - 1) / kSlice);
    if (out) {
        // A document that converts was read to its end.
        FUZZ_CHECK(slices == (size + kSlice - 1) / kSlice);
        check_records(*out);
    }

    // The same document, parsed whole (a NUL byte would end it there).
    const ordered_json tree = ordered_json::parse(doc, nullptr, false);
    if (tree.is_discarded() || !tree.is_object() || doc.find('\0') != std::string_view::npos) {
        FUZZ_CHECK(!out);
        return 0;
    }
    if (!tree.contains("clients") || !tree["clients"].is_object()) {
        // No clients at the top: fails, unless a repeated "clients" key had
        // an object among its values.
        if (out) {
            RepeatFinder repeats;
            ordered_json::sax_parse(doc, &repeats);
            FUZZ_CHECK(repeats.repeated);
        }
        return 0;
    }
    // The whole-tree reference costs several times the conversion: kept to
    // documents of the seeds' size.
    if (size > 8 * 1024) return 0;
    RepeatFinder repeats;
    ordered_json::sax_parse(doc, &repeats);
    if (repeats.repeated) return 0;
    FUZZ_CHECK(out.has_value());
    bool unknowable = false;
    const std::optional<std::string> expected = reference(tree, unknowable);
    if (!unknowable) FUZZ_CHECK(expected == out);
    return 0;
}
