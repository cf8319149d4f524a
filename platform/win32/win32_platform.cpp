// The Win32 backend of the core.
//
// Implements:
// - the main window "Tovira" (borderless popup: the core drags it by its
//   surface) with every core control mirrored as a standard control whose
//   window ID is the control's fixed ID and whose window text is its
//   caption: BUTTON (push buttons; owner-drawn station buttons in their
//   back colour; 3-state check boxes; radio buttons), STATIC labels, EDIT
//   fields; the lines painted on the window; the window background;
// - colours through WM_CTLCOLOR*, fonts by name, size and weight, tool
//   tips through one tooltip control, tab order by the controls' tab index;
// - twips to pixels by the monitor's DPI (per-monitor aware; re-layout on
//   WM_DPICHANGED) for sizes, by the system DPI for screen positions; the
//   outer window rectangle as the core's geometry;
// - the user's actions fed back into the core: clicks, text changes, key
//   presses and double clicks in fields, focus changes, the window moved by
//   dragging, closing and the end of the Windows session;
// - window timers, one PeekMessage pass as `do_events`, waits that sleep in
//   MsgWaitForMultipleObjectsEx until a message or the deadline;
// - every event for the core handed to the core's event gate, which keeps
//   them while the dispatch waits (activation, typing, held modifiers); the
//   gate's deliveries come back as posted messages;
// - window activation by title, true only once the window is in front;
//   keystrokes through SendInput only while that window (or another of its
//   program's) is in front (each character checked against the layout,
//   Shift and Caps Lock, else typed as Unicode), with an optional wait
//   until the target has processed them; the user's modifier keys;
// - files in the executable's folder (replaced with MoveFileExW), the
//   user's locale (decimal separator, upper case, ANSI code page);
// - a Winsock TCP client (name resolution on a worker thread, events by
//   WSAAsyncSelect) and a WinINet URL fetch on a worker thread (HTTP and
//   HTTPS, the user's proxy settings, gzip transfer, "Tovira/<version>" as
//   User-Agent, certificate errors as failures).
//
// All state lives in `Win32Data`. Only the user-interface thread touches it;
// worker threads own their job objects and hand results over with
// PostMessageW.
#include "platform/win32/win32_platform.h"

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <commctrl.h>
#include <process.h>
#include <uxtheme.h>
#include <wininet.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "app/controls.h"
#include "app/main_window.h"
#include "platform/win32/balloon.h"
#include "platform/win32/code_page.h"
#include "tovira_version.h"

namespace tovira::win32 {

namespace {

using platform::ControlProp;

constexpr UINT kMsgResolved = WM_APP + 1;   // lParam: ResolveJob*
constexpr UINT kMsgSocket = WM_APP + 2;     // WSAAsyncSelect events
constexpr UINT kMsgFetchDone = WM_APP + 3;  // lParam: FetchJob*
constexpr UINT kMsgTabOrder = WM_APP + 4;   // apply the tab order once
constexpr UINT kMsgPosted = WM_APP + 5;     // run the first of `Win32Data::posted`
constexpr wchar_t kWindowClass[] = L"ToviraMainWindow";
constexpr UINT_PTR kSubclassId = 1;
// The first try of an activation; the rest of kActivationWaitMs follows the
// Alt tap that lifts the foreground lock.
constexpr DWORD kActivateFirstTryMs = 500;
constexpr DWORD kKeyRoundTripMs = 1000;
constexpr DWORD kKeyWaitLimitMs = 5000;
constexpr DWORD kInetTimeoutMs = 60000;
// Servers see which program asks, and which version of it.
constexpr wchar_t kUserAgent[] = L"Tovira/" TOVIRA_VERSION_STRING;
// Undone by WinINet's decoder once INTERNET_OPTION_HTTP_DECODING is on. Only
// gzip: "deflate" means zlib-wrapped to some servers and raw to others.
constexpr wchar_t kAcceptEncoding[] = L"Accept-Encoding: gzip\r\n";

// ---- text ----------------------------------------------------------------------

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

// Runs a call into the core. No exception may unwind through Windows'
// frames; the core reports nothing to the user, so neither does this.
template <typename F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

// Hands an event for the core to the gate: it runs now, or after the wait
// of the dispatch that is under way. Whatever it needs is captured by value.
void core_event(Win32Data& d, std::function<void()> event) noexcept;

// ---- files -----------------------------------------------------------------------

class Win32InputFile final : public platform::InputFile {
public:
    explicit Win32InputFile(HANDLE h) : h_(h) {}
    ~Win32InputFile() override { CloseHandle(h_); }
    Win32InputFile(const Win32InputFile&) = delete;
    Win32InputFile& operator=(const Win32InputFile&) = delete;

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        if (!ReadFile(h_, buffer, want, &got, nullptr)) return -1;
        return static_cast<std::ptrdiff_t>(got);
    }

private:
    HANDLE h_;
};

class Win32OutputFile final : public platform::OutputFile {
public:
    explicit Win32OutputFile(HANDLE h) : h_(h) {}
    ~Win32OutputFile() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    bool write(std::string_view bytes) override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        while (!bytes.empty()) {
            DWORD done = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if (!WriteFile(h_, bytes.data(), want, &done, nullptr) || done == 0) return false;
            bytes.remove_prefix(done);
        }
        return true;
    }

    bool commit() override {
        if (h_ == INVALID_HANDLE_VALUE) return false;
        const bool flushed = FlushFileBuffers(h_) != 0;
        const bool closed = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return flushed && closed;
    }

private:
    HANDLE h_;
};

}  // namespace

class Win32Files final : public platform::FileSystem {
public:
    Win32Files() {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n =
                GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (n == 0) break;
            if (n < path.size()) {
                path.resize(n);
                const std::size_t slash = path.find_last_of(L"\\/");
                folder_ = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
                break;
            }
            if (path.size() >= 32768) break;
            path.resize(path.size() * 2);
        }
    }

    std::unique_ptr<platform::InputFile> open_read(std::string_view name, bool* missing) override {
        if (missing) *missing = false;
        const std::wstring p = path(name);
        if (p.empty()) return nullptr;
        HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (missing) *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            return nullptr;
        }
        return std::make_unique<Win32InputFile>(h);
    }

    std::unique_ptr<platform::OutputFile> create(std::string_view name) override {
        const std::wstring p = path(name);
        if (p.empty()) return nullptr;
        HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32OutputFile>(h);
    }

    bool remove(std::string_view name) override {
        const std::wstring p = path(name);
        return !p.empty() && DeleteFileW(p.c_str()) != 0;
    }

    bool replace(std::string_view from, std::string_view to) override {
        const std::wstring a = path(from);
        const std::wstring b = path(to);
        if (a.empty() || b.empty()) return false;
        // A virus scanner or indexer may hold the new file for a moment
        // after it was written; the save runs once, at exit, so it waits a
        // little rather than lose the session's changes.
        for (int attempt = 0;; ++attempt) {
            if (MoveFileExW(a.c_str(), b.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return true;
            }
            const DWORD error = GetLastError();
            if (attempt == 9 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                                 error != ERROR_LOCK_VIOLATION)) {
                return false;
            }
            Sleep(50);
        }
    }

private:
    // Only plain names in the program's folder; anything with a folder part
    // is refused rather than resolved somewhere else.
    std::wstring path(std::string_view name) const {
        if (folder_.empty() || name.empty() || name == "." || name == "..") return {};
        if (name.find_first_of("\\/:") != std::string_view::npos) return {};
        if (name.find('\0') != std::string_view::npos) return {};
        return folder_ + widen(name);
    }

    std::wstring folder_;
};

// ---- locale ----------------------------------------------------------------------

class Win32Locale final : public platform::Locale {
public:
    char decimal_separator() override {
        wchar_t buf[8] = {};
        if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) > 0 && buf[0] > 0 &&
            buf[0] < 0x80) {
            return static_cast<char>(buf[0]);
        }
        return '.';
    }

    std::string to_upper(std::string_view utf8) override {
        const std::wstring w = widen(utf8);
        if (w.empty()) return std::string(utf8);
        const DWORD flags = LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING;
        const int size = static_cast<int>(w.size());
        const int n = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, w.data(), size, nullptr, 0,
                                    nullptr, nullptr, 0);
        if (n <= 0) return std::string(utf8);
        std::wstring up(static_cast<std::size_t>(n), L'\0');
        LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, w.data(), size, up.data(), n, nullptr,
                      nullptr, 0);
        return wide_to_utf8(up).value_or(std::string(utf8));
    }

    std::optional<std::string> ansi_to_utf8(std::string_view ansi) override {
        return code_page_to_utf8(ansi, code_page_);
    }
    std::optional<std::string> utf8_to_ansi(std::string_view utf8) override {
        return utf8_to_code_page(utf8, code_page_);
    }

private:
    // The system's code page, fixed for the run.
    unsigned code_page_ = GetACP();
};

// ---- the backend's state ---------------------------------------------------------

class Win32Socket;

// One mirrored control. Lines have no window of their own.
struct ControlWnd {
    Control* control = nullptr;  // null once the form is detached
    ControlKind kind = ControlKind::Label;
    HWND hwnd = nullptr;
    bool tool_added = false;
    // The text the backend last gave the window, as far as a window text
    // can hold it (up to the first NUL), and whether it is being set now:
    // neither is a change of the user's.
    std::wstring given;
    bool setting_text = false;
};

struct Win32Data {
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND tooltip = nullptr;
    Form1* form = nullptr;
    UINT dpi = USER_DEFAULT_SCREEN_DPI;         // of the window's monitor
    UINT system_dpi = USER_DEFAULT_SCREEN_DPI;  // fixed for the run
    bool quitting = false;
    bool applying_bounds = false;  // our own SetWindowPos is under way
    bool tab_order_posted = false;
    float left = 0, top = 0, width = 0, height = 0;  // the core's geometry, twips
    HBRUSH background = nullptr;
    std::vector<std::unique_ptr<ControlWnd>> controls;
    std::unordered_map<const Control*, ControlWnd*> by_control;
    std::map<COLORREF, HBRUSH> brushes;
    std::map<std::tuple<std::wstring, int, bool>, HFONT> fonts;
    std::map<platform::TimerSink*, UINT_PTR> timer_ids;
    std::map<UINT_PTR, platform::TimerSink*> timer_sinks;
    UINT_PTR next_timer_id = 1;
    std::map<unsigned, Win32Socket*> sockets;  // by socket object id
    HWND activated = nullptr;                  // the window `app_activate` found last
    unsigned next_socket_id = 1;
    LARGE_INTEGER qpc_frequency{};
    bool winsock = false;
    bool ending = false;  // the Windows session ends: no more typing
    std::unique_ptr<platform::EventGate> gate;
    std::deque<std::function<void()>> posted;
    Win32Files files;
    Win32Locale locale;

    int px(float twips) const {
        return static_cast<int>(std::lround(twips * static_cast<float>(dpi) / 1440.0f));
    }
    float twips(int px_value) const {
        return static_cast<float>(px_value) * 1440.0f / static_cast<float>(dpi);
    }
    // Screen positions (the window's place, the screen's size) use one scale
    // for the whole run, the system's: with monitors of different scale the
    // same twips must still mean the same place, also in tq.cfg next time.
    // Sizes, fonts and the controls follow the window's own monitor.
    int px_pos(float twips_value) const {
        return static_cast<int>(
            std::lround(twips_value * static_cast<float>(system_dpi) / 1440.0f));
    }
    float twips_pos(int px_value) const {
        return static_cast<float>(px_value) * 1440.0f / static_cast<float>(system_dpi);
    }

    ControlWnd* entry(HWND hwnd) const {
        if (!hwnd || !window || GetParent(hwnd) != window) return nullptr;
        auto* e = reinterpret_cast<ControlWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return e && e->control ? e : nullptr;
    }

    HBRUSH brush(std::uint32_t rgb) {
        const COLORREF c = colour(rgb);
        auto it = brushes.find(c);
        if (it != brushes.end()) return it->second;
        HBRUSH b = CreateSolidBrush(c);
        brushes.emplace(c, b);
        return b;
    }

    HFONT font(const Font& f) {
        const std::wstring name = f.name.empty() ? std::wstring(L"MS Shell Dlg") : widen(f.name);
        const int em = -static_cast<int>(std::lround(f.size * static_cast<float>(dpi) / 72.0f));
        auto key = std::make_tuple(name, em, f.bold);
        auto it = fonts.find(key);
        if (it != fonts.end()) return it->second;
        HFONT h = CreateFontW(em, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
        fonts.emplace(std::move(key), h);
        return h;
    }
};

namespace {

void core_event(Win32Data& d, std::function<void()> event) noexcept {
    if (!d.gate) return;
    guarded([&] {
        d.gate->deliver([&d, event = std::move(event)] {
            if (d.form && !d.quitting) guarded(event);
        });
    });
}

// ---- network: TCP socket -----------------------------------------------------------

struct ResolveJob {
    HWND hwnd = nullptr;
    unsigned socket_id = 0;
    unsigned generation = 0;
    std::string host;
    std::uint16_t port = 0;
    int error = 0;
    sockaddr_storage address{};
    int address_size = 0;
};

// Name resolution blocks, so it runs here and never on the window's thread.
unsigned __stdcall resolve_thread(void* arg) {
    auto* job = static_cast<ResolveJob*>(arg);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char port[8];
    std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(job->port));
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(job->host.c_str(), port, &hints, &found);
    if (rc != 0 || !found) {
        job->error = rc != 0 ? rc : WSAHOST_NOT_FOUND;
    } else {
        // IPv4 first: "localhost" and friends may list ::1 ahead of 127.0.0.1.
        const addrinfo* pick = found;
        for (const addrinfo* a = found; a; a = a->ai_next) {
            if (a->ai_family == AF_INET) {
                pick = a;
                break;
            }
        }
        const std::size_t size = std::min<std::size_t>(pick->ai_addrlen, sizeof job->address);
        std::memcpy(&job->address, pick->ai_addr, size);
        job->address_size = static_cast<int>(size);
        freeaddrinfo(found);
    }
    if (!PostMessageW(job->hwnd, kMsgResolved, 0, reinterpret_cast<LPARAM>(job))) delete job;
    return 0;
}

}  // namespace

class Win32Socket final : public platform::TcpSocket {
public:
    Win32Socket(Win32Data& d, platform::SocketEvents& events)
        : d_(d), events_(events), id_(d.next_socket_id++) {
        d_.sockets[id_] = this;
    }
    ~Win32Socket() override {
        close();
        d_.sockets.erase(id_);
    }
    Win32Socket(const Win32Socket&) = delete;
    Win32Socket& operator=(const Win32Socket&) = delete;

    void close() override {
        release();
        in_.clear();
        out_.clear();
    }

    bool connect(std::string_view host, std::uint16_t port) override {
        close();
        if (!platform::valid_host(host) || port == 0) return false;
        if (!d_.winsock || !d_.window) return false;
        auto* job = new ResolveJob;
        job->hwnd = d_.window;
        job->socket_id = id_;
        job->generation = generation_;
        job->host = std::string(host);
        job->port = port;
        const std::uintptr_t thread = _beginthreadex(nullptr, 0, resolve_thread, job, 0, nullptr);
        if (!thread) {
            delete job;
            return false;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        return true;
    }

    bool send(std::string_view bytes) override {
        if (socket_ == INVALID_SOCKET || !connected_) return false;
        out_.append(bytes);
        flush();
        return socket_ != INVALID_SOCKET;
    }

    std::string get_data() override {
        std::string data;
        data.swap(in_);
        return data;
    }

    bool owns(SOCKET s) const { return s != INVALID_SOCKET && s == socket_; }
    unsigned generation() const { return generation_; }

    void on_resolved(const ResolveJob& job) {
        if (job.generation != generation_) return;  // an earlier connect
        if (job.error != 0) {
            ++generation_;
            events_.on_socket_error(job.error);
            return;
        }
        socket_ = ::socket(job.address.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) {
            events_.on_socket_error(WSAGetLastError());
            return;
        }
        WSAAsyncSelect(socket_, d_.window, kMsgSocket, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
        const int rc =
            ::connect(socket_, reinterpret_cast<const sockaddr*>(&job.address), job.address_size);
        if (rc == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) {
                release();
                events_.on_socket_error(error);
            }
        }
    }

    void on_event(SOCKET s, int event, int error) {
        if (s != socket_) return;
        const unsigned generation = generation_;
        switch (event) {
            case FD_CONNECT:
                if (error != 0) {
                    release();
                    events_.on_socket_error(error);
                } else {
                    connected_ = true;
                    events_.on_socket_connect();
                }
                break;
            case FD_READ:
                receive_some();
                if (!in_.empty()) events_.on_socket_data_arrival(in_.size());
                break;
            case FD_WRITE: flush(); break;
            case FD_CLOSE:
                receive_rest();
                if (!in_.empty()) events_.on_socket_data_arrival(in_.size());
                if (generation != generation_) return;  // closed by the handler
                release();
                if (error != 0) {
                    events_.on_socket_error(error);
                } else {
                    events_.on_socket_close();
                }
                break;
            default: break;
        }
    }

private:
    // One read per FD_READ: Winsock posts another while data is left, so a
    // fast sender cannot keep the window from its other messages, and the
    // client's size limit is checked between reads.
    void receive_some() {
        char buffer[65536];
        const int n = recv(socket_, buffer, sizeof buffer, 0);
        if (n > 0) in_.append(buffer, static_cast<std::size_t>(n));
    }

    // After FD_CLOSE no further FD_READ comes: what is still queued is read
    // now. The peer has closed, so this is bounded by the receive buffer.
    void receive_rest() {
        char buffer[65536];
        while (socket_ != INVALID_SOCKET) {
            const int n = recv(socket_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            in_.append(buffer, static_cast<std::size_t>(n));
        }
    }

    void flush() {
        while (socket_ != INVALID_SOCKET && !out_.empty()) {
            const int want = static_cast<int>(std::min<std::size_t>(out_.size(), 1 << 20));
            const int n = ::send(socket_, out_.data(), want, 0);
            if (n == SOCKET_ERROR) {
                // The rest goes when FD_WRITE says there is room again.
                if (WSAGetLastError() == WSAEWOULDBLOCK) return;
                out_.clear();
                return;
            }
            out_.erase(0, static_cast<std::size_t>(n));
        }
    }

    // Ends the connection; no event of it is delivered afterwards, not even
    // one that is already queued.
    void release() {
        ++generation_;
        connected_ = false;
        if (socket_ == INVALID_SOCKET) return;
        const SOCKET old = socket_;
        socket_ = INVALID_SOCKET;
        if (d_.window) WSAAsyncSelect(old, d_.window, 0, 0);
        closesocket(old);
        if (!d_.window) return;
        std::vector<MSG> others;
        MSG m;
        while (PeekMessageW(&m, d_.window, kMsgSocket, kMsgSocket, PM_REMOVE | PM_NOYIELD)) {
            if (static_cast<SOCKET>(m.wParam) != old) others.push_back(m);
        }
        for (const MSG& o : others) PostMessageW(d_.window, kMsgSocket, o.wParam, o.lParam);
    }

    Win32Data& d_;
    platform::SocketEvents& events_;
    unsigned id_;
    unsigned generation_ = 0;
    SOCKET socket_ = INVALID_SOCKET;
    bool connected_ = false;
    std::string in_;
    std::string out_;
};

// ---- network: URL fetch ----------------------------------------------------------------

namespace {

class Win32UrlFetch;

// Shared by the window's thread and one worker thread; the worker touches
// only `session`/`cancelled` (under `lock`) and its own result fields.
struct FetchJob {
    LONG refs = 2;  // the fetch object and the worker
    HWND hwnd = nullptr;
    std::wstring url;
    std::size_t max_bytes = 0;
    CRITICAL_SECTION lock;
    HINTERNET session = nullptr;
    bool cancelled = false;
    bool ok = false;
    int status = 0;
    std::string body;
    Win32UrlFetch* owner = nullptr;  // window thread only

    FetchJob() { InitializeCriticalSection(&lock); }
    ~FetchJob() { DeleteCriticalSection(&lock); }
    FetchJob(const FetchJob&) = delete;
    FetchJob& operator=(const FetchJob&) = delete;
};

void release_job(FetchJob* job) {
    if (InterlockedDecrement(&job->refs) == 0) delete job;
}

unsigned __stdcall fetch_thread(void* arg) {
    auto* job = static_cast<FetchJob*>(arg);
    // PRECONFIG: the user's own proxy settings.
    HINTERNET session =
        InternetOpenW(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    bool cancelled = false;
    EnterCriticalSection(&job->lock);
    if (job->cancelled) {
        cancelled = true;
    } else {
        job->session = session;
    }
    LeaveCriticalSection(&job->lock);
    if (cancelled) {
        if (session) InternetCloseHandle(session);
    } else if (session) {
        DWORD timeout = kInetTimeoutMs;
        InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
        // A compressed transfer where the server offers one, decoded by WinINet.
        BOOL decode = TRUE;
        const bool decoding =
            InternetSetOptionW(session, INTERNET_OPTION_HTTP_DECODING, &decode, sizeof decode);
        // Certificate errors fail the request: no INTERNET_FLAG_IGNORE_CERT_*
        // flag, and NO_UI keeps WinINet from asking the user instead.
        const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                            INTERNET_FLAG_NO_COOKIES;
        // A cancel closes `session` from the window's thread, which makes a
        // blocking call here return with an error; the request handle goes
        // with its session then.
        HINTERNET request =
            InternetOpenUrlW(session, job->url.c_str(), decoding ? kAcceptEncoding : nullptr,
                             decoding ? static_cast<DWORD>(-1) : 0, flags, 0);
        bool ok = request != nullptr;
        if (request) {
            // Any status comes with its body, as before; the caller decides.
            DWORD code = 0, size = sizeof code;
            if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                               &size, nullptr))
                job->status = static_cast<int>(code);
            char buffer[8192];
            for (;;) {
                DWORD got = 0;
                if (!InternetReadFile(request, buffer, sizeof buffer, &got)) {
                    ok = false;
                    break;
                }
                if (got == 0) break;
                job->body.append(buffer, got);
                // One byte more than allowed is enough to know it is too long.
                if (job->body.size() > job->max_bytes) {
                    ok = false;
                    break;
                }
            }
        }
        job->ok = ok;
        EnterCriticalSection(&job->lock);
        cancelled = job->cancelled;
        if (!cancelled) {
            if (request) InternetCloseHandle(request);
            InternetCloseHandle(session);
            job->session = nullptr;
        }
        LeaveCriticalSection(&job->lock);
    }
    if (cancelled || !PostMessageW(job->hwnd, kMsgFetchDone, 0, reinterpret_cast<LPARAM>(job))) {
        release_job(job);
    }
    return 0;
}

class Win32UrlFetch final : public platform::UrlFetch {
public:
    Win32UrlFetch(Win32Data& d, platform::UrlFetchEvents& events) : d_(d), events_(events) {}
    ~Win32UrlFetch() override { cancel(); }
    Win32UrlFetch(const Win32UrlFetch&) = delete;
    Win32UrlFetch& operator=(const Win32UrlFetch&) = delete;

    bool start(std::string_view url, std::size_t max_bytes) override {
        cancel();
        if (url.empty() || !d_.window) return false;
        auto* job = new FetchJob;
        job->hwnd = d_.window;
        job->url = widen(url);
        job->max_bytes = max_bytes;
        job->owner = this;
        const std::uintptr_t thread = _beginthreadex(nullptr, 0, fetch_thread, job, 0, nullptr);
        if (!thread) {
            delete job;
            return false;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        job_ = job;
        return true;
    }

    void cancel() override {
        if (!job_) return;
        EnterCriticalSection(&job_->lock);
        job_->cancelled = true;
        if (job_->session) {
            InternetCloseHandle(job_->session);
            job_->session = nullptr;
        }
        LeaveCriticalSection(&job_->lock);
        job_->owner = nullptr;
        release_job(job_);
        job_ = nullptr;
    }

    static void completed(FetchJob* job) {
        Win32UrlFetch* owner = job->owner;
        if (owner && owner->job_ == job) {
            job->owner = nullptr;
            owner->job_ = nullptr;
            platform::UrlFetchResult result;
            result.ok = job->ok;
            result.status = job->status;
            result.body = std::move(job->body);
            release_job(job);  // the owner's reference
            guarded([&] { owner->events_.on_url_fetch_done(std::move(result)); });
        }
        release_job(job);  // the worker's reference
    }

private:
    Win32Data& d_;
    platform::UrlFetchEvents& events_;
    FetchJob* job_ = nullptr;
};

// ---- keystrokes ----------------------------------------------------------------------

WORD named_key_vk(platform::NamedKey key) {
    using platform::NamedKey;
    const auto k = static_cast<int>(key);
    if (k >= static_cast<int>(NamedKey::F1) && k <= static_cast<int>(NamedKey::F16)) {
        return static_cast<WORD>(VK_F1 + (k - static_cast<int>(NamedKey::F1)));
    }
    switch (key) {
        case NamedKey::Enter: return VK_RETURN;
        case NamedKey::Down: return VK_DOWN;
        case NamedKey::Up: return VK_UP;
        case NamedKey::Left: return VK_LEFT;
        case NamedKey::Right: return VK_RIGHT;
        case NamedKey::Tab: return VK_TAB;
        case NamedKey::Esc: return VK_ESCAPE;
        case NamedKey::Backspace: return VK_BACK;
        case NamedKey::Delete: return VK_DELETE;
        case NamedKey::Insert: return VK_INSERT;
        case NamedKey::Home: return VK_HOME;
        case NamedKey::End: return VK_END;
        case NamedKey::PageUp: return VK_PRIOR;
        case NamedKey::PageDown: return VK_NEXT;
        case NamedKey::Break: return VK_CANCEL;
        case NamedKey::CapsLock: return VK_CAPITAL;
        case NamedKey::NumLock: return VK_NUMLOCK;
        case NamedKey::ScrollLock: return VK_SCROLL;
        case NamedKey::PrintScreen: return VK_SNAPSHOT;
        case NamedKey::Help: return VK_HELP;
        case NamedKey::Add: return VK_ADD;
        case NamedKey::Subtract: return VK_SUBTRACT;
        case NamedKey::Multiply: return VK_MULTIPLY;
        case NamedKey::Divide: return VK_DIVIDE;
        default: return VK_RETURN;
    }
}

bool extended_key(WORD vk) {
    switch (vk) {
        case VK_UP:
        case VK_DOWN:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_HOME:
        case VK_END:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_INSERT:
        case VK_DELETE:
        case VK_NUMLOCK:
        case VK_DIVIDE:
        case VK_SNAPSHOT:
        case VK_CANCEL: return true;
        default: return false;
    }
}

void add_key(std::vector<INPUT>& in, WORD vk, bool up, HKL layout) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = vk;
    i.ki.wScan = static_cast<WORD>(MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout));
    i.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (extended_key(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    in.push_back(i);
}

void add_unicode(std::vector<INPUT>& in, char32_t ch) {
    wchar_t units[2];
    int count = 1;
    if (ch > 0xFFFF) {
        const char32_t v = ch - 0x10000;
        units[0] = static_cast<wchar_t>(0xD800 + (v >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(ch);
    }
    for (int u = 0; u < count; ++u) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wScan = units[u];
        i.ki.dwFlags = KEYEVENTF_UNICODE;
        in.push_back(i);
        i.ki.dwFlags |= KEYEVENTF_KEYUP;
        in.push_back(i);
    }
}

// Whether `vk` types exactly `ch` with Shift as given and Caps Lock as the
// user has it: Caps Lock reverses Shift on letters (on some layouts on digits
// too), and a dead key types nothing by itself.
bool key_types(WORD vk, bool shift, bool caps, char32_t ch, HKL layout) {
    BYTE state[256] = {};
    if (shift) state[VK_SHIFT] = 0x80;
    if (caps) state[VK_CAPITAL] = 0x01;
    wchar_t out[4] = {};
    const UINT scan = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout);
    // Flag 4: the keyboard's dead-key state is left as it is.
    const int n = ToUnicodeEx(vk, scan, state, out, 4, 4, layout);
    return n == 1 && static_cast<char32_t>(out[0]) == ch;
}

void add_stroke(std::vector<INPUT>& in, const platform::KeyStroke& k, HKL layout, bool caps) {
    if (k.mods.shift) add_key(in, VK_SHIFT, false, layout);
    if (k.mods.ctrl) add_key(in, VK_CONTROL, false, layout);
    if (k.mods.alt) add_key(in, VK_MENU, false, layout);
    if (k.named) {
        const WORD vk = named_key_vk(k.key);
        add_key(in, vk, false, layout);
        add_key(in, vk, true, layout);
    } else {
        const SHORT scan = k.ch <= 0xFFFF ? VkKeyScanExW(static_cast<WCHAR>(k.ch), layout)
                                          : static_cast<SHORT>(-1);
        const int shifts = scan == -1 ? 0 : (scan >> 8) & 0xFF;
        // Characters the layout lacks, and those that need Ctrl or Alt
        // (AltGr), are typed as themselves rather than as key chords.
        const WORD vk = static_cast<WORD>(scan & 0xFF);
        bool shift = (shifts & 1) != 0;
        bool as_key = scan != -1 && (shifts & 6) == 0;
        // A plain character must arrive as itself, whatever Caps Lock says.
        if (as_key && !k.mods.shift && !k.mods.ctrl && !k.mods.alt &&
            !key_types(vk, shift, caps, k.ch, layout)) {
            shift = !shift;
            as_key = key_types(vk, shift, caps, k.ch, layout);
        }
        if (!as_key) {
            add_unicode(in, k.ch);
        } else {
            shift = shift && !k.mods.shift;
            if (shift) add_key(in, VK_SHIFT, false, layout);
            add_key(in, vk, false, layout);
            add_key(in, vk, true, layout);
            if (shift) add_key(in, VK_SHIFT, true, layout);
        }
    }
    if (k.mods.alt) add_key(in, VK_MENU, true, layout);
    if (k.mods.ctrl) add_key(in, VK_CONTROL, true, layout);
    if (k.mods.shift) add_key(in, VK_SHIFT, true, layout);
}

// ---- window activation -----------------------------------------------------------------

struct FindTitle {
    std::wstring title;
    HWND self = nullptr;
    HWND exact = nullptr;
    HWND prefix = nullptr;
};

BOOL CALLBACK find_title(HWND hwnd, LPARAM arg) {
    auto* f = reinterpret_cast<FindTitle*>(arg);
    if (hwnd == f->self || !IsWindowVisible(hwnd)) return TRUE;
    const std::wstring text = window_text(hwnd);
    if (text == f->title) {
        f->exact = hwnd;
        return FALSE;
    }
    if (!f->prefix && text.size() > f->title.size() &&
        text.compare(0, f->title.size(), f->title) == 0) {
        f->prefix = hwnd;
    }
    return TRUE;
}

// ---- the window ------------------------------------------------------------------------

Win32Data* g_data = nullptr;  // for the window procedures; one window per process

void apply_font(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd) return;
    SendMessageW(e.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(d.font(e.control->font())), TRUE);
}

void apply_geometry(Win32Data& d, ControlWnd& e) {
    const Control& c = *e.control;
    if (!e.hwnd) return;
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    const int w = std::max(d.px(c.left() + c.width()) - x, 0);
    const int h = std::max(d.px(c.top() + c.height()) - y, 0);
    SetWindowPos(e.hwnd, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void apply_value(ControlWnd& e) {
    if (!e.hwnd) return;
    WPARAM state = BST_UNCHECKED;
    if (e.control->kind() == ControlKind::CheckBox) {
        const int v = static_cast<const CheckBox*>(e.control)->value();
        state = v == 1 ? BST_CHECKED : v == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
    } else if (e.control->kind() == ControlKind::OptionButton) {
        state = static_cast<const OptionButton*>(e.control)->value() ? BST_CHECKED : BST_UNCHECKED;
    } else {
        return;
    }
    if (SendMessageW(e.hwnd, BM_GETCHECK, 0, 0) != static_cast<LRESULT>(state)) {
        SendMessageW(e.hwnd, BM_SETCHECK, state, 0);
    }
}

// What a window text can hold of a core text: it ends at the first NUL.
std::wstring window_text_of(std::string_view utf8) {
    std::wstring text = widen(utf8);
    const std::size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return text;
}

bool transparent_label(const ControlWnd& e) {
    return e.control && e.kind == ControlKind::Label && e.control->back_transparent();
}

RECT rect_in_window(Win32Data& d, HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, d.window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A control's place in the window, in pixels, as apply_geometry puts it:
// from the core's values, without asking Windows (which, under Wine, costs
// a round trip to the server per call).
RECT control_rect(const Win32Data& d, const Control& c) {
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    return RECT{x, y, std::max(d.px(c.left() + c.width()), x),
                std::max(d.px(c.top() + c.height()), y)};
}

// A transparent label paints the texts of the transparent labels it
// overlaps (see paint_transparent_label): they repaint with it.
void invalidate_labels_over(Win32Data& d, const RECT& area) {
    for (auto& o : d.controls) {
        if (!o->hwnd || !transparent_label(*o)) continue;
        const RECT r = control_rect(d, *o->control);
        RECT overlap;
        if (IntersectRect(&overlap, &r, &area)) InvalidateRect(o->hwnd, nullptr, FALSE);
    }
}

void apply_caption(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd) return;
    const std::wstring text = window_text_of(e.control->caption());
    e.given = text;
    // A field's own typing already shows; setting it again would move the caret.
    if (window_text(e.hwnd) != text) {
        e.setting_text = true;
        SetWindowTextW(e.hwnd, text.c_str());
        e.setting_text = false;
    }
    if (e.control->graphical()) InvalidateRect(e.hwnd, nullptr, TRUE);
    if (transparent_label(e)) invalidate_labels_over(d, control_rect(d, *e.control));
}

void apply_tooltip(Win32Data& d, ControlWnd& e) {
    if (!e.hwnd || !d.tooltip) return;
    std::wstring text = widen(e.control->tooltip());
    // Most controls never get a tip: a tool for each of them (and the tool
    // tip's subclass of every control) makes creating the window half as slow
    // again under Wine. A tool comes with the first text and then stays.
    if (!e.tool_added && text.empty()) return;
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = d.window;
    ti.uId = reinterpret_cast<UINT_PTR>(e.hwnd);
    ti.lpszText = text.data();
    if (!e.tool_added) {
        e.tool_added = SendMessageW(d.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)) != 0;
    } else {
        SendMessageW(d.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
    }
}

// Keyboard focus moves through the windows in z-order, so the z-order
// follows the tab index. Labels never take the focus and stay beneath the
// other controls, where they would overlap them.
void apply_tab_order(Win32Data& d) {
    d.tab_order_posted = false;
    std::vector<ControlWnd*> order;
    for (auto& e : d.controls) {
        if (e->hwnd && e->control) order.push_back(e.get());
    }
    std::stable_sort(order.begin(), order.end(), [](const ControlWnd* a, const ControlWnd* b) {
        const bool la = a->control->kind() == ControlKind::Label;
        const bool lb = b->control->kind() == ControlKind::Label;
        if (la != lb) return lb;
        return a->control->tab_index() < b->control->tab_index();
    });
    HWND after = HWND_TOP;
    for (ControlWnd* e : order) {
        SetWindowPos(e->hwnd, after, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
        after = e->hwnd;
    }
}

void draw_station_button(Win32Data& d, const DRAWITEMSTRUCT& di, const Control& c) {
    HDC dc = di.hDC;
    RECT r = di.rcItem;
    FillRect(dc, &r, d.brush(c.back_color()));
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const std::wstring text = widen(c.caption());
    RECT tr = r;
    if (pressed) OffsetRect(&tr, 1, 1);
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = SetTextColor(dc, colour(c.fore_color()));
    HGDIOBJ old_font = SelectObject(dc, d.font(c.font()));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, old_font);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, mode);
    if ((di.itemState & ODS_FOCUS) && !(di.itemState & ODS_NOFOCUSRECT)) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

void paint_lines(Win32Data& d, HDC dc) {
    for (auto& e : d.controls) {
        if (!e->control) continue;
        const Control& c = *e->control;
        if (c.kind() != ControlKind::Line || !c.visible()) continue;
        const auto& line = static_cast<const Line&>(c);
        HPEN pen =
            CreatePen(PS_SOLID, std::max(1, static_cast<int>(d.dpi / 96)), colour(c.fore_color()));
        HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, d.px(line.x1()), d.px(line.y1()), nullptr);
        LineTo(dc, d.px(line.x2()), d.px(line.y2()));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
}

void relayout_all(Win32Data& d) {
    auto old_fonts = std::move(d.fonts);
    d.fonts.clear();
    for (auto& e : d.controls) {
        apply_geometry(d, *e);
        apply_font(d, *e);
    }
    for (auto& [key, font] : old_fonts) DeleteObject(font);
}

void handle_command(Win32Data& d, ControlWnd& e, UINT code) {
    Control* c = e.control;
    Form1* form = d.form;
    if (!form || d.quitting) return;
    switch (c->kind()) {
        case ControlKind::CommandButton:
            // An owner-drawn button reports the second click of a quick
            // pair as a double click; it is a click all the same.
            if (code == BN_CLICKED || (code == BN_DOUBLECLICKED && c->graphical())) {
                core_event(d, [c] { c->click(); });
            }
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) core_event(d, [c] { static_cast<CheckBox*>(c)->user_click(); });
            break;
        case ControlKind::OptionButton:
            if (code == BN_CLICKED || code == BN_DOUBLECLICKED) {
                core_event(d, [c] { static_cast<OptionButton*>(c)->select(); });
            }
            break;
        case ControlKind::Label:
            if (code == STN_CLICKED) core_event(d, [c] { c->click(); });
            break;
        case ControlKind::TextBox:
            if (code == EN_CHANGE && e.hwnd && !e.setting_text) {
                // Only the user's edits reach the core. The text the backend
                // gave the field is no edit: the core's text may hold more
                // than the field can show (a NUL ends a window text), and
                // must not be cut to what it shows.
                const std::wstring now = window_text(e.hwnd);
                if (now == e.given) break;
                const std::optional<std::string> text = wide_to_utf8(now);
                if (!text) break;
                e.given = now;
                core_event(d, [c, t = *text] { static_cast<TextBox*>(c)->set_text(t); });
            }
            break;
        case ControlKind::Line: break;
    }
}

LRESULT colour_control(Win32Data& d, HWND hwnd, HDC dc) {
    ControlWnd* e = d.entry(hwnd);
    if (!e) return 0;
    const Control& c = *e->control;
    SetTextColor(dc, colour(c.fore_color()));
    if (c.back_transparent()) {
        SetBkMode(dc, TRANSPARENT);
        // A transparent label paints its background itself, with what lies
        // beneath it (paint_transparent_label); a static that paints on
        // its own, as Wine's does when its text is set, leaves it alone.
        if (c.kind() == ControlKind::Label)
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        return reinterpret_cast<LRESULT>(d.background);
    }
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, colour(c.back_color()));
    return reinterpret_cast<LRESULT>(d.brush(c.back_color()));
}

// A transparent label shows the window beneath it: the background, the
// lines, and the texts of the transparent labels it overlaps. Where labels
// overlap, only the upper one paints (the lower is clipped there), so each
// one draws every overlapping label's text, the lowest first. The empty
// online label of the first row thus no longer blots out the start-up
// notice beneath it.
void paint_transparent_label(Win32Data& d, const ControlWnd& self) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(self.hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(self.hwnd, &client);
    FillRect(dc, &client, d.background);
    const RECT own = control_rect(d, *self.control);
    POINT origin;
    SetViewportOrgEx(dc, -own.left, -own.top, &origin);
    paint_lines(d, dc);
    const int mode = SetBkMode(dc, TRANSPARENT);
    const COLORREF old_colour = GetTextColor(dc);
    HGDIOBJ old_font = nullptr;
    // Labels sit beneath the other controls in the order of their tab index
    // (apply_tab_order); among labels that is the order of creation.
    for (const auto& o : d.controls) {
        if (!o->hwnd || !transparent_label(*o) || !o->control->visible()) continue;
        RECT r = control_rect(d, *o->control);
        RECT overlap;
        if (!IntersectRect(&overlap, &r, &own)) continue;
        const std::wstring text = window_text_of(o->control->caption());
        if (text.empty()) continue;
        SetTextColor(dc, colour(o->control->fore_color()));
        HGDIOBJ prev = SelectObject(dc, d.font(o->control->font()));
        if (!old_font) old_font = prev;
        // As a left-aligned static draws its text.
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    }
    if (old_font) SelectObject(dc, old_font);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, mode);
    SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    EndPaint(self.hwnd, &ps);
}

LRESULT CALLBACK control_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    Win32Data* d = g_data;
    // After the backend is gone the controls live on, hidden, until the
    // process ends (see `hide_windows`); their entries are gone with it.
    if (!d) return DefSubclassProc(hwnd, msg, wp, lp);
    auto* e = reinterpret_cast<ControlWnd*>(ref);
    const bool live = d && d->form && !d->quitting && e->control;
    const bool field = e->kind == ControlKind::TextBox;
    switch (msg) {
        case WM_GETDLGCODE: {
            LRESULT code = DefSubclassProc(hwnd, msg, wp, lp);
            // Enter belongs to the field (its key press), not to the dialog
            // navigation.
            const auto* m = reinterpret_cast<const MSG*>(lp);
            if (field && m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) {
                code |= DLGC_WANTMESSAGE;
            }
            return code;
        }
        case WM_CHAR:
            if (field && live) {
                auto* box = static_cast<TextBox*>(e->control);
                core_event(*d, [box, code = static_cast<int>(wp)] { box->key_press(code); });
                // A single-line field has no use for Enter and would beep.
                if (wp == L'\r') return 0;
                if (!IsWindow(hwnd)) return 0;
            }
            break;
        case WM_LBUTTONDBLCLK:
            if (field && live) {
                const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
                auto* box = static_cast<TextBox*>(e->control);
                core_event(*d, [box] { box->dbl_click(); });
                return r;
            }
            break;
        case WM_SETFOCUS: {
            const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
            if (live) core_event(*d, [d, c = e->control] { d->form->set_focus(c); });
            return r;
        }
        case WM_KILLFOCUS: {
            const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
            // Focus leaving for the window itself is focus leaving the
            // fields; another program taking it is not (the field keeps it
            // for when the window is active again).
            if (live && reinterpret_cast<HWND>(wp) == d->window) {
                core_event(*d, [d] { d->form->set_focus(nullptr); });
            }
            return r;
        }
        case WM_ERASEBKGND:
            if (d && transparent_label(*e)) return 1;  // all of it in WM_PAINT
            break;
        case WM_PAINT:
            if (d && transparent_label(*e)) {
                paint_transparent_label(*d, *e);
                return 0;
            }
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(hwnd, control_proc, kSubclassId);
            e->hwnd = nullptr;
            e->tool_added = false;
            break;
        default: break;
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void create_control(Win32Data& d, Control& c) {
    auto e = std::make_unique<ControlWnd>();
    e->control = &c;
    e->kind = c.kind();
    const wchar_t* cls = nullptr;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex_style = 0;
    switch (c.kind()) {
        case ControlKind::CommandButton:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | (c.graphical() ? BS_OWNERDRAW : BS_PUSHBUTTON | BS_MULTILINE);
            break;
        case ControlKind::CheckBox:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_3STATE;
            break;
        case ControlKind::OptionButton:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_RADIOBUTTON;
            break;
        case ControlKind::Label:
            cls = WC_STATICW;
            style |= SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
            break;
        case ControlKind::TextBox:
            cls = WC_EDITW;
            style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            ex_style |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Line: break;
    }
    ControlWnd* entry = e.get();
    d.by_control[&c] = entry;
    d.controls.push_back(std::move(e));
    if (!cls) return;
    if (c.visible()) style |= WS_VISIBLE;
    const std::wstring text = window_text_of(c.caption());
    const int x = d.px(c.left());
    const int y = d.px(c.top());
    HWND h = CreateWindowExW(
        ex_style, cls, text.c_str(), style, x, y, std::max(d.px(c.left() + c.width()) - x, 0),
        std::max(d.px(c.top() + c.height()) - y, 0), d.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id())), d.instance, nullptr);
    if (!h) return;
    entry->hwnd = h;
    entry->given = window_text_of(c.caption());
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(entry));
    SetWindowSubclass(h, control_proc, kSubclassId, reinterpret_cast<DWORD_PTR>(entry));
    if (c.kind() == ControlKind::CheckBox || c.kind() == ControlKind::OptionButton) {
        // Themed boxes ignore the text colour; white on navy needs the
        // classic look.
        SetWindowTheme(h, L"", L"");
    }
    apply_font(d, *entry);
    apply_value(*entry);
    apply_tooltip(d, *entry);
}

void report_move(Win32Data& d, int x, int y) {
    if (!d.form || d.quitting || IsIconic(d.window)) return;
    if (x == d.px_pos(d.left) && y == d.px_pos(d.top)) return;
    d.left = d.twips_pos(x);
    d.top = d.twips_pos(y);
    core_event(d, [&d, left = d.left, top = d.top] { d.form->window_moved(left, top); });
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Win32Data* d = g_data;
    if (!d || (d->window && hwnd != d->window)) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_COMMAND:
            if (lp) {
                if (ControlWnd* e = d->entry(reinterpret_cast<HWND>(lp))) {
                    handle_command(*d, *e, HIWORD(wp));
                }
            }
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            if (LRESULT b =
                    colour_control(*d, reinterpret_cast<HWND>(lp), reinterpret_cast<HDC>(wp))) {
                return b;
            }
            break;
        case WM_DRAWITEM: {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (ControlWnd* e = d->entry(di->hwndItem)) {
                draw_station_button(*d, *di, *e->control);
                return TRUE;
            }
            break;
        }
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wp), &r, d->background);
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            paint_lines(*d, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (d->form && !d->quitting) core_event(*d, [d] { d->form->Form_MouseDown(); });
            return 0;
        case WM_TIMER: {
            auto it = d->timer_sinks.find(static_cast<UINT_PTR>(wp));
            if (it != d->timer_sinks.end() && !d->quitting && d->gate) {
                platform::TimerSink* sink = it->second;
                guarded([&] { d->gate->deliver_tick(*sink); });
            }
            return 0;
        }
        case WM_WINDOWPOSCHANGED: {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
            if (!d->applying_bounds && !(pos->flags & SWP_NOMOVE)) report_move(*d, pos->x, pos->y);
            return 0;
        }
        case WM_ACTIVATE:
            // Back in the window, the field that had the focus gets it again.
            if (LOWORD(wp) != WA_INACTIVE && d->form && !d->quitting && d->form->focus()) {
                auto it = d->by_control.find(d->form->focus());
                if (it != d->by_control.end() && it->second->hwnd) {
                    SetFocus(it->second->hwnd);
                    return 0;
                }
            }
            break;
        case WM_DPICHANGED: {
            d->dpi = HIWORD(wp);
            const auto* r = reinterpret_cast<const RECT*>(lp);
            relayout_all(*d);
            // It may come in the middle of the core's own move.
            const bool applying = d->applying_bounds;
            d->applying_bounds = true;
            SetWindowPos(hwnd, nullptr, r->left, r->top, d->px(d->width), d->px(d->height),
                         SWP_NOZORDER | SWP_NOACTIVATE);
            d->applying_bounds = applying;
            if (!applying) report_move(*d, r->left, r->top);
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            return 0;
        }
        case WM_CLOSE:
            if (d->form) {
                core_event(*d, [d] {
                    d->form->unload();
                    // The unload ends the program; should it not, the window goes.
                    if (!d->quitting && d->window) DestroyWindow(d->window);
                });
            } else {
                DestroyWindow(hwnd);
            }
            return 0;
        case WM_QUERYENDSESSION: return TRUE;
        case WM_ENDSESSION:
            // The process may end as soon as this returns: save now, even
            // inside a wait of the dispatch, with every edit the gate kept.
            // Nothing is typed any more meanwhile.
            if (wp && d->form) {
                d->ending = true;
                guarded([&] { d->gate->flush(); });
                if (d->form) guarded([&] { d->form->unload(); });
            }
            return 0;
        case WM_DESTROY:
            d->quitting = true;
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            d->window = nullptr;
            d->tooltip = nullptr;
            break;
        case kMsgResolved: {
            std::shared_ptr<ResolveJob> job(reinterpret_cast<ResolveJob*>(lp));
            if (!d->quitting) {
                core_event(*d, [d, job] {
                    auto it = d->sockets.find(job->socket_id);
                    if (it != d->sockets.end()) it->second->on_resolved(*job);
                });
            }
            return 0;
        }
        case kMsgSocket:
            if (!d->quitting) {
                const auto s = static_cast<SOCKET>(wp);
                const int event = WSAGETSELECTEVENT(lp);
                const int error = WSAGETSELECTERROR(lp);
                // The socket this is for, by object and connection: the
                // event may run later, when the handle may be another's.
                for (auto& [id, sock] : d->sockets) {
                    if (!sock->owns(s)) continue;
                    core_event(*d, [d, id = id, generation = sock->generation(), s, event, error] {
                        auto it = d->sockets.find(id);
                        if (it != d->sockets.end() && it->second->generation() == generation) {
                            it->second->on_event(s, event, error);
                        }
                    });
                    break;
                }
            }
            return 0;
        case kMsgFetchDone: {
            auto* job = reinterpret_cast<FetchJob*>(lp);
            core_event(*d, [job] { Win32UrlFetch::completed(job); });
            return 0;
        }
        case kMsgPosted:
            if (!d->posted.empty()) {
                std::function<void()> action = std::move(d->posted.front());
                d->posted.pop_front();
                if (!d->quitting) guarded(action);
            }
            return 0;
        case kMsgTabOrder: apply_tab_order(*d); return 0;
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void dispatch(Win32Data& d, MSG& m) {
    if (m.message == WM_QUIT) {
        d.quitting = true;
        return;
    }
    if (d.window && IsDialogMessageW(d.window, &m)) return;
    TranslateMessage(&m);
    DispatchMessageW(&m);
}

// Runs what is queued now, once; true when anything ran.
bool pump(Win32Data& d) {
    bool ran = false;
    MSG m;
    // Bounded, so that a flood of posted messages cannot hold the caller.
    for (int budget = 1000; budget > 0 && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); --budget) {
        dispatch(d, m);
        ran = true;
        if (d.quitting) break;
    }
    return ran;
}

// Whether `target` is in front: the window itself, or another window of its
// program (a dialog it opened on a key): the keys are IvAc's either way.
bool holds_foreground(HWND target) {
    HWND fg = GetForegroundWindow();
    if (!target || !fg || !IsWindow(target)) return false;
    if (fg == target) return true;
    DWORD fg_pid = 0, target_pid = 0;
    GetWindowThreadProcessId(fg, &fg_pid);
    GetWindowThreadProcessId(target, &target_pid);
    return fg_pid != 0 && fg_pid == target_pid;
}

LONGLONG clock_ms(const Win32Data& d) {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return c.QuadPart * 1000 / d.qpc_frequency.QuadPart;
}

// The foreground changes asynchronously: waits for `target` to have it
// while serving the window (the core's events wait in the gate), until
// `until` on `clock_ms`.
bool wait_foreground(Win32Data& d, HWND target, LONGLONG until) {
    while (!holds_foreground(target) && !d.quitting && !d.ending) {
        const LONGLONG left = until - clock_ms(d);
        if (left <= 0) break;
        pump(d);
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<LONGLONG>(left, 5)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return holds_foreground(target);
}

// Brings `target` to the foreground within kActivationWaitMs; true when it
// got there.
bool bring_to_front(Win32Data& d, HWND target) {
    const LONGLONG start = clock_ms(d);
    if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
    SetForegroundWindow(target);
    if (wait_foreground(d, target, start + kActivateFirstTryMs)) return true;
    if (d.quitting || d.ending || !IsWindow(target)) return false;

    // The foreground lock of Windows: join the input of the foreground
    // thread and tap Alt, after which the system lets the change happen.
    HWND fg = GetForegroundWindow();
    const DWORD fg_thread = fg ? GetWindowThreadProcessId(fg, nullptr) : 0;
    const DWORD me = GetCurrentThreadId();
    const bool attached = fg_thread && fg_thread != me && AttachThreadInput(me, fg_thread, TRUE);
    // An unassigned key (0xE8) inside the tap keeps the target out of its
    // menu bar, where F4, Down and the letters would go otherwise.
    INPUT alt[4] = {};
    for (INPUT& i : alt) i.type = INPUT_KEYBOARD;
    alt[0].ki.wVk = alt[3].ki.wVk = VK_MENU;
    alt[1].ki.wVk = alt[2].ki.wVk = 0xE8;
    alt[2].ki.dwFlags = alt[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, alt, sizeof(INPUT));
    SetForegroundWindow(target);
    BringWindowToTop(target);
    if (attached) AttachThreadInput(me, fg_thread, FALSE);
    return wait_foreground(d, target, start + platform::kActivationWaitMs);
}

// A window of another program that the user may have chosen on purpose.
bool other_program(HWND hwnd) {
    if (!hwnd || hwnd == GetDesktopWindow() || hwnd == GetShellWindow()) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid != GetCurrentProcessId();
}

// The tool tip window is not owned by the main window, so it goes separately.
void destroy_windows(Win32Data& d) {
    if (d.tooltip) DestroyWindow(d.tooltip);
    d.tooltip = nullptr;
    if (d.window) DestroyWindow(d.window);
}

// When the program ends, its windows only leave the screen: the end of the
// process takes them all at once. Destroying the window with its ~180
// controls one by one, each with its round of messages, kept a closed panel
// alive for 130-160 ms under Wine, and far longer on a busy machine; the
// process now ends a few milliseconds after the save.
void hide_windows(Win32Data& d) {
    if (d.tooltip) ShowWindow(d.tooltip, SW_HIDE);
    if (d.window) ShowWindow(d.window, SW_HIDE);
}

}  // namespace

// ---- Win32Platform ----------------------------------------------------------------------

Win32Platform::Win32Platform(void* instance) : d_(std::make_unique<Win32Data>()) {
    Win32Data& d = *d_;
    g_data = &d;
    d.gate = std::make_unique<platform::EventGate>(*this);
    d.instance = static_cast<HINSTANCE>(instance);
    QueryPerformanceFrequency(&d.qpc_frequency);
    WSADATA wsa;
    d.winsock = WSAStartup(MAKEWORD(2, 2), &wsa) == 0;

    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = d.instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);

    d.background = CreateSolidBrush(colour(0x000040));
    const std::wstring caption = widen(kWindowCaption);
    // Borderless: the panel is moved by dragging its surface. The system
    // menu and minimize box give it Alt+F4 and the task bar's menu.
    d.window = CreateWindowExW(0, kWindowClass, caption.c_str(),
                               WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 80,
                               540, nullptr, nullptr, d.instance, nullptr);
    if (!d.window) return;
    d.dpi = GetDpiForWindow(d.window);
    if (d.dpi == 0) d.dpi = USER_DEFAULT_SCREEN_DPI;
    d.system_dpi = GetDpiForSystem();
    if (d.system_dpi == 0) d.system_dpi = USER_DEFAULT_SCREEN_DPI;
    // The tool tip window has no owner: under Wine a main window that owns a
    // topmost popup never enters the always-on-top band itself. Being topmost
    // on its own, the tip still shows above the panel.
    d.tooltip =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, d.instance, nullptr);
    if (d.tooltip) SendMessageW(d.tooltip, TTM_SETMAXTIPWIDTH, 0, 600);
}

Win32Platform::~Win32Platform() {
    Win32Data& d = *d_;
    d.form = nullptr;
    for (auto& [id, sink] : d.timer_sinks) {
        if (d.window) KillTimer(d.window, id);
    }
    d.timer_sinks.clear();
    d.timer_ids.clear();
    if (!d.quitting) destroy_windows(d);
    for (auto& [c, b] : d.brushes) DeleteObject(b);
    for (auto& [key, f] : d.fonts) DeleteObject(f);
    if (d.background) DeleteObject(d.background);
    // No WSACleanup: a name resolution thread may still be inside
    // getaddrinfo, and the process ends right after this anyway.
    g_data = nullptr;
}

bool Win32Platform::ready() const {
    return d_->window != nullptr;
}

void Win32Platform::attach(Form1& form) {
    Win32Data& d = *d_;
    d.form = &form;
    d.left = form.left();
    d.top = form.top();
    d.width = form.width();
    d.height = form.height();
    if (!d.window) return;
    for (Control* c : form.controls()) create_control(d, *c);
    apply_tab_order(d);
    window_background_changed(form.back_color());
}

void Win32Platform::detach() {
    Win32Data& d = *d_;
    // The controls go with the form: the window must not outlive them, or,
    // when the program ends, it stays hidden without them until the process
    // is gone.
    if (!d.quitting) destroy_windows(d);
    d.form = nullptr;
    d.gate->clear();
    for (auto& e : d.controls) e->control = nullptr;
    d.by_control.clear();
}

void Win32Platform::run() {
    while (!d_->quitting) wait_events(INT64_MAX);
}

platform::Millis Win32Platform::now_ms() {
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    const LONGLONG f = d_->qpc_frequency.QuadPart;
    return static_cast<platform::Millis>(c.QuadPart / f * 1000 + c.QuadPart % f * 1000 / f);
}

void Win32Platform::start_timer(platform::TimerSink& timer, unsigned interval_ms) {
    Win32Data& d = *d_;
    stop_timer(timer);
    d.gate->drop_tick(timer);
    if (!d.window || d.quitting) return;
    // A fresh ID per start: a tick of the previous period still queued
    // finds no sink and is dropped, so the period really restarts.
    UINT_PTR id = d.next_timer_id++;
    if (d.next_timer_id == 0) d.next_timer_id = 1;
    if (!SetTimer(d.window, id, std::max(interval_ms, 1u), nullptr)) return;
    d.timer_ids[&timer] = id;
    d.timer_sinks[id] = &timer;
}

void Win32Platform::stop_timer(platform::TimerSink& timer) {
    Win32Data& d = *d_;
    d.gate->drop_tick(timer);
    auto it = d.timer_ids.find(&timer);
    if (it == d.timer_ids.end()) return;
    if (d.window) KillTimer(d.window, it->second);
    d.timer_sinks.erase(it->second);
    d.timer_ids.erase(it);
}

void Win32Platform::do_events() {
    if (d_->quitting) return;
    pump(*d_);
}

void Win32Platform::wait_events(platform::Millis deadline) {
    Win32Data& d = *d_;
    while (!d.quitting) {
        if (pump(d)) return;
        DWORD wait = INFINITE;
        if (deadline != INT64_MAX) {
            const platform::Millis left = deadline - now_ms();
            if (left <= 0) return;
            wait = static_cast<DWORD>(
                std::min<platform::Millis>(left, platform::Millis{INFINITE} - 1));
        }
        const DWORD r =
            MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_TIMEOUT) {
            pump(d);
            return;
        }
    }
}

bool Win32Platform::quitting() {
    return d_->quitting;
}

void Win32Platform::window_bounds_changed(float left, float top, float width, float height) {
    Win32Data& d = *d_;
    d.left = left;
    d.top = top;
    d.width = width;
    d.height = height;
    if (!d.window || d.quitting) return;
    d.applying_bounds = true;
    SetWindowPos(d.window, nullptr, d.px_pos(left), d.px_pos(top), std::max(d.px(width), 0),
                 std::max(d.px(height), 0), SWP_NOZORDER | SWP_NOACTIVATE);
    d.applying_bounds = false;
}

void Win32Platform::window_visible_changed(bool visible) {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return;
    ShowWindow(d.window, visible ? SW_SHOW : SW_HIDE);
    if (visible) UpdateWindow(d.window);
}

void Win32Platform::window_background_changed(std::uint32_t rgb) {
    Win32Data& d = *d_;
    HBRUSH old = d.background;
    d.background = CreateSolidBrush(colour(rgb));
    if (old) DeleteObject(old);
    if (d.window) {
        RedrawWindow(d.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

void Win32Platform::set_topmost(bool topmost) {
    Win32Data& d = *d_;
    if (!d.window) return;
    SetWindowPos(d.window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Platform::begin_drag() {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return;
    // A press the gate kept until after a wait may be over by now.
    if (GetKeyState(VK_LBUTTON) >= 0) return;
    POINT at{};
    GetCursorPos(&at);
    ReleaseCapture();
    SendMessageW(d.window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
}

// The primary screen: the core centres the editing view from the origin,
// which is the primary screen's top left corner.
platform::Size Win32Platform::screen_size() {
    Win32Data& d = *d_;
    return {d.twips_pos(GetSystemMetrics(SM_CXSCREEN)), d.twips_pos(GetSystemMetrics(SM_CYSCREEN))};
}

void Win32Platform::control_changed(const Control& control, platform::ControlProp what) {
    Win32Data& d = *d_;
    if (!d.form || !d.window) return;
    auto it = d.by_control.find(&control);
    if (it == d.by_control.end()) return;
    ControlWnd& e = *it->second;
    if (control.kind() == ControlKind::Line) {
        InvalidateRect(d.window, nullptr, TRUE);
        return;
    }
    if (!e.hwnd) return;
    // Transparent labels overlapping this one's old and new place repaint.
    const bool see_through =
        transparent_label(e) && (what == ControlProp::Geometry || what == ControlProp::Visible ||
                                 what == ControlProp::Colors);
    if (see_through) invalidate_labels_over(d, rect_in_window(d, e.hwnd));
    switch (what) {
        case ControlProp::Geometry: apply_geometry(d, e); break;
        case ControlProp::Visible:
            ShowWindow(e.hwnd, control.visible() ? SW_SHOWNA : SW_HIDE);
            break;
        case ControlProp::Caption: apply_caption(d, e); break;
        case ControlProp::Value: apply_value(e); break;
        case ControlProp::ToolTip: apply_tooltip(d, e); break;
        case ControlProp::Colors:
            apply_font(d, e);
            InvalidateRect(e.hwnd, nullptr, TRUE);
            break;
        case ControlProp::TabIndex:
            if (!d.tab_order_posted) {
                d.tab_order_posted = PostMessageW(d.window, kMsgTabOrder, 0, 0) != 0;
            }
            break;
        case ControlProp::Focus:
            if (GetFocus() != e.hwnd) SetFocus(e.hwnd);
            break;
    }
    if (see_through) invalidate_labels_over(d, control_rect(d, control));
}

void Win32Platform::quit() {
    Win32Data& d = *d_;
    if (d.quitting) return;
    d.quitting = true;
    for (auto& [id, sink] : d.timer_sinks) {
        if (d.window) KillTimer(d.window, id);
    }
    d.timer_sinks.clear();
    d.timer_ids.clear();
    d.gate->clear();
    hide_windows(d);
    PostQuitMessage(0);
}

platform::Activation Win32Platform::app_activate(std::string_view title) {
    Win32Data& d = *d_;
    d.activated = nullptr;
    if (d.quitting || d.ending) return platform::Activation::NotInFront;
    FindTitle find;
    find.title = widen(title);
    find.self = d.window;
    EnumWindows(find_title, reinterpret_cast<LPARAM>(&find));
    HWND target = find.exact ? find.exact : find.prefix;
    d.activated = target;
    if (!target) return platform::Activation::NoWindow;
    // Only a window that really came forward counts: the keys would go to
    // whatever is in front otherwise.
    return bring_to_front(d, target) ? platform::Activation::InFront
                                     : platform::Activation::NotInFront;
}

platform::Millis Win32Platform::double_click_ms() {
    return static_cast<platform::Millis>(GetDoubleClickTime());
}

void Win32Platform::show_balloon(int control_id, std::string_view text_utf8) {
    if (d_->quitting || !d_->window) return;
    win32::show_balloon(d_->instance, d_->window, control_id, widen(text_utf8));
}

bool Win32Platform::send_keys(std::string_view, std::span<const platform::KeyStroke> keys,
                              bool wait) {
    Win32Data& d = *d_;
    if (keys.empty()) return true;
    if (d.quitting || d.ending) return false;
    HWND found = d.activated;
    if (!found || !IsWindow(found)) return false;
    if (!holds_foreground(found)) {
        // Nothing, the desktop or this program in front (a click that reached
        // the panel, BM_CLICK from an accessibility tool): IvAc comes back.
        // A window of another program was chosen by the user: a chat, a
        // browser; the keys must not go there, nor wait for it to go.
        if (other_program(GetForegroundWindow())) return false;
        if (!bring_to_front(d, found) || d.quitting || d.ending) return false;
    }
    HWND target = GetForegroundWindow();
    const DWORD thread = target ? GetWindowThreadProcessId(target, nullptr) : 0;
    HKL layout = GetKeyboardLayout(thread);
    const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    std::vector<INPUT> in;
    for (const platform::KeyStroke& k : keys) add_stroke(in, k, layout, caps);
    if (in.empty()) return true;
    const UINT sent = SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    if (!wait || !target || thread == GetCurrentThreadId()) return true;
    // Each round trip makes the target's thread go back to its queue once;
    // after 2N+1 of them every key event (and each WM_CHAR that translating
    // it posted) has been handled.
    const platform::Millis until = now_ms() + kKeyWaitLimitMs;
    for (UINT i = 0; i < 2 * sent + 1 && now_ms() < until; ++i) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                 kKeyRoundTripMs, &result)) {
            break;
        }
    }
    return true;
}

bool Win32Platform::modifiers_held() {
    if (d_->ending) return false;
    for (int vk : {VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN, VK_RWIN}) {
        if (GetAsyncKeyState(vk) & 0x8000) return true;
    }
    return false;
}

platform::EventGate& Win32Platform::gate() {
    return *d_->gate;
}

void Win32Platform::post(std::function<void()> action) {
    Win32Data& d = *d_;
    if (!d.window || d.quitting) return;
    d.posted.push_back(std::move(action));
    if (!PostMessageW(d.window, kMsgPosted, 0, 0)) d.posted.pop_back();
}

platform::FileSystem& Win32Platform::files() {
    return d_->files;
}

platform::Locale& Win32Platform::locale() {
    return d_->locale;
}

std::unique_ptr<platform::TcpSocket> Win32Platform::create_socket(platform::SocketEvents& events) {
    return std::make_unique<Win32Socket>(*d_, events);
}

std::unique_ptr<platform::UrlFetch> Win32Platform::create_url_fetch(
    platform::UrlFetchEvents& events) {
    return std::make_unique<Win32UrlFetch>(*d_, events);
}

}  // namespace tovira::win32
