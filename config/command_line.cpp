#include "config/command_line.h"

namespace tovira {

std::vector<std::string_view> option_values(std::span<const std::string> args,
                                            std::string_view name) {
    std::vector<std::string_view> values;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == name) {
            if (i + 1 < args.size() && !args[i + 1].starts_with("--")) values.push_back(args[++i]);
        } else if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
            values.push_back(arg.substr(name.size() + 1));
        }
    }
    return values;
}

std::optional<unsigned long> number_option(std::span<const std::string> args, std::string_view name,
                                           unsigned long min, unsigned long max) {
    std::optional<unsigned long> number;
    for (const std::string_view value : option_values(args, name)) {
        unsigned long n = 0;
        bool ok = !value.empty();
        for (const char c : value) {
            const unsigned long digit = static_cast<unsigned long>(c - '0');
            // Checked digit by digit: a long run of digits never wraps.
            ok = c >= '0' && c <= '9' && digit <= max && n <= (max - digit) / 10;
            if (!ok) break;
            n = n * 10 + digit;
        }
        if (ok && n >= min) number = n;
    }
    return number;
}

}  // namespace tovira
