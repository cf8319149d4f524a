// The Win32 backend's TCP client: Winsock, name resolution on a worker
// thread (at most one per socket: a lookup cannot be stopped), the socket's
// events by WSAAsyncSelect through the window's queue and from there through
// the core's event gate.

#include <cstdio>
#include <cstring>

#include "backends/win32/win32_internal.h"

namespace tovira::win32 {

namespace {

// A name lookup's result, or (lookup 0) an error a connect reports later.
struct ResolveJob {
    HWND hwnd = nullptr;
    unsigned socket_id = 0;
    unsigned lookup = 0;
    unsigned generation = 0;  // of the connect that reports an error
    std::string host;
    std::uint16_t port = 0;
    int error = 0;
    sockaddr_storage address{};
    int address_size = 0;
};

// Name resolution blocks, so it runs here and never on the window's thread.
// It cannot be stopped, so a socket has at most one under way.
DWORD WINAPI resolve_thread(void* arg) {
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

unsigned g_next_lookup = 1;  // window thread only; 0 means none

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
        port_ = port;
        if (lookup_ != 0) {
            // The lookup under way serves a connect to its own host; one
            // for another host beside it would let lookups pile up behind a
            // name server that never answers.
            if (host != lookup_host_) return report_later(WSAEALREADY);
            waited_lookup_ = lookup_;
            wait_generation_ = generation_;
            return true;
        }
        auto* job = new ResolveJob;
        job->hwnd = d_.window;
        job->socket_id = id_;
        job->lookup = g_next_lookup++;
        if (g_next_lookup == 0) g_next_lookup = 1;
        job->host = std::string(host);
        job->port = port;
        const unsigned lookup = job->lookup;
        HANDLE thread = CreateThread(nullptr, 0, resolve_thread, job, 0, nullptr);
        if (!thread) {
            delete job;
            return false;
        }
        CloseHandle(thread);
        lookup_ = lookup;
        lookup_host_ = std::string(host);
        waited_lookup_ = lookup;
        wait_generation_ = generation_;
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

    // The lookup `job` has ended: another may start. At once, outside the
    // core's gate, so that a held event cannot hold the socket's lookups.
    void lookup_ended(const ResolveJob& job) {
        if (job.lookup != 0 && job.lookup == lookup_) lookup_ = 0;
    }

    void on_resolved(const ResolveJob& job) {
        if (job.lookup == 0) {
            // An error of a connect that has not been closed since.
            if (job.generation == generation_) {
                ++generation_;
                events_.on_socket_error(job.error);
            }
            return;
        }
        // For a connect that is closed or was followed by another: nothing.
        if (job.lookup != waited_lookup_ || wait_generation_ != generation_) return;
        waited_lookup_ = 0;
        if (job.error != 0) {
            ++generation_;
            events_.on_socket_error(job.error);
            return;
        }
        // The port of the connect that waited, which may have joined later.
        sockaddr_storage address = job.address;
        if (address.ss_family == AF_INET) {
            reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port_);
        } else if (address.ss_family == AF_INET6) {
            reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port_);
        }
        socket_ = ::socket(address.ss_family, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) {
            events_.on_socket_error(WSAGetLastError());
            return;
        }
        // A fetch's child process must not hold the connection open.
        SetHandleInformation(reinterpret_cast<HANDLE>(socket_), HANDLE_FLAG_INHERIT, 0);
        // Without it the socket would block, and `connect` with it the window.
        if (WSAAsyncSelect(socket_, d_.window, kMsgSocket,
                           FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            release();
            events_.on_socket_error(error);
            return;
        }
        const int rc =
            ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), job.address_size);
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
    // Reports `error` through the event loop, as an error of this connect.
    bool report_later(int error) {
        auto* job = new ResolveJob;
        job->hwnd = d_.window;
        job->socket_id = id_;
        job->generation = generation_;
        job->error = error;
        if (!PostMessageW(d_.window, kMsgResolved, 0, reinterpret_cast<LPARAM>(job))) {
            delete job;
            return false;
        }
        return true;
    }

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
    // The lookup under way (0: none), its host, and the lookup the current
    // connect waits for, with that connect's generation and port.
    unsigned lookup_ = 0;
    std::string lookup_host_;
    unsigned waited_lookup_ = 0;
    unsigned wait_generation_ = 0;
    std::uint16_t port_ = 0;
    SOCKET socket_ = INVALID_SOCKET;
    bool connected_ = false;
    std::string in_;
    std::string out_;
};

void socket_resolved(Win32Data* d, LPARAM lp) {
    std::shared_ptr<ResolveJob> job(reinterpret_cast<ResolveJob*>(lp));
    auto owner = d->sockets.find(job->socket_id);
    if (owner != d->sockets.end()) owner->second->lookup_ended(*job);
    if (!d->quitting) {
        core_event(*d, [d, job] {
            auto it = d->sockets.find(job->socket_id);
            if (it != d->sockets.end()) it->second->on_resolved(*job);
        });
    }
}

void socket_event(Win32Data* d, WPARAM wp, LPARAM lp) {
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
}

std::unique_ptr<platform::TcpSocket> Win32Platform::create_socket(platform::SocketEvents& events) {
    return std::make_unique<Win32Socket>(*d_, events);
}

}  // namespace tovira::win32
