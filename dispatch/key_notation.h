// The key notation of typed texts: "{F4}", "{DOWN}", "{LEFT 3}", "+a",
// "^(ab)", "~" for Enter, "{+}" for a literal plus, and every other
// character types itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tovira {

struct KeyParse {
    bool ok = false;
    std::vector<platform::KeyStroke> keys;
    std::string error;       // why the text cannot be typed
    std::size_t where = 0;   // byte offset of the fault
};

// Parses UTF-8 text. A text the notation cannot express gives ok = false,
// never an exception. Repeat counts are limited to keep a typo harmless.
KeyParse parse_key_notation(std::string_view text);

inline constexpr int kMaxRepeat = 255;

}  // namespace tovira
