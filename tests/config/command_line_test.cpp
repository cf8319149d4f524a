#include "config/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tovira::testing {
namespace {

// The one reader of numeric options: whatever a user types, the value is a
// number within the bounds or nothing.
TEST(CommandLineTest, ANumberOptionIsInItsBoundsOrNothing) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::optional<unsigned long> want;
    } cases[] = {
        {"absent", {"--other", "5"}, std::nullopt},
        {"separate and joined, the last holds", {"--n", "7", "--n=9"}, 9},
        {"an invalid one after a valid one", {"--n=7", "--n", "x"}, 7},
        {"a name that only begins alike", {"--nn=7", "--n-x", "8"}, std::nullopt},
        {"followed by another option", {"--n", "--m", "5"}, std::nullopt},
        {"below the least", {"--n", "0"}, std::nullopt},
        {"the greatest", {"--n", "1000"}, 1000},
        {"one above", {"--n", "1001"}, std::nullopt},
        {"leading zeros", {"--n", "0000000000000000000000012"}, 12},
        {"digits that would wrap", {"--n", "18446744073709551617"}, std::nullopt},
        {"a sign", {"--n", "+5"}, std::nullopt},
        {"empty", {"--n="}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(number_option(c.args, "--n", 1, 1000), c.want);
    }
}

}  // namespace
}  // namespace tovira::testing
