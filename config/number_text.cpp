#include "config/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tovira {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a plain decimal ("-12.5", "+3", "7.") independently of the process
// locale; too large a magnitude saturates. Nothing readable: nullopt.
std::optional<double> to_double(std::string_view plain) {
    if (plain.starts_with('+')) plain.remove_prefix(1);
    double v = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero, overflow as the largest magnitude.
        const bool tiny = plain.find_first_of("123456789") == std::string_view::npos ||
                          plain.find('.') < plain.find_first_of("123456789");
        const double big = std::numeric_limits<double>::max();
        v = tiny ? 0.0 : (plain.starts_with('-') ? -big : big);
    } else if (r.ec != std::errc{} || r.ptr != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return v;
}

// Strict decimal parse of the whole text with `sep` as the separator.
std::optional<double> parse_decimal(std::string_view s, char sep) {
    std::string plain;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain += s[i++];
    bool digits = false;
    bool fraction = false;
    for (; i < s.size(); ++i) {
        if (is_digit(s[i])) {
            plain += s[i];
            digits = true;
        } else if (s[i] == sep && !fraction) {
            plain += '.';
            fraction = true;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    return to_double(plain);
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

template <typename Int>
std::optional<Int> to_integer(std::string_view text, char sep) {
    const auto v = parse_number(text, sep);
    if (!v) return std::nullopt;
    const double r = round_half_even(*v);
    if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}

}  // namespace

double leading_number(std::string_view text) {
    std::string plain;
    bool sign_allowed = true;
    bool point = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\n') continue;
        if (sign_allowed && (c == '+' || c == '-')) {
            plain += c;
        } else if (is_digit(c)) {
            plain += c;
        } else if (c == '.' && !point) {
            plain += c;
            point = true;
        } else {
            break;
        }
        sign_allowed = false;
    }
    return to_double(plain).value_or(0.0);  // "", "-", "." give 0
}

double round_half_even(double v) {
    if (!std::isfinite(v)) return v;
    const double floor_v = std::floor(v);
    const double diff = v - floor_v;
    if (diff < 0.5) return floor_v;
    if (diff > 0.5) return floor_v + 1;
    return std::fmod(floor_v, 2.0) == 0 ? floor_v : floor_v + 1;
}

std::optional<double> parse_number(std::string_view text, char decimal_separator) {
    const auto v = parse_decimal(trim_blanks(text), decimal_separator);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

std::optional<std::int32_t> parse_int32(std::string_view text, char sep) {
    return to_integer<std::int32_t>(text, sep);
}

std::optional<std::int16_t> parse_int16(std::string_view text, char sep) {
    return to_integer<std::int16_t>(text, sep);
}

std::optional<float> parse_single(std::string_view text, char sep) {
    const auto v = parse_number(text, sep);
    if (!v || std::fabs(*v) > std::numeric_limits<float>::max()) return std::nullopt;
    return static_cast<float>(*v);
}

namespace {

std::string number_form(std::string digits, char sep) {
    for (char& c : digits) {
        if (c == '.') c = sep;
    }
    if (digits.starts_with('-')) return digits + " ";
    return " " + digits + " ";
}

}  // namespace

std::string format_number(double v, char decimal_separator) {
    if (v == 0 || !std::isfinite(v)) v = 0;  // no "-0"
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return number_form(std::string(buf, r.ptr), decimal_separator);
}

std::string format_single(float v, char decimal_separator) {
    if (v == 0 || !std::isfinite(v)) v = 0;
    char buf[100];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return number_form(std::string(buf, r.ptr), decimal_separator);
}

}  // namespace tovira
