#include <gtest/gtest.h>

#include "core/text_case.h"

namespace mail {
namespace {

TEST(ToLower, FoldsCommonAlphabetsAndKeepsEverythingElse) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"Hello WORLD 123", "hello world 123"},
        {"ÀÉÎÕÜ ×", "àéîõü ×"},  // the multiplication sign is not a letter
        {"ŁÓDŹ Ÿ", "łódź ÿ"},
        {"ΣΠΑΡΤΗ Ά", "σπαρτη ά"},
        {"ПРИВЕТ ЁЖ", "привет ёж"},
        {"ẞ", "ß"},
        {"ＡＢＣ", "ａｂｃ"},
        {"日本 ✉", "日本 ✉"},
        {"A\xff" "B\xc3", "a\xff" "b\xc3"},  // malformed bytes pass through
    };
    for (const auto& c : cases) EXPECT_EQ(to_lower(c.in), c.out) << c.in;
}

TEST(TrimWhiteSpace, UnicodeSpacesAtBothEnds) {
    EXPECT_EQ(trim_white_space("  \t a b \r\n"), "a b");
    EXPECT_EQ(trim_white_space("\u00a0\u3000x\u2003"), "x");
    EXPECT_EQ(trim_white_space("   "), "");
    EXPECT_EQ(trim_white_space("é"), "é");
    EXPECT_EQ(trim_white_space("x\xc2"), "x\xc2");  // a cut-off sequence is not space
}

TEST(StartsWithAsciiCi, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(starts_with_ascii_ci("RE: x", "re:"));
    EXPECT_TRUE(starts_with_ascii_ci("Fwd:x", "fwd:"));
    EXPECT_FALSE(starts_with_ascii_ci("r", "re:"));
    EXPECT_FALSE(starts_with_ascii_ci("ré:", "re:"));
}

}  // namespace
}  // namespace mail
