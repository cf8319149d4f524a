// The key notation of typed texts: "{F4}", "{DOWN}", "{LEFT 3}", "+a",
// "^(ab)", "~" for Enter, "{+}" for a literal plus, and every other
// character types itself.
//
// In detail:
// - "{NAME}" is a named key, the name in any case (see the table in
//   key_notation.cpp); "{x}" with one character x types x, which is how the
//   notation's own characters are typed ("{+}", "{{}", "{}}", "{~}").
// - "{NAME n}" and "{x n}" repeat the key n times, n from 0 to kMaxRepeat.
// - "+", "^" and "%" hold Shift, Ctrl and Alt around the next key, or around
//   every key of a following parenthesised group; they combine ("+^a").
// - "~" is Enter. "(" and ")" group; bare "[" and "]" type themselves.
// - The text is UTF-8 and each code point is one character. Malformed
//   UTF-8 is refused rather than typed as U+FFFD: a command typed with a
//   replacement character in it is a wrong command.
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
    std::string error;      // why the text cannot be typed
    std::size_t where = 0;  // byte offset of the fault
};

inline constexpr int kMaxRepeat = 255;

// Parses UTF-8 text. A text the notation cannot express gives ok = false
// with no keys, never an exception. Repeat counts are limited to keep a
// typo harmless.
KeyParse parse_key_notation(std::string_view text);

}  // namespace tovira
