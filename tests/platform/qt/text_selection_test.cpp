#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/text.h"

namespace mail::ui {
namespace {

using text_selection::next_char_boundary;
using text_selection::next_word_boundary;
using text_selection::prev_char_boundary;
using text_selection::prev_word_boundary;

std::vector<std::size_t> walk_forward(std::string_view s) {
    std::vector<std::size_t> out{0};
    for (std::size_t i = 0; i < s.size();) out.push_back(i = next_char_boundary(s, i));
    return out;
}

std::vector<std::size_t> walk_backward(std::string_view s) {
    std::vector<std::size_t> out{s.size()};
    for (std::size_t i = s.size(); i > 0;) out.insert(out.begin(), i = prev_char_boundary(s, i));
    return out;
}

TEST(CharBoundaries, ForwardAndBackwardAgreeOnEveryKindOfSequence) {
    struct Case {
        std::string text;
        std::vector<std::size_t> boundaries;
    };
    const std::vector<Case> cases = {
        {"", {0}},
        {"ab", {0, 1, 2}},
        {"a\xC3\xA9z", {0, 1, 3, 4}},                       // é
        {"\xE2\x82\xAC!", {0, 3, 4}},                       // €
        {"\xF0\x9F\x98\x80x", {0, 4, 5}},                   // 😀
        {"\xE6\x97\xA5\xE6\x9C\xAC", {0, 3, 6}},            // 日本
        {"a\x80z", {0, 1, 2, 3}},                           // stray continuation byte
        {"\xE2\x82", {0, 1, 2}},                            // truncated sequence
        {"\xC3\xA9\xA9", {0, 2, 3}},                        // é followed by a stray byte
        {"\xC0\xAF", {0, 1, 2}},                            // overlong form
        {"\xED\xA0\x80", {0, 1, 2, 3}},                     // encoded surrogate
        {"\xF4\x90\x80\x80", {0, 1, 2, 3, 4}},              // beyond U+10FFFF
        {"\xFF" "a", {0, 1, 2}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(walk_forward(c.text), c.boundaries) << testing::PrintToString(c.text);
        EXPECT_EQ(walk_backward(c.text), c.boundaries) << testing::PrintToString(c.text);
    }
}

TEST(CharBoundaries, OffsetsInsideACharacterOrPastTheEndMoveToABoundary) {
    const std::string euro = "x\xE2\x82\xAC";  // x€
    EXPECT_EQ(next_char_boundary(euro, 2), 4u);
    EXPECT_EQ(next_char_boundary(euro, 3), 4u);
    EXPECT_EQ(prev_char_boundary(euro, 3), 1u);
    EXPECT_EQ(prev_char_boundary(euro, 2), 1u);
    EXPECT_EQ(next_char_boundary(euro, 4), 4u);
    EXPECT_EQ(next_char_boundary(euro, 99), 4u);
    EXPECT_EQ(prev_char_boundary(euro, 99), 1u);
    EXPECT_EQ(prev_char_boundary(euro, 0), 0u);
}

TEST(WordBoundaries, JumpOverWordsAndTheGapsBeforeThem) {
    const std::string text = "Hello, w\xC3\xB6rld  foo_bar 42";  // Hello, wörld  foo_bar 42
    struct Case {
        std::size_t from, next, prev;
    };
    const std::vector<Case> cases = {
        {0, 5, 0},     // start: to the end of "Hello"
        {5, 13, 0},    // after "Hello": over ", " and "wörld"
        {3, 5, 0},     // inside a word
        {8, 13, 7},    // inside "wörld", after "w"
        {13, 22, 7},   // after "wörld": over the gap and "foo_bar"
        {15, 22, 7},   // at the start of "foo_bar", previous word starts at "wörld"
        {22, 25, 15},  // after "foo_bar"
        {25, 25, 23},  // at the end
    };
    for (const auto& c : cases) {
        EXPECT_EQ(next_word_boundary(text, c.from), c.next) << "from " << c.from;
        EXPECT_EQ(prev_word_boundary(text, c.from), c.prev) << "from " << c.from;
    }
    EXPECT_EQ(next_word_boundary("", 0), 0u);
    EXPECT_EQ(prev_word_boundary("", 0), 0u);
    EXPECT_EQ(next_word_boundary("  \xE2\x80\x94  ", 0), 7u);  // only punctuation: to the end
}

}  // namespace
}  // namespace mail::ui
