// The user's locale for the Win32 backend: decimal separator, upper case,
// the system's 8-bit (ANSI) code page.
#include "backends/win32/win32_internal.h"

namespace tovira::win32 {

char Win32Locale::decimal_separator() {
    wchar_t buf[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) > 0 && buf[0] > 0 &&
        buf[0] < 0x80) {
        return static_cast<char>(buf[0]);
    }
    return '.';
}

std::string Win32Locale::to_upper(std::string_view utf8) {
    const std::wstring w = widen(utf8);
    if (w.empty()) return std::string(utf8);
    const DWORD flags = LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING;
    const int size = static_cast<int>(w.size());
    const int n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, w.data(), size, nullptr, 0,
                                nullptr, nullptr, 0);
    if (n <= 0) return std::string(utf8);
    std::wstring up(static_cast<std::size_t>(n), L'\0');
    LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, w.data(), size, up.data(), n, nullptr, nullptr,
                  0);
    return wide_to_utf8(up).value_or(std::string(utf8));
}

std::optional<std::string> Win32Locale::ansi_to_utf8(std::string_view ansi) {
    return code_page_to_utf8(ansi, code_page_);
}
std::optional<std::string> Win32Locale::utf8_to_ansi(std::string_view utf8) {
    return utf8_to_code_page(utf8, code_page_);
}

}  // namespace tovira::win32
