// The frames a URL fetch's child process writes to its parent: the HTTP
// status, the response's header block, the body in pieces, and how it
// ended. The parent reads them from a pipe as input from outside: a child
// that misbehaves (or whatever else writes there) can only fail the fetch,
// never grow the parent's memory past the body's cap.
//
// A frame is one type byte, the payload's length as 4 bytes little-endian,
// then the payload. Status: 4 bytes, the code little-endian. Headers: text,
// at most once, before the body. Body: a piece of the body. End: 1 byte, 1
// when the transfer completed, 0 when it failed; nothing may follow it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovira::platform {

enum class FetchFrame : std::uint8_t {
    Status = 'S',
    Headers = 'H',
    Body = 'B',
    End = 'E',
};

inline constexpr std::size_t kFrameHeadBytes = 5;
// The largest payload of any frame; a writer splits a body into pieces.
inline constexpr std::size_t kMaxFramePayload = std::size_t{64} << 10;

// One frame; a payload over kMaxFramePayload is cut there.
std::string encode_frame(FetchFrame type, std::string_view payload);
std::string encode_status_frame(int status);
std::string encode_end_frame(bool ok);

// Collects one fetch's result from the frames, fed in any slices.
class FetchFrameReader {
public:
    enum class State : std::uint8_t { Reading, Done, Failed };

    explicit FetchFrameReader(std::size_t max_body) : max_body_(max_body) {}

    // Consumes `bytes`. A malformed frame, anything after the end, or a body
    // over the cap fails the fetch and frees what was kept.
    State feed(std::string_view bytes);
    State state() const { return state_; }
    // Done: whether the child reported a completed transfer.
    bool ok() const { return state_ == State::Done && ok_; }
    int status() const { return status_; }
    const std::string& headers() const { return headers_; }
    std::size_t body_size() const { return body_.size(); }
    std::string take_body();
    // Gives the fetch up (the pipe broke early, the child was stopped),
    // freeing what was kept.
    void fail();

private:
    bool take(FetchFrame type, std::string_view payload);

    std::size_t max_body_;
    State state_ = State::Reading;
    bool ok_ = false;
    bool have_status_ = false;
    bool have_headers_ = false;
    bool have_body_ = false;
    int status_ = 0;
    std::string pending_;  // an incomplete frame, at most one
    std::string headers_;
    std::string body_;
};

}  // namespace tovira::platform
