#include "monitor/http_client.h"

namespace tovira {

MyInet::MyInet(platform::Platform& platform)
    : platform_(platform), WinsockInet(platform.create_socket(*this)) {}
MyInet::~MyInet() = default;

std::string MyInet::request_text(std::string_view host, std::string_view path) {
    std::string r = "GET ";
    r.append(path).append(" HTTP/1.0\r\nHost: ").append(host);
    r += "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    return r;
}

std::string MyInet::OpenURL(std::string_view, std::string_view) { return {}; }
void MyInet::on_socket_connect() {}
void MyInet::on_socket_data_arrival(std::size_t) {}
void MyInet::on_socket_close() {}
void MyInet::on_socket_error(int) {}

}  // namespace tovira
