#include "engine/mail_date.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace mail::engine {
namespace {

TEST(MessageDate, DateHeaderInWholeMinutes) {
    struct Case {
        const char* raw;
        std::optional<std::int64_t> minutes;
    } cases[] = {
        {"From: a@example.com\r\nDate: Tue, 04 Feb 2025 10:30:00 +0100\r\n\r\nbody", 28977690},
        {"Date: Tue, 04 Feb 2025 10:30:59 +0100\n\n", 28977690},  // seconds are cut off
        {"Date: Tue, 04 Feb 2025 10:30:00 -0500\n\n", 28978050},
        {"date: 3 Feb 2025 18:05:59 +0100\n\n", 28976705},
        {"Date : Tue, 04 Feb 2025 10:30:00 +0100\n\n", 28977690},  // obsolete space before the colon
        {"Date: Tue, 04 Feb 2025\r\n 10:30:00 +0100\r\nSubject: x\r\n\r\n", 28977690},  // folded
        {"Date: Fri, 31 Dec 1999 23:59:00 GMT\n\n", 15778079},
        // Before the epoch the division truncates towards zero.
        {"Date: Wed, 31 Dec 1969 23:59:30 +0000\n\n", 0},
        {"Date: Wed, 31 Dec 1969 23:58:30 +0000\n\n", -1},
        // The first Date field counts.
        {"Date: Tue, 04 Feb 2025 10:30:00 +0100\nDate: Fri, 31 Dec 1999 23:59:00 GMT\n\n", 28977690},
        {"From: a@example.com\n\nbody", std::nullopt},
        {"Subject: x\n\nDate: Tue, 04 Feb 2025 10:30:00 +0100\n", std::nullopt},  // in the body
        {"X-Date: Tue, 04 Feb 2025 10:30:00 +0100\n\n", std::nullopt},
        {"Date: sometime soon\n\n", std::nullopt},
        {"Date:\n\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(message_date_minutes(c.raw), c.minutes) << c.raw;
}

TEST(MessageDate, OverlongValueIsNotADate) {
    std::string raw = "Date: Tue, 04 Feb 2025 10:30:00 +0100";
    for (int i = 0; i < 2000; ++i) raw += "\r\n x";
    raw += "\r\n\r\n";
    EXPECT_EQ(message_date_minutes(raw), std::nullopt);
}

TEST(MessageTime, ServerTimeThenDateHeaderThenFallback) {
    const char* dated = "Date: Tue, 04 Feb 2025 10:30:00 +0100\r\n\r\n";
    EXPECT_EQ(message_time_minutes(100, dated, 7), 100);
    EXPECT_EQ(message_time_minutes(std::nullopt, dated, 7), 28977690);
    EXPECT_EQ(message_time_minutes(std::nullopt, "Subject: x\r\n\r\n", 7), 7);
}

}  // namespace
}  // namespace mail::engine
