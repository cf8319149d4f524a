// Texts of the Win32 backend: the core's UTF-8 for Windows and back, a
// window's text, the system's message for an error code as it goes into
// one of the program's sentences, colours. The code page conversions
// themselves are in code_page.cpp.
#include "backends/win32/win32_internal.h"
// After windows.h.
#include <cwctype>

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

std::string narrow(std::wstring_view w) {
    return wide_to_utf8(w).value_or(std::string());
}

std::string error_text(DWORD error) {
    wchar_t* message = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text = n && message ? std::wstring(message, n) : std::wstring();
    if (message) LocalFree(message);
    // The sentence goes inside one of ours: no line end, no full stop.
    while (!text.empty() && (std::iswspace(text.back()) || text.back() == L'.')) text.pop_back();
    std::string out = narrow(text);
    if (out.empty()) out = "system error";
    return out + " (error " + std::to_string(error) + ")";
}

COLORREF colour(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

}  // namespace tovira::win32
