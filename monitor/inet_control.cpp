#include "monitor/inet_control.h"

namespace tovira {

InetControl::InetControl(platform::Platform& platform)
    : platform_(platform), fetch_(platform.create_url_fetch(*this)) {}
InetControl::~InetControl() = default;

std::string InetControl::OpenURL() { throw FetchError("not yet"); }
void InetControl::on_url_fetch_done(platform::UrlFetchResult result) {
    done_ = true;
    result_ = std::move(result);
}

}  // namespace tovira
