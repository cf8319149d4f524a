#include "platform/fetch_frames.h"

#include <algorithm>
#include <utility>

namespace tovira::platform {

namespace {

void put_u32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t get_u32(std::string_view in) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(in[static_cast<std::size_t>(i)]);
    return v;
}

bool known(std::uint8_t type) {
    switch (static_cast<FetchFrame>(type)) {
        case FetchFrame::Status:
        case FetchFrame::Headers:
        case FetchFrame::Body:
        case FetchFrame::End: return true;
    }
    return false;
}

}  // namespace

std::string encode_frame(FetchFrame type, std::string_view payload) {
    payload = payload.substr(0, kMaxFramePayload);
    std::string out;
    out.reserve(kFrameHeadBytes + payload.size());
    out.push_back(static_cast<char>(type));
    put_u32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
    return out;
}

std::string encode_status_frame(int status) {
    std::string code;
    put_u32(code, static_cast<std::uint32_t>(status));
    return encode_frame(FetchFrame::Status, code);
}

std::string encode_end_frame(bool ok) {
    return encode_frame(FetchFrame::End, std::string(1, ok ? '\1' : '\0'));
}

FetchFrameReader::State FetchFrameReader::feed(std::string_view bytes) {
    while (state_ == State::Reading && !bytes.empty()) {
        // A frame whole in `bytes` is taken from there, without a copy.
        std::string_view frame;
        if (pending_.empty() && bytes.size() >= kFrameHeadBytes) {
            const std::uint32_t length = get_u32(bytes.substr(1));
            if (length <= kMaxFramePayload && bytes.size() >= kFrameHeadBytes + length) {
                frame = bytes.substr(0, kFrameHeadBytes + length);
                bytes.remove_prefix(frame.size());
            }
        }
        if (frame.empty()) {
            // Collect the head first, then exactly the rest of this frame.
            std::size_t want = kFrameHeadBytes;
            if (pending_.size() >= kFrameHeadBytes)
                want += get_u32(std::string_view(pending_).substr(1));
            const std::size_t n = std::min(want - pending_.size(), bytes.size());
            pending_.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
            if (pending_.size() < kFrameHeadBytes) continue;
            // A length over the limit fails as soon as it is known.
            const std::uint32_t length = get_u32(std::string_view(pending_).substr(1));
            if (length > kMaxFramePayload) {
                fail();
                break;
            }
            if (pending_.size() < kFrameHeadBytes + length) continue;
            std::string whole = std::exchange(pending_, {});
            if (!take(static_cast<FetchFrame>(static_cast<std::uint8_t>(whole[0])),
                      std::string_view(whole).substr(kFrameHeadBytes))) {
                fail();
            }
            continue;
        }
        if (!take(static_cast<FetchFrame>(static_cast<std::uint8_t>(frame[0])),
                  frame.substr(kFrameHeadBytes))) {
            fail();
        }
    }
    // Anything after the end frame is a fault of the writer's.
    if (state_ == State::Done && !bytes.empty()) fail();
    return state_;
}

bool FetchFrameReader::take(FetchFrame type, std::string_view payload) {
    if (!known(static_cast<std::uint8_t>(type))) return false;
    switch (type) {
        case FetchFrame::Status:
            if (have_status_ || have_headers_ || have_body_ || payload.size() != 4) return false;
            have_status_ = true;
            status_ = static_cast<int>(get_u32(payload));
            return true;
        case FetchFrame::Headers:
            if (have_headers_ || have_body_) return false;
            have_headers_ = true;
            headers_.assign(payload);
            return true;
        case FetchFrame::Body:
            have_body_ = true;
            // One byte over the cap is enough to know the body is too long.
            if (payload.size() > max_body_ - std::min(max_body_, body_.size())) return false;
            body_.append(payload);
            return true;
        case FetchFrame::End:
            if (payload.size() != 1 || static_cast<unsigned char>(payload[0]) > 1) return false;
            ok_ = payload[0] == '\1';
            state_ = State::Done;
            if (!ok_) {
                // A failed transfer keeps nothing.
                std::string().swap(body_);
                std::string().swap(headers_);
            }
            return true;
    }
    return false;
}

std::string FetchFrameReader::take_body() {
    return std::exchange(body_, {});
}

void FetchFrameReader::fail() {
    state_ = State::Failed;
    ok_ = false;
    std::string().swap(pending_);
    std::string().swap(headers_);
    std::string().swap(body_);
}

}  // namespace tovira::platform
