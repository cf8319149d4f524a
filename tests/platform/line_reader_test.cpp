#include "platform/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backends/sim/sim_platform.h"

namespace tovira {
namespace {

// A file that hands out its bytes `chunk` at a time.
class ChunkedFile : public platform::InputFile {
public:
    ChunkedFile(std::string data, std::size_t chunk) : data_(std::move(data)), chunk_(chunk) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min({size, chunk_, data_.size() - pos_});
        data_.copy(buffer, n, pos_);
        pos_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::string data_;
    std::size_t chunk_;
    std::size_t pos_ = 0;
};

std::vector<std::string> all_lines(const std::string& data, std::size_t chunk) {
    ChunkedFile file(data, chunk);
    platform::LineReader reader(file);
    std::vector<std::string> out;
    while (auto line = reader.read_line()) out.push_back(*line);
    return out;
}

TEST(LineReaderTest, LinesEndAtCrOrCrLfAndLoneLfBelongsToTheLine) {
    using V = std::vector<std::string>;
    // Every chunk size, so that a CR LF split between two reads is covered.
    for (std::size_t chunk : {1u, 2u, 3u, 4096u}) {
        SCOPED_TRACE(chunk);
        EXPECT_EQ(all_lines("a\r\nb\r\n", chunk), (V{"a", "b"}));
        EXPECT_EQ(all_lines("a\rb\r\n\r\nc", chunk), (V{"a", "b", "", "c"}));
        EXPECT_EQ(all_lines("a\nb\nc\n", chunk), (V{"a\nb\nc\n"}));
        EXPECT_EQ(all_lines("\r\r\n\r", chunk), (V{"", "", ""}));
        EXPECT_EQ(all_lines("a\n\r\nb", chunk), (V{"a\n", "b"}));
        EXPECT_EQ(all_lines("", chunk), V{});
    }
}

TEST(LineReaderTest, LongLinesAndReadErrors) {
    const std::string long_line(10000, 'x');
    EXPECT_EQ(all_lines(long_line + "\r\nend", 4096), (std::vector<std::string>{long_line, "end"}));

    sim::MemFileSystem fs;
    fs.files["f"] = "one\r\ntwo\r\n";
    auto file = fs.open_read("f");
    ASSERT_TRUE(file);
    fs.fail_operation(1);
    platform::LineReader reader(*file);
    EXPECT_FALSE(reader.read_line());
    EXPECT_TRUE(reader.failed());
}

TEST(MemFileSystemTest, FailsTheChosenOperationAndKeepsPartialBytes) {
    sim::MemFileSystem fs;
    EXPECT_FALSE(fs.open_read("missing"));
    auto out = fs.create("f");
    ASSERT_TRUE(out);
    fs.fail_operation(1, false, 3);
    EXPECT_FALSE(out->write("abcdef"));
    EXPECT_EQ(fs.files["f"], "abc");
    EXPECT_TRUE(out->write("gh"));
    EXPECT_TRUE(out->commit());
    EXPECT_EQ(fs.files["f"], "abcgh");

    fs.fail_operation(2, true);
    EXPECT_TRUE(fs.replace("f", "g"));
    EXPECT_FALSE(fs.remove("g"));
    EXPECT_FALSE(fs.create("h"));
    EXPECT_EQ(fs.files.count("g"), 1u);
    fs.clear_failures();
    EXPECT_TRUE(fs.remove("g"));
    EXPECT_TRUE(fs.files.empty());
}

}  // namespace
}  // namespace tovira
