// `checkwhazz` from arbitrary positions and status text, against a plain
// reading of the matching rule: each key searched from the start of the text
// ignoring ASCII case, the one alias, and the record's fields after the
// match. Also the one-pass key search alone against a naive search, with
// keys of any shape.
//
// Input: byte 0 picks the mode; byte 1 the number of positions (or keys);
// then each as one length byte and its bytes; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "fuzz_check.h"
#include "platform/sim/sim_platform.h"

namespace {

unsigned char fold(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

std::size_t naive_find(std::string_view text, std::string_view key) {
    if (key.empty() || key.size() > text.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + key.size() <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < key.size() && fold(static_cast<unsigned char>(text[i + k])) ==
                                     fold(static_cast<unsigned char>(key[k])))
            ++k;
        if (k == key.size()) return i;
    }
    return std::string_view::npos;
}

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
    for (std::size_t k = 0; k < in.items.size(); ++k) {
        FUZZ_CHECK(first[k] == naive_find(in.text, in.items[k]));
    }
}

void check_stations(const Input& in) {
    tovira::sim::SimPlatform sim;
    tovira::Form1 form(sim);
    auto& loc = sim.loc;
    const int slots = static_cast<int>(std::min<std::size_t>(in.items.size(), tovira::kSlotCount));
    for (int i = 0; i < slots; ++i) {
        // Mostly as a file would give them (valid UTF-8 from the code
        // page); with mode bit 1 as raw bytes, valid or not.
        const std::string& raw = in.items[static_cast<std::size_t>(i)];
        form.t1[i]->set_text((in.mode & 2) ? raw : loc.ansi_to_utf8(raw).value_or(""));
        if (in.mode & 4) form.t0[i]->set_text("S" + std::to_string(i));
    }
    form.monitor.whazztext = in.text;
    // What an earlier update left, which an empty position keeps.
    for (int i = 0; i < tovira::kSlotCount; ++i) {
        form.l1[i]->set_caption("old");
        form.c1[i]->set_tooltip("old");
    }
    form.checkwhazz();

    const std::string_view text = in.text;
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
        if (loc.ansi_to_utf8(ansi) == key) p = naive_find(text, ansi);
        if (p == std::string_view::npos && key == "EDBB_N_CTR:") p = naive_find(text, "EDBB_CTR:");
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
    if (size > 256 * 1024) return 0;
    const Input in = split(data, size);
    if (in.mode & 1)
        key_search(in);
    else
        check_stations(in);
    return 0;
}
