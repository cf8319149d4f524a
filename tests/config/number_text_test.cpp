#include "config/number_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tovira {
namespace {

TEST(NumberTextTest, LeadingNumberIgnoresBlanksAndStopsAtTheFirstStranger) {
    EXPECT_EQ(leading_number("250ms"), 250);
    EXPECT_EQ(leading_number("ms"), 0);
    EXPECT_EQ(leading_number(""), 0);
    EXPECT_EQ(leading_number(" 1 2\t5\n"), 125);
    EXPECT_EQ(leading_number("- 5"), -5);
    EXPECT_EQ(leading_number("1.5.7"), 1.5);
    EXPECT_EQ(leading_number("1,5"), 1);  // the full stop is the only separator
    EXPECT_EQ(leading_number("+"), 0);
    EXPECT_EQ(leading_number("1e3"), 1);
    // Too many digits is out of every range, not zero.
    EXPECT_GT(leading_number(std::string(400, '9')), 65535);
    EXPECT_EQ(leading_number("0." + std::string(400, '0') + "1"), 0);
}

TEST(NumberTextTest, RoundsHalvesToEven) {
    EXPECT_EQ(round_half_even(100.5), 100);
    EXPECT_EQ(round_half_even(101.5), 102);
    EXPECT_EQ(round_half_even(-2.5), -2);
    EXPECT_EQ(round_half_even(2.4999), 2);
}

TEST(NumberTextTest, FileNumbersFollowTheLocaleAndTheRange) {
    EXPECT_EQ(parse_number(" 1 ", '.'), 1.0);
    EXPECT_EQ(parse_number("1234,5", ','), 1234.5);
    EXPECT_FALSE(parse_number("1234.5", ','));
    EXPECT_FALSE(parse_number("1234,5", '.'));
    EXPECT_FALSE(parse_number("", '.'));
    EXPECT_FALSE(parse_number(" ", '.'));
    EXPECT_FALSE(parse_number("1 2", '.'));
    EXPECT_FALSE(parse_number("250ms", '.'));
    EXPECT_EQ(parse_int32(" 2147483647 ", '.'), 2147483647);
    EXPECT_FALSE(parse_int32("2147483648", '.'));
    EXPECT_EQ(parse_int32("-2147483648", '.'), -2147483647 - 1);
    EXPECT_EQ(parse_int16("32767.4", '.'), 32767);
    EXPECT_FALSE(parse_int16("32767.5", '.'));  // rounds to 32768
    EXPECT_EQ(parse_int16("0,5", ','), 0);
    EXPECT_FALSE(parse_single("1" + std::string(60, '0'), '.'));
}

TEST(NumberTextTest, NumberFormHasBlanksAroundAndTheLocaleSeparator) {
    EXPECT_EQ(format_number(42, '.'), " 42 ");
    EXPECT_EQ(format_number(-7, '.'), "-7 ");
    EXPECT_EQ(format_number(0, '.'), " 0 ");
    EXPECT_EQ(format_number(-0.0, '.'), " 0 ");
    EXPECT_EQ(format_number(2147483647, '.'), " 2147483647 ");
    EXPECT_EQ(format_single(1234.5f, ','), " 1234,5 ");
    EXPECT_EQ(format_single(-0.75f, '.'), "-0.75 ");
    EXPECT_EQ(format_single(1e10f, '.'), " 10000000000 ");  // never an exponent
    // What is written reads back as the same value.
    for (float v : {0.1f, 1234.56f, -3.3f, 7e-5f, 16777216.0f}) {
        EXPECT_EQ(parse_single(format_single(v, ','), ','), v);
    }
}

}  // namespace
}  // namespace tovira
