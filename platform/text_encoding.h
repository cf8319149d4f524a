// UTF-8 and Windows-1252 without the operating system: the simulated
// locale uses them, and the Windows backend reads a UTF-8 code page with
// them, so that both treat the same bytes alike.
#pragma once

#include <string>
#include <string_view>

namespace tovira::platform {

// Decodes one well-formed UTF-8 sequence at `i` (no overlong forms, no
// surrogates, nothing above U+10FFFF) and moves past it; false, and `i`
// unchanged, when the bytes there are not one.
bool next_utf8(std::string_view s, std::size_t& i, char32_t& c);
void append_utf8(std::string& out, char32_t c);

// Windows-1252: the five undefined bytes stand for the C1 controls of the
// same number, as Windows reads them.
char32_t cp1252_to_unicode(unsigned char byte);
// -1 when the code page has no byte for `c`.
int unicode_to_cp1252(char32_t c);

// Bytes of a UTF-8 file that may hold lines written earlier in
// Windows-1252: every well-formed UTF-8 sequence stands for itself, every
// other byte is read as Windows-1252. Always valid UTF-8.
std::string utf8_or_cp1252(std::string_view bytes);

// ASCII's letters in upper case, every other byte as it is: callsigns and
// program names, which no locale may change.
char ascii_upper(char c);
std::string ascii_upper(std::string s);
// Equal but for the case of ASCII letters ("eddt_twr", "EDDT_TWR").
bool same_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace tovira::platform
