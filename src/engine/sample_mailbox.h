#pragma once
// A fixed, self-contained mailbox for the launch scenes: two accounts and fifteen messages across
// Inbox, Sent, Archive and Junk, so every screen can be shown with believable content.
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/mail_state.h"

namespace mail::engine {

// 2026-06-30 14:05 UTC, in minutes since the Unix epoch.
inline constexpr std::int64_t kSampleNow = 29'713'805;

std::vector<MailAccount> sample_accounts();

// The three sample messages that go through the parser, as raw RFC 5322 text with CRLF ends.
std::vector<std::string_view> sample_raw_messages();

// The complete sample state: both accounts (the first selected), the fifteen messages, the sample
// clock and the initial selection inside the first Inbox conversation of two or more messages.
MailState build_sample_state();

}  // namespace mail::engine
