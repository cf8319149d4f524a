#include "monitor/http_client.h"

#include <utility>

namespace tovira {

namespace {
constexpr std::uint16_t kHttpPort = 80;
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
}  // namespace

MyInet::MyInet(platform::Platform& platform)
    : platform_(platform), WinsockInet(platform.create_socket(*this)) {}
MyInet::~MyInet() = default;

std::string MyInet::request_text(std::string_view host, std::string_view path) {
    std::string r = "GET ";
    r.append(path).append(" HTTP/1.0\r\nHost: ").append(host);
    r += "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    return r;
}

std::string MyInet::OpenURL(std::string_view Host, std::string_view Url) {
    // A body that completed after an earlier call gave up is kept, but this
    // call still asks for its own: answering with the late body at once would
    // leave every later call one answer behind.
    std::string late;
    if (fetchdone) {
        late = std::move(fetchbuf);
        fetchbuf.clear();
        fetchdone = false;
    }
    fetchpath = std::string(Url);
    fetchhost = std::string(Host);
    WinsockInet->close();
    if (platform_.quitting()) throw SocketSetupError("ending: " + fetchhost);
    if (!WinsockInet->connect(Host, kHttpPort)) {
        throw SocketSetupError("host rejected: " + fetchhost);
    }
    // Whole seconds on the monotonic clock: leaving once more than two whole
    // seconds have elapsed waits more than 2 and at most 3 seconds, and
    // nothing wraps at midnight.
    const platform::Millis deadline = (platform_.now_ms() / 1000 + 3) * 1000;
    std::string result;
    for (;;) {
        // A complete response wins over a time-out reached at the same moment.
        if (fetchdone) {
            result = std::move(fetchbuf);
            fetchbuf.clear();
            break;
        }
        // A time-out leaves the connection running: if it completes before
        // the next call, that call has it to fall back on. Meanwhile the late
        // body is the newest answer there is.
        if (platform_.now_ms() >= deadline || platform_.quitting()) {
            result = std::move(late);
            break;
        }
        platform_.wait_events(deadline);
    }
    fetchdone = false;
    return result;
}

void MyInet::on_socket_connect() {
    const std::string request = request_text(fetchhost, fetchpath);
    fetchbuf.clear();
    WinsockInet->send(request);
}

void MyInet::on_socket_data_arrival(std::size_t) {
    std::string data = WinsockInet->get_data();
    if (fetchbuf.size() + data.size() > kMaxStatusBytes + kMaxHeaderBytes) {
        // Far beyond any status file: a failed fetch. Drop the connection so
        // that nothing more is kept, and let the waiting call return at once.
        WinsockInet->close();
        fetchbuf.clear();
        fetchbuf.shrink_to_fit();
        fetchdone = true;
        return;
    }
    fetchbuf += data;
}

void MyInet::on_socket_close() {
    // The status line and header are dropped unread. A response without an
    // empty line has no body.
    const std::size_t end = fetchbuf.find(kHeaderEnd);
    if (end == std::string::npos) {
        fetchbuf.clear();
    } else {
        fetchbuf.erase(0, end + kHeaderEnd.size());
    }
    if (fetchbuf.size() > kMaxStatusBytes) {
        fetchbuf.clear();
        fetchbuf.shrink_to_fit();
    }
    fetchdone = true;
}

// Refused, unresolved or reset: the waiting call runs into its time-out.
void MyInet::on_socket_error(int) {}

}  // namespace tovira
