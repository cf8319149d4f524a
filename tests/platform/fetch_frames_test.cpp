#include "platform/fetch_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovira::platform {
namespace {

using State = FetchFrameReader::State;

std::string body_frame(std::string_view piece) {
    return encode_frame(FetchFrame::Body, piece);
}

std::string head(char type, std::uint32_t length) {
    std::string h(1, type);
    for (int i = 0; i < 4; ++i) h.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
    return h;
}

// A whole answer comes through the same however the pipe slices it.
TEST(FetchFramesTest, AnAnswerReadsTheSameInAnySlices) {
    const std::string big(70000, 'x');  // more than one frame's payload
    std::string stream = encode_status_frame(404) +
                         encode_frame(FetchFrame::Headers, "HTTP/1.1 404\r\n\r\n") +
                         body_frame("not ") + body_frame("") + body_frame(big.substr(0, 65536)) +
                         body_frame(big.substr(65536)) + encode_end_frame(true);
    for (const std::size_t slice :
         {std::size_t{1}, std::size_t{3}, std::size_t{5}, std::size_t{4096}, stream.size()}) {
        FetchFrameReader r(1 << 20);
        for (std::size_t at = 0; at < stream.size(); at += slice) {
            r.feed(std::string_view(stream).substr(at, slice));
        }
        ASSERT_EQ(r.state(), State::Done) << slice;
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(r.status(), 404);
        EXPECT_EQ(r.headers(), "HTTP/1.1 404\r\n\r\n");
        EXPECT_EQ(r.take_body(), "not " + big) << slice;
    }
}

// Anything but a well-formed answer within the cap fails, and a failed
// fetch keeps nothing of its body.
TEST(FetchFramesTest, MalformedOrOversizedInputFailsAndFreesTheBody) {
    const std::string ok_start = encode_status_frame(200) + body_frame("abcd");
    struct Case {
        const char* name;
        std::string stream;
        State want;
    } cases[] = {
        {"body at the cap", ok_start + body_frame("efgh") + encode_end_frame(true), State::Done},
        {"one byte over the cap", ok_start + body_frame("efghi"), State::Failed},
        {"unknown type", ok_start + head('X', 0), State::Failed},
        {"length over the frame limit", ok_start + head('B', kMaxFramePayload + 1), State::Failed},
        {"length far over", ok_start + head('B', 0xFFFFFFFFu), State::Failed},
        {"status of 3 bytes", head('S', 3) + "abc", State::Failed},
        {"status after the body", ok_start + encode_status_frame(200), State::Failed},
        {"headers twice",
         encode_frame(FetchFrame::Headers, "a") + encode_frame(FetchFrame::Headers, "b"),
         State::Failed},
        {"headers after the body", ok_start + encode_frame(FetchFrame::Headers, "a"),
         State::Failed},
        {"end of 2 bytes", ok_start + head('E', 2) + "\1\1", State::Failed},
        {"end neither 0 nor 1", ok_start + head('E', 1) + "\2", State::Failed},
        {"bytes after the end", ok_start + encode_end_frame(true) + "B", State::Failed},
        {"cut inside a frame", ok_start + head('B', 10) + "abc", State::Reading},
    };
    for (const Case& c : cases) {
        FetchFrameReader r(8);
        EXPECT_EQ(r.feed(c.stream), c.want) << c.name;
        if (c.want == State::Failed) {
            EXPECT_EQ(r.body_size(), 0u) << c.name;
            EXPECT_FALSE(r.ok()) << c.name;
            // Nothing revives it.
            EXPECT_EQ(r.feed(encode_end_frame(true)), State::Failed) << c.name;
        }
    }
}

TEST(FetchFramesTest, AFailedTransferOrAGiveUpKeepsNothing) {
    FetchFrameReader failed(100);
    failed.feed(encode_status_frame(200) + body_frame("partial body"));
    EXPECT_EQ(failed.feed(encode_end_frame(false)), State::Done);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.body_size(), 0u);

    FetchFrameReader given_up(100);
    given_up.feed(encode_status_frame(200) + body_frame("partial body"));
    given_up.fail();
    EXPECT_EQ(given_up.state(), State::Failed);
    EXPECT_EQ(given_up.body_size(), 0u);
}

}  // namespace
}  // namespace tovira::platform
