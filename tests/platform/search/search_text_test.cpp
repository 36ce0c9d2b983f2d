#include "platform/search/search_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mail::search {
namespace {

using Strings = std::vector<std::string>;

struct FoldCase {
    const char* input;
    const char* expected;
};

TEST(NormalizeSearchText, FoldsCaseAndAccentsAcrossScripts) {
    const FoldCase cases[] = {
        {"Réunion", "reunion"},
        {"Re\u0301union", "reunion"},  // decomposed accent
        {"STRASSE", "strasse"},
        {"straße", "strasse"},
        {"GROẞE", "grosse"},
        {"Łódź Ærø Œuvre Þing", "lodz aero oeuvre thing"},
        {"İstanbul ılık", "istanbul ilik"},
        {"Știință Čeština Ångström", "stiinta cestina angstrom"},
        {"Nguyễn Đức Thọ", "nguyen duc tho"},
        {"ΑΘΉΝΑ ΣΟΦΟΣ σοφός", "αθηνα σοφοσ σοφοσ"},
        {"Ϊούλιος", "ιουλιοσ"},
        {"МОСКВА Ёлка ЖУК", "москва елка жук"},
        {"ҐАНОК Ӂ", "ґанок ӂ"},
        {"ՀԱՅԵՐԵՆ", "հայերեն"},
        {"ＭＡＩＬ１２", "mail12"},
        {"ﬁle ﬂow", "file flow"},
        {"µs", "μs"},
        {"東京 Tower", "東京 tower"},
    };
    for (const FoldCase& c : cases) {
        EXPECT_EQ(normalize_search_text(c.input), c.expected) << c.input;
    }
}

// Folding its own output changes nothing: a table entry that maps to a character the tables
// fold again would make indexed text and queries disagree.
TEST(NormalizeSearchText, IsIdempotentForEveryCodePoint) {
    auto utf8 = [](char32_t c) {
        std::string s;
        if (c < 0x80) {
            s += static_cast<char>(c);
        } else if (c < 0x800) {
            s += static_cast<char>(0xC0 | (c >> 6));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            s += static_cast<char>(0xE0 | (c >> 12));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (c >> 18));
            s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (c & 0x3F));
        }
        return s;
    };
    int failures = 0;
    for (char32_t c = 1; c < 0x30000 && failures < 10; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        std::string text = "x" + utf8(c) + "Y";
        std::string once = normalize_search_text(text);
        if (normalize_search_text(once) != once || once.back() != 'y') {
            ADD_FAILURE() << "U+" << std::hex << static_cast<std::uint32_t>(c) << " folds to "
                          << once;
            ++failures;
        }
    }
}

TEST(NormalizeSearchText, CollapsesSpaceAndDropsInvisibleCharacters) {
    const FoldCase cases[] = {
        {"  one\t\ttwo\r\nthree  ", "one two three"},
        {"a\u00A0b\u2003c\u3000d", "a b c d"},
        {"in\u00ADvisible zero\u200Bwidth", "invisible zerowidth"},
        {"O'Brien don\u2019t", "obrien dont"},
        {"'quoted' it' s", "'quoted' it' s"},
        {"", ""},
        {" \n ", ""},
    };
    for (const FoldCase& c : cases) {
        EXPECT_EQ(normalize_search_text(c.input), c.expected) << c.input;
    }
}

TEST(NormalizeSearchText, ReplacesInvalidUtf8) {
    const FoldCase cases[] = {
        {"a\377b", "a\357\277\275b"},
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // encoded surrogate
        {"abc\xE2\x82", "abc\xEF\xBF\xBD\xEF\xBF\xBD"},            // cut short
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // above U+10FFFF
    };
    for (const FoldCase& c : cases) {
        EXPECT_EQ(normalize_search_text(c.input), c.expected);
    }
    // Replacement characters separate tokens rather than joining the bytes around them.
    EXPECT_EQ(index_tokens(normalize_search_text("ab\377cd")), (Strings{"ab", "cd"}));
}

TEST(IndexTokens, SplitsOnPunctuationSymbolsAndEmoji) {
    auto tokens = [](const char* text) { return index_tokens(normalize_search_text(text)); };
    EXPECT_EQ(tokens("Alice.Smith@Example.com wrote: don't"),
              (Strings{"alice", "smith", "example", "com", "wrote", "dont"}));
    EXPECT_EQ(tokens("re: Re: RE: budget"), (Strings{"re", "budget"}));
    EXPECT_EQ(tokens("Q3 2024-05-01"), (Strings{"q3", "2024", "05", "01"}));
    EXPECT_EQ(tokens("party\U0001F389time ★ done"), (Strings{"party", "time", "done"}));
    EXPECT_EQ(tokens("東京タワー «Москва»"), (Strings{"東京タワー", "москва"}));
    EXPECT_EQ(tokens("... --- ///"), Strings{});
}

TEST(IndexTokens, CutsVeryLongTokensAtTheLimit) {
    std::string word;
    for (int i = 0; i < 70; ++i) word += "ж";
    Strings tokens = index_tokens(word + " next");
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].size(), max_token_chars * 2);  // two bytes each
    EXPECT_EQ(tokens[1], "next");
}

TEST(IndexGrams, TrigramsOfEachTokenOnce) {
    EXPECT_EQ(index_grams("hello"), (Strings{"hel", "ell", "llo"}));
    EXPECT_EQ(index_grams("abab abab"), (Strings{"aba", "bab"}));
    EXPECT_EQ(index_grams("ab cd"), Strings{});  // no gram spans two tokens
    EXPECT_EQ(index_grams("жука"), (Strings{"жук", "ука"}));
}

}  // namespace
}  // namespace mail::search
