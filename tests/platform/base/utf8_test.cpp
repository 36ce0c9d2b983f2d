#include "platform/base/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace mail::utf8 {
namespace {

TEST(Utf8, DecodesScalarsAndRefusesMalformedSequences) {
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t length;  // 0: malformed
        char32_t value;
    };
    const Case cases[] = {
        {"ascii", "A", 1, U'A'},
        {"two bytes", "\xC3\xA9", 2, U'\u00e9'},
        {"three bytes", "\xE2\x80\x94", 3, U'\u2014'},
        {"four bytes", "\xF0\x9F\x8E\x89", 4, U'\U0001F389'},
        {"lone continuation", "\x80", 0, 0},
        {"overlong slash", "\xC0\xAF", 0, 0},
        {"overlong three", "\xE0\x80\xAF", 0, 0},
        {"surrogate", "\xED\xA0\x80", 0, 0},
        {"past U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
        {"cut short", "\xE2\x80", 0, 0},
        {"bad continuation", "\xC3\x28", 0, 0},
    };
    for (const auto& c : cases) {
        char32_t cp = 0;
        EXPECT_EQ(decode(c.bytes, 0, cp), c.length) << c.name;
        if (c.length) EXPECT_EQ(static_cast<std::uint32_t>(cp), static_cast<std::uint32_t>(c.value)) << c.name;
    }
}

TEST(Utf8, EncodingRoundTripsEveryScalarValue) {
    for (char32_t cp = 0; cp <= 0x10FFFF; cp += (cp < 0x3000 ? 1 : 97)) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        std::string bytes;
        encode(cp, bytes);
        char32_t back = 0;
        ASSERT_EQ(decode(bytes, 0, back), bytes.size()) << std::hex << static_cast<std::uint32_t>(cp);
        ASSERT_EQ(static_cast<std::uint32_t>(back), static_cast<std::uint32_t>(cp));
    }
    EXPECT_TRUE(is_valid("R\xC3\xA9union \xE2\x80\x94 ok"));
    EXPECT_FALSE(is_valid("R\xC3union"));
}

}  // namespace
}  // namespace mail::utf8
