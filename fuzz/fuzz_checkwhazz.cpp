// `checkwhazz` from arbitrary positions and status text, against a plain
// reading of the matching rule: each key searched from the start of the text
// ignoring ASCII case, the one alias, and the record's fields after the
// match. Also the one-pass key search alone against a plain search, with
// keys of any shape.
//
// Input: byte 0 picks the mode; byte 1 the number of positions (or keys);
// then each as one length byte and its bytes; the rest is the text.
//
// One window serves every input: each input first sets everything the check
// reads (positions, names, flags, labels, tool tips, the status text), so
// that it meets the window as a fresh one would. Text beyond 16 KB is cut
// off: the search works in 16-byte blocks and nothing in the rule depends on
// length beyond that, while the reference's cost grows with it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "backends/sim/sim_platform.h"
#include "fuzz_check.h"

namespace {

constexpr std::size_t kMaxText = 16 * 1024;

char fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string folded(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), fold);
    return out;
}

// The plain reading: the first place where the key stands, ignoring ASCII
// case, found in a lower-case copy of the text. An empty key never matches.
class PlainText {
public:
    explicit PlainText(std::string_view text) : lower_(folded(text)) {}
    std::size_t find(std::string_view key) const {
        if (key.empty()) return std::string_view::npos;
        return std::string_view(lower_).find(folded(key));
    }

private:
    std::string lower_;
};

struct Input {
    unsigned mode = 0;
    std::vector<std::string> items;
    std::string text;
};

Input split(const std::uint8_t* data, std::size_t size) {
    Input in;
    std::size_t i = 0;
    auto byte = [&]() -> unsigned { return i < size ? data[i++] : 0; };
    in.mode = byte();
    const unsigned count = byte() % 41;
    for (unsigned n = 0; n < count && i < size; ++n) {
        const std::size_t len = std::min<std::size_t>(byte() % 48, size - i);
        in.items.emplace_back(reinterpret_cast<const char*>(data + i), len);
        i += len;
    }
    in.text.assign(reinterpret_cast<const char*>(data + i), size - i);
    return in;
}

void key_search(const Input& in) {
    const std::vector<std::size_t> first = tovira::KeySearch(in.items).find_first(in.text);
    FUZZ_CHECK(first.size() == in.items.size());
    const PlainText plain(in.text);
    for (std::size_t k = 0; k < in.items.size(); ++k) {
        FUZZ_CHECK(first[k] == plain.find(in.items[k]));
    }
}

struct World {
    tovira::sim::SimPlatform sim;
    tovira::Form1 form{sim};
    std::vector<std::string> names;  // "S0", "S1", ...
    World() {
        for (int i = 0; i < tovira::kSlotCount; ++i)
            names.push_back(std::to_string(i).insert(0, "S"));
    }
};

void check_stations(const Input& in) {
    static World world;
    tovira::sim::SimPlatform& sim = world.sim;
    tovira::Form1& form = world.form;
    auto& loc = sim.loc;
    const std::string none;
    for (int i = 0; i < tovira::kSlotCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        // Mostly as a file would give them (valid UTF-8 from the code
        // page); with mode bit 1 as raw bytes, valid or not.
        if (k < in.items.size())
            form.t1[i]->set_text((in.mode & 2) ? in.items[k]
                                               : loc.ansi_to_utf8(in.items[k]).value_or(none));
        else
            form.t1[i]->set_text(none);
        form.t0[i]->set_text((in.mode & 4) && k < in.items.size() ? world.names[k] : none);
        // What an earlier update left, which an empty position keeps.
        form.l1[i]->set_caption("old");
        form.c1[i]->set_tooltip("old");
    }
    form.slotactive = tovira::SlotFlags{};
    form.monitor.whazztext = in.text;
    form.checkwhazz();

    const std::string_view text = in.text;
    const PlainText plain(text);
    for (int i = 0; i < tovira::kSlotCount; ++i) {
        const std::string& position = form.t1[i]->text();
        if (position.empty()) {
            FUZZ_CHECK(form.slotactive.is_set(i) && form.slotactive[i] == 0);
            FUZZ_CHECK(form.l1[i]->caption() == "old" && form.c1[i]->tooltip() == "old");
            continue;
        }
        const std::string key = position + ":";
        std::size_t p = std::string_view::npos;
        // A position the code page cannot spell is never in the file.
        const std::string ansi = loc.utf8_to_ansi(key).value_or("");
        if (loc.ansi_to_utf8(ansi) == key) p = plain.find(ansi);
        if (p == std::string_view::npos && key == "EDBB_N_CTR:") p = plain.find("EDBB_CTR:");
        if (p == std::string_view::npos) {
            FUZZ_CHECK(form.slotactive[i] == 0 && form.l1[i]->caption().empty());
            FUZZ_CHECK(form.c1[i]->tooltip() == "old");
            continue;
        }
        FUZZ_CHECK(form.slotactive[i] == 1);
        const tovira::StationRecord r = tovira::read_record(text, p);
        FUZZ_CHECK(form.l1[i]->caption() == loc.ansi_to_utf8(r.frequency).value_or(""));
        FUZZ_CHECK(form.c1[i]->tooltip() == loc.ansi_to_utf8(r.name).value_or(""));
        // The fields come from the text after the match.
        FUZZ_CHECK(r.name.size() <= text.size() - p && r.frequency.size() <= text.size() - p);
    }

    // The panel then shows exactly the named slots that are online.
    form.collapse();
    for (int i = 0; i < tovira::kSlotCount; ++i) {
        const bool shown = !form.t0[i]->text().empty() && form.slotactive[i] == 1;
        FUZZ_CHECK(form.c1[i]->visible() == shown);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in = split(data, size);
    if (in.text.size() > kMaxText) in.text.resize(kMaxText);
    if (in.mode & 1)
        key_search(in);
    else
        check_stations(in);
    return 0;
}
