// Where the online monitor fetches from: the status index, built in or given
// on the command line, and the current feed that stands in when the index
// path yields no client.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tovira {

// The URL of the network's status index, fixed when the program is built.
std::string_view status_index_url();
// The URL of the network's current feed, fixed when the program is built.
std::string_view feed_url();

struct MonitorAddresses {
    std::string status_index{status_index_url()};
    std::string feed{feed_url()};
    // Whether an update whose index path yields no client fetches the feed.
    // Off for an index given on the command line without a feed, so that a
    // private server is never mixed with the public network.
    bool feed_fallback = true;
    // An index given on the command line, asked on every update; the
    // built-in one, retired by the network, gives way to the feed.
    bool private_index = false;
};

// The addresses as the command line sets them: "--status-index URL" and
// "--feed URL" (also "--option=URL"). `args` holds the arguments after the
// program's name, in UTF-8. An option without a value, an empty value and
// any other argument are ignored; a repeated option takes the last value.
MonitorAddresses addresses_from_command_line(std::span<const std::string> args);

// For tests only: "--test-fetch-deadline-ms N" (or "=N", 1 to 600000)
// shortens the deadline of every URL fetch to N ms, so that a suite can meet
// many dead servers quickly. Zero when absent or invalid; the last valid
// one holds.
long test_fetch_deadline_ms(std::span<const std::string> args);

}  // namespace tovira
