// `MyInet`: the minimal HTTP/1.0 client that fetches the status file. It
// connects to port 80, sends a fixed GET, collects the response until the
// server closes, cuts off the header and returns the body; it gives up after
// two to three seconds and then returns the empty text.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tovira {

// The socket rejected the host outright (empty or malformed).
class SocketSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A status file larger than this counts as a failed fetch.
inline constexpr std::size_t kMaxStatusBytes = std::size_t{64} << 20;
// Room for the status line and header on top of the body.
inline constexpr std::size_t kMaxHeaderBytes = std::size_t{64} << 10;

class MyInet : private platform::SocketEvents {
public:
    explicit MyInet(platform::Platform& platform);
    ~MyInet() override;
    MyInet(const MyInet&) = delete;
    MyInet& operator=(const MyInet&) = delete;

    // The body of GET `Url` from `Host`:80, or "" when the server has not
    // closed within the time-out (more than 2, at most 3 seconds). Throws
    // SocketSetupError when the socket rejects the host. Serves the event
    // loop while it waits. A body that completed after an earlier call gave
    // up is returned only when this call's own answer does not come in time.
    std::string OpenURL(std::string_view Host, std::string_view Url);

    // The exact request sent on connect.
    static std::string request_text(std::string_view host, std::string_view path);

    std::string fetchhost;
    std::string fetchpath;
    std::string fetchbuf;  // 8-bit code page
    bool fetchdone = false;

private:
    void on_socket_connect() override;
    void on_socket_data_arrival(std::size_t bytes) override;
    void on_socket_close() override;
    void on_socket_error(int code) override;

    platform::Platform& platform_;
    std::unique_ptr<platform::TcpSocket> WinsockInet;
};

}  // namespace tovira
