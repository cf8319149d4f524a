// The key notation parser on arbitrary text: it either refuses the text with
// a reason and a place inside it, or yields a bounded number of strokes.
// Texts beyond 4 KB are cut off: the typed texts are a line of the window,
// and a longer one only repeats what the parser has seen.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dispatch/key_notation.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    size = std::min<std::size_t>(size, 4 * 1024);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tovira::KeyParse parse = tovira::parse_key_notation(text);
    if (parse.ok) {
        FUZZ_CHECK(parse.error.empty());
        // A repeat count types at most kMaxRepeat strokes per character of text.
        FUZZ_CHECK(parse.keys.size() <= size * static_cast<std::size_t>(tovira::kMaxRepeat));
        for (const auto& k : parse.keys) {
            FUZZ_CHECK(k.named || k.ch <= 0x10FFFF);
            FUZZ_CHECK(!(k.ch >= 0xD800 && k.ch <= 0xDFFF));
        }
    } else {
        FUZZ_CHECK(parse.keys.empty());
        FUZZ_CHECK(!parse.error.empty());
        FUZZ_CHECK(parse.where <= size);
    }
    // The same text always parses the same way.
    const tovira::KeyParse again = tovira::parse_key_notation(text);
    FUZZ_CHECK(again.ok == parse.ok && again.keys == parse.keys && again.where == parse.where);
    return 0;
}
