// Numbers in texts: the leading number of a typed text, the locale-aware
// conversion of file values, the number form of the file, and rounding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovira {

// Blanks, tabs and line feeds anywhere are ignored; an optional sign,
// digits and at most one full stop are read up to the first character that
// cannot continue the number. No leading number gives 0.
double leading_number(std::string_view text);

// To the nearest integer, halves to the even neighbour.
double round_half_even(double v);

// Blanks around the number are ignored; `decimal_separator` is the user's.
// Not a number: nullopt.
std::optional<double> parse_number(std::string_view text, char decimal_separator);
std::optional<std::int32_t> parse_int32(std::string_view text, char decimal_separator);
std::optional<std::int16_t> parse_int16(std::string_view text, char decimal_separator);
std::optional<float> parse_single(std::string_view text, char decimal_separator);

// The file's number form: a blank (or the minus sign), the digits, a blank.
// Fractions use `decimal_separator`; no exponent is ever written.
std::string format_number(double v, char decimal_separator);
std::string format_single(float v, char decimal_separator);

}  // namespace tovira
