// The URL fetch's child process (see fetch_child.h): WinINet as the program
// has always used it (HTTP and HTTPS, the user's proxy settings, gzip
// transfer, "Tovira/<version>" as User-Agent, certificate errors as
// failures), the result written as frames to the pipe on standard output.
// The child bounds nothing itself; its parent ends it.

#include "backends/win32/fetch_child.h"

#include "backends/win32/win32_internal.h"
#include "platform/fetch_frames.h"
// After windows.h, which it needs.
#include <shellapi.h>

#include "tovira_version.h"

namespace tovira::win32 {

namespace {

// Servers see which program asks, and which version of it.
constexpr wchar_t kUserAgent[] = L"Tovira/" TOVIRA_VERSION_STRING;
// Undone by WinINet's decoder once INTERNET_OPTION_HTTP_DECODING is on. Only
// gzip: "deflate" means zlib-wrapped to some servers and raw to others.
constexpr wchar_t kAcceptEncoding[] = L"Accept-Encoding: gzip\r\n";
// Should the parent be unable to end the child, the child still ends on its
// own well after any fetch's deadline.
constexpr DWORD kChildLifetimeMs = 180000;

bool write_all(HANDLE out, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(out, bytes.data(), want, &wrote, nullptr) || wrote == 0) return false;
        bytes.remove_prefix(wrote);
    }
    return true;
}

std::string hex(std::string_view s) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : s) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 15]);
    }
    return out;
}

bool unhex(std::wstring_view s, std::string& out) {
    auto digit = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        return -1;
    };
    if (s.size() % 2) return false;
    for (std::size_t i = 0; i < s.size(); i += 2) {
        const int hi = digit(s[i]), lo = digit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<char>(hi * 16 + lo));
    }
    return true;
}

// Ends the child when its parent ends, however that ends: the job's
// kill-on-close does this on Windows, but Wine applies it only to a job
// handle closed by hand, not to one closed by the end of the process.
DWORD WINAPI parent_watch(void* parent) {
    WaitForSingleObject(static_cast<HANDLE>(parent), kChildLifetimeMs);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

// The fetch itself; false when the transfer failed.
bool fetch(HANDLE out, const std::wstring& url, std::size_t max_bytes) {
    // PRECONFIG: the user's own proxy settings.
    HINTERNET session =
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return false;
    DWORD timeout = static_cast<DWORD>(platform::kUrlFetchTimeoutMs);
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    // A compressed transfer where the server offers one, decoded by WinINet.
    BOOL decode = TRUE;
    const bool decoding =
        InternetSetOptionW(session, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode);
    // Certificate errors fail the request: no INTERNET_FLAG_IGNORE_CERT_*
    // flag, and NO_UI keeps WinINet from asking the user instead.
    // No RELOAD or PRAGMA_NOCACHE: either sends a no-cache header, and the
    // network serves its feed through a cache that should answer. A copy
    // in the local cache is checked with the server (RESYNCHRONIZE).
    const DWORD flags = INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_CACHE_WRITE |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
    HINTERNET request = InternetOpenUrlW(session, url.c_str(), decoding ? kAcceptEncoding : nullptr,
                                         decoding ? static_cast<DWORD>(-1) : 0, flags, 0);
    bool ok = request != nullptr;
    if (request) {
        // Any status comes with its body, as before; the caller decides.
        DWORD code = 0, size = sizeof code;
        if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                           nullptr))
            ok = write_all(out, platform::encode_status_frame(static_cast<int>(code)));
        std::wstring raw(platform::kMaxFramePayload / 2, L'\0');
        DWORD raw_size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
        if (ok &&
            HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &raw_size, nullptr)) {
            raw.resize(raw_size / sizeof(wchar_t));
            std::string headers(raw.size(), '\0');
            // Header text is ASCII; anything else becomes '?'.
            for (std::size_t i = 0; i < raw.size(); ++i)
                headers[i] = raw[i] < 0x80 ? static_cast<char>(raw[i]) : '?';
            ok = write_all(out, platform::encode_frame(platform::FetchFrame::Headers, headers));
        }
        char buffer[platform::kMaxFramePayload / 4];
        std::size_t total = 0;
        while (ok) {
            DWORD got = 0;
            if (!InternetReadFile(request, buffer, sizeof buffer, &got)) {
                ok = false;
                break;
            }
            if (got == 0) break;
            total += got;
            ok = write_all(out, platform::encode_frame(platform::FetchFrame::Body,
                                                       std::string_view(buffer, got)));
            // One byte more than allowed is enough to know it is too long.
            if (total > max_bytes) ok = false;
        }
        InternetCloseHandle(request);
    }
    InternetCloseHandle(session);
    return ok;
}

}  // namespace

std::wstring fetch_child_arguments(void* parent, std::string_view url, std::size_t max_bytes) {
    return std::wstring(kFetchChildSwitch) + L" " +
           std::to_wstring(reinterpret_cast<std::uintptr_t>(parent)) + L" " +
           std::to_wstring(max_bytes) + L" " + widen(hex(url));
}

int run_fetch_child_if_asked() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return -1;
    const bool child = argc == 5 && std::wstring_view(argv[1]) == kFetchChildSwitch;
    std::string url;
    std::size_t max_bytes = 0;
    HANDLE parent = nullptr;
    bool valid = false;
    if (child) {
        wchar_t* end = nullptr;
        parent = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(wcstoull(argv[2], &end, 10)));
        valid = end && *end == L'\0' && parent;
        max_bytes = static_cast<std::size_t>(wcstoull(argv[3], &end, 10));
        valid = valid && end && *end == L'\0' && unhex(argv[4], url) && !url.empty();
    }
    LocalFree(argv);
    if (!child) return -1;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!valid || !out || out == INVALID_HANDLE_VALUE) return 2;
    HANDLE watch = CreateThread(nullptr, 0, parent_watch, parent, 0, nullptr);
    if (!watch) return 2;
    CloseHandle(watch);
    const bool ok = fetch(out, widen(url), max_bytes);
    write_all(out, platform::encode_end_frame(ok));
    CloseHandle(out);
    return ok ? 0 : 1;
}

}  // namespace tovira::win32
