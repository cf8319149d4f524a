// The options the program takes on its command line: "--name VALUE" or
// "--name=VALUE". `args` holds the arguments after the program's name, in
// UTF-8. A word beginning with "--" is never an option's value, so an
// option followed by another has none.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovira {

// Every value given to the option `name` ("--status-index"), in order.
std::vector<std::string_view> option_values(std::span<const std::string> args,
                                            std::string_view name);

// The last value of `name` that is a whole number of decimal digits from
// `min` to `max`; any other value is ignored. Nothing without such a value.
std::optional<unsigned long> number_option(std::span<const std::string> args, std::string_view name,
                                           unsigned long min, unsigned long max);

}  // namespace tovira
