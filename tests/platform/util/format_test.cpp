#include "platform/util/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(FormatBytes, ReadableSizesAcrossUnitBoundaries) {
    struct Case {
        std::uint64_t count;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 B"},
        {512, "512 B"},
        {1023, "1023 B"},
        {1024, "1.0 KB"},
        {1536, "1.5 KB"},
        {10188, "9.9 KB"},             // 9.949… KB stays below ten
        {10189, "10 KB"},              // 9.95 KB rounds to ten and drops the decimal
        {512000, "500 KB"},
        {1048063, "1023 KB"},
        {1048064, "1.0 MB"},           // would round to 1024 KB
        {1258291, "1.2 MB"},
        {33554432, "32 MB"},
        {3650722202ULL, "3.4 GB"},
        {1099511627776ULL, "1.0 TB"},
        {std::numeric_limits<std::uint64_t>::max(), "16 EB"},
    };
    for (const Case& c : cases) EXPECT_EQ(mail::format::bytes(c.count), c.text) << c.count;
}

}  // namespace
