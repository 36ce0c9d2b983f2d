#pragma once
// The time a message is filed under, in whole minutes since the Unix epoch.
#include <cstdint>
#include <optional>
#include <string_view>

namespace mail::engine {

// The first Date header of a raw message, in whole minutes since the epoch (seconds divided by
// 60, truncated); nothing when there is no Date header or it cannot be read as a date.
std::optional<std::int64_t> message_date_minutes(std::string_view raw);

// The server's time when it gave one, else the message's own Date header, else the fallback
// (the time the refresh started).
std::int64_t message_time_minutes(std::optional<std::int64_t> server_minutes, std::string_view raw,
                                  std::int64_t fallback_minutes);

}  // namespace mail::engine
