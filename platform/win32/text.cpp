// Texts of the Win32 backend: the core's UTF-8 for Windows, a window's
// text, colours. The code page conversions themselves are in code_page.cpp.
#include "platform/win32/win32_internal.h"

namespace tovira::win32 {

// The core's texts for Windows. A text that cannot be converted never
// arises from the core's valid UTF-8; should Windows refuse one, the control
// shows nothing rather than something else.
std::wstring widen(std::string_view s) {
    return utf8_to_wide(s).value_or(std::wstring());
}

std::wstring window_text(HWND hwnd) {
    const int n = GetWindowTextLengthW(hwnd);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, w.data(), n + 1);
    w.resize(static_cast<std::size_t>(std::max(got, 0)));
    return w;
}

COLORREF colour(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace tovira::win32
