// Text conversions of the Windows backend: UTF-8 (the core's texts),
// UTF-16 (Windows' own) and an 8-bit code page (files, the status file).
// The code page is a parameter, so that a small test program can check
// every conversion for code pages the system it runs on does not use.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovira::win32 {

inline constexpr unsigned kCodePageUtf8 = 65001;

// UTF-8 to UTF-16 and back; ill-formed UTF-8 becomes U+FFFD. Nothing when
// Windows refuses the conversion (never for an empty text). NULs are
// converted like any other character.
std::optional<std::wstring> utf8_to_wide(std::string_view utf8);
std::optional<std::string> wide_to_utf8(std::wstring_view wide);

// Bytes in `code_page` to UTF-8. Under UTF-8 (65001) bytes that are not
// well-formed UTF-8 read as Windows-1252, as a file written before the
// system switched to UTF-8 holds them.
std::optional<std::string> code_page_to_utf8(std::string_view bytes, unsigned code_page);
// UTF-8 to bytes in `code_page`; a character the code page cannot hold
// becomes '?' (no nearest look-alike, so that a round trip shows the loss).
std::optional<std::string> utf8_to_code_page(std::string_view utf8, unsigned code_page);

}  // namespace tovira::win32
