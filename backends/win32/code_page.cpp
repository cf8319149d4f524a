// Texts and code pages of the Win32 backend: UTF-8 to UTF-16 and back, and
// an 8-bit code page to UTF-8 and back, with the code page as a parameter
// (see code_page.h).
#include "backends/win32/code_page.h"

#include <windows.h>

#include <climits>

#include "platform/text_encoding.h"

namespace tovira::win32 {

namespace {

bool fits_int(std::size_t size) {
    return size <= static_cast<std::size_t>(INT_MAX);
}

std::optional<std::wstring> to_wide(std::string_view bytes, unsigned code_page) {
    if (bytes.empty()) return std::wstring();
    if (!fits_int(bytes.size())) return std::nullopt;
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(code_page, 0, bytes.data(), size, w.data(), n) != n) {
        return std::nullopt;
    }
    return w;
}

// One attempt of WideCharToMultiByte with the given flags and default
// character; nothing when Windows refuses.
std::optional<std::string> from_wide(std::wstring_view w, unsigned code_page, DWORD flags,
                                     const char* default_char) {
    const int size = static_cast<int>(w.size());
    const int n =
        WideCharToMultiByte(code_page, flags, w.data(), size, nullptr, 0, default_char, nullptr);
    if (n <= 0) return std::nullopt;
    std::string s(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(code_page, flags, w.data(), size, s.data(), n, default_char, nullptr) !=
        n) {
        return std::nullopt;
    }
    return s;
}

std::optional<std::string> to_bytes(std::wstring_view w, unsigned code_page) {
    if (w.empty()) return std::string();
    if (!fits_int(w.size())) return std::nullopt;
    // UTF-8 (and UTF-7) take neither flags nor a default character.
    if (code_page == CP_UTF8 || code_page == CP_UTF7) return from_wide(w, code_page, 0, nullptr);
    if (auto s = from_wide(w, code_page, WC_NO_BEST_FIT_CHARS, "?")) return s;
    // Some code pages (the ISO-2022 family, symbol, GB18030) refuse either;
    // their own default character stands in for what they cannot hold.
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_FLAGS && error != ERROR_INVALID_PARAMETER) return std::nullopt;
    return from_wide(w, code_page, 0, nullptr);
}

}  // namespace

std::optional<std::wstring> utf8_to_wide(std::string_view utf8) {
    return to_wide(utf8, CP_UTF8);
}

std::optional<std::string> wide_to_utf8(std::wstring_view wide) {
    return to_bytes(wide, CP_UTF8);
}

std::optional<std::string> code_page_to_utf8(std::string_view bytes, unsigned code_page) {
    if (code_page == kCodePageUtf8) {
        if (!fits_int(bytes.size())) return std::nullopt;
        return platform::utf8_or_cp1252(bytes);
    }
    auto w = to_wide(bytes, code_page);
    if (!w) return std::nullopt;
    return wide_to_utf8(*w);
}

std::optional<std::string> utf8_to_code_page(std::string_view utf8, unsigned code_page) {
    auto w = utf8_to_wide(utf8);
    if (!w) return std::nullopt;
    return to_bytes(*w, code_page);
}

}  // namespace tovira::win32
