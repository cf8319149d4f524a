// The network's current status feed: one JSON document listing its clients,
// turned into status records that `checkwhazz` reads as it reads a status
// file. Used when the status index and status file yield no client.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tovira {

// The document is a few megabytes; far more is not the feed.
inline constexpr std::size_t kMaxFeedBytes = std::size_t{32} << 20;
inline constexpr platform::Millis kFeedTimeoutMs = 30000;
// Input read between two passes of the event loop during a conversion.
inline constexpr std::size_t kFeedSliceBytes = std::size_t{64} << 10;

// Called after each slice of input with the count of bytes read so far;
// returning false stops the conversion, which then fails.
using SliceHook = std::function<bool(std::size_t consumed)>;

// The clients of a feed document as status records, one per client in the
// document's order: "CALLSIGN:USERID:USERID:TYPE:FREQUENCY:" and CR LF, in
// the 8-bit code page. TYPE is "ATC" for `clients.atcs` and
// `clients.observers`, "PILOT" for `clients.pilots` and `clients.followMe`;
// FREQUENCY is `atcSession.frequency` in MHz with three decimals for ATC
// where that text lies from 100.000 to 199.997, and empty otherwise. A
// client without a callsign, or whose callsign or user id holds ':', CR or
// LF, is left out. Everything else in the document is skipped unread.
// nullopt when the document is not JSON, its top level has no "clients"
// object, or `between_slices` stopped it.
std::optional<std::string> convert_feed(std::string_view json, platform::Locale& locale,
                                        const SliceHook& between_slices = {},
                                        std::size_t slice_bytes = kFeedSliceBytes);

// True when `text` holds a client record: a line with five colons or more.
bool has_client_record(std::string_view text);

}  // namespace tovira
