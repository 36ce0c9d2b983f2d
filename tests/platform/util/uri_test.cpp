#include "platform/util/uri.h"

#include <gtest/gtest.h>

namespace {

using mail::uri::QueryPairs;

TEST(ParseFormQuery, DecodesPairsInOrder) {
    struct Case {
        const char* name;
        const char* query;
        QueryPairs expected;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"only question mark", "?", {}},
        {"leading question mark", "?code=abc&state=xyz", {{"code", "abc"}, {"state", "xyz"}}},
        {"plus and escapes", "q=two+words%21&e=%e2%9c%93", {{"q", "two words!"}, {"e", "\xE2\x9C\x93"}}},
        {"encoded plus stays plus", "a=1%2B1", {{"a", "1+1"}}},
        {"empty segments skipped", "&&a=1&&&b=2&", {{"a", "1"}, {"b", "2"}}},
        {"name without value", "flag&x=", {{"flag", ""}, {"x", ""}}},
        {"only first equals splits", "k=a=b", {{"k", "a=b"}}},
        {"duplicates kept", "s=1&s=2", {{"s", "1"}, {"s", "2"}}},
        {"invalid escapes literal", "a=%zz&b=%4&c=100%", {{"a", "%zz"}, {"b", "%4"}, {"c", "100%"}}},
        {"escaped separators", "a%26b=c%3Dd", {{"a&b", "c=d"}}},
        {"escaped NUL byte kept", "n=a%00b", {{"n", std::string("a\0b", 3)}}},
    };
    for (const Case& c : cases) EXPECT_EQ(mail::uri::parse_form_query(c.query), c.expected) << c.name;
}

TEST(PercentEncode, KeepsUnreservedAndEscapesTheRest) {
    EXPECT_EQ(mail::uri::percent_encode("AZaz09-._~"), "AZaz09-._~");
    EXPECT_EQ(mail::uri::percent_encode("a b&c=d/e?+"), "a%20b%26c%3Dd%2Fe%3F%2B");
    EXPECT_EQ(mail::uri::percent_encode("\xE2\x9C\x93"), "%E2%9C%93");
    EXPECT_EQ(mail::uri::percent_encode(std::string("\0", 1)), "%00");
}

TEST(PercentEncode, FormQueryRoundTrips) {
    const QueryPairs pairs = {{"redirect_uri", "http://127.0.0.1:4321/oauth"},
                              {"scope", "a b+c"},
                              {"login_hint", "anna@example.org"},
                              {"empty", ""}};
    const std::string encoded = mail::uri::encode_form_query(pairs);
    EXPECT_EQ(encoded,
              "redirect_uri=http%3A%2F%2F127.0.0.1%3A4321%2Foauth&scope=a%20b%2Bc&"
              "login_hint=anna%40example.org&empty=");
    EXPECT_EQ(mail::uri::parse_form_query(encoded), pairs);
}

}  // namespace
