// The URL fetch's pipe from its child process, as input from outside: any
// bytes, sliced as the pipe may hand them over. The reader never holds more
// body than its cap nor more than one frame's worth besides; it ends in the
// same state, with the same result, however the bytes are sliced; a failed
// or unfinished fetch hands over no body; and a stream the writer's own
// encoder made from the decoded result reads back the same.
//
// Input: byte 0 the cap (in units of 256 bytes), byte 1 the slice length
// for the second reading (1 to 256); the rest is the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/fetch_frames.h"

using tovira::platform::FetchFrame;
using tovira::platform::FetchFrameReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t cap = std::size_t{data[0]} * 256;
    const std::size_t slice = std::size_t{data[1]} + 1;
    const std::string_view stream(reinterpret_cast<const char*>(data + 2), size - 2);

    FetchFrameReader whole(cap);
    whole.feed(stream);
    FetchFrameReader sliced(cap);
    for (std::size_t at = 0; at < stream.size(); at += slice) {
        sliced.feed(stream.substr(at, slice));
        FUZZ_CHECK(sliced.body_size() <= cap);
    }
    FUZZ_CHECK(whole.state() == sliced.state());
    FUZZ_CHECK(whole.ok() == sliced.ok());
    FUZZ_CHECK(whole.body_size() <= cap);
    if (whole.state() == FetchFrameReader::State::Failed) {
        FUZZ_CHECK(whole.body_size() == 0 && !whole.ok());
        return 0;
    }
    FUZZ_CHECK(whole.status() == sliced.status());
    FUZZ_CHECK(whole.headers() == sliced.headers());
    if (whole.state() == FetchFrameReader::State::Done && !whole.ok()) {
        FUZZ_CHECK(whole.body_size() == 0);
    }
    const std::string body = whole.take_body();
    FUZZ_CHECK(body == sliced.take_body());
    if (whole.state() != FetchFrameReader::State::Done || !whole.ok()) return 0;

    // The result, written again by the child's encoder, reads back the same.
    std::string again = tovira::platform::encode_status_frame(whole.status()) +
                        tovira::platform::encode_frame(FetchFrame::Headers, whole.headers());
    for (std::size_t at = 0; at < body.size(); at += tovira::platform::kMaxFramePayload) {
        again += tovira::platform::encode_frame(
            FetchFrame::Body,
            std::string_view(body).substr(at, tovira::platform::kMaxFramePayload));
    }
    again += tovira::platform::encode_end_frame(true);
    FetchFrameReader reread(cap);
    reread.feed(again);
    FUZZ_CHECK(reread.ok() && reread.status() == whole.status());
    FUZZ_CHECK(reread.headers() == whole.headers());
    FUZZ_CHECK(reread.take_body() == body);
    return 0;
}
