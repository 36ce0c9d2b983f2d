#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/text.h"
#include "qt_test_support.h"

namespace mail::ui {
namespace {

using testing_support::ink_bounds;
using testing_support::paint;

const Color kWhite{1, 1, 1, 1};
constexpr char kEllipsis[] = "\xE2\x80\xA6";

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { ensure_gui_application(); }
};

TEST_F(TextTest, LineHeightIsExactlyFiveQuartersOfTheSize) {
    for (float size : {10.5f, 11.5f, 12.5f, 13.0f, 13.5f, 18.0f, 20.0f}) {
        TextMetrics m = TextRenderer::measure("Ag", size, 3);
        EXPECT_FLOAT_EQ(m.height, 1.25f * size) << size;
        EXPECT_GT(m.ascent, 0.6f * size);
        EXPECT_LT(m.ascent, m.height);
    }
    // An empty text still occupies a line.
    EXPECT_FLOAT_EQ(TextRenderer::measure("", 13, 0).height, 16.25f);
    EXPECT_FLOAT_EQ(TextRenderer::measure("", 13, 0).width, 0);
}

TEST_F(TextTest, EachWeightHasItsOwnFace) {
    float previous = 0;
    for (int weight = 0; weight <= 3; ++weight) {
        float w = TextRenderer::measure("Mailbox settings", 13, weight).width;
        EXPECT_GT(w, previous + 0.5f) << "weight " << weight;
        previous = w;
    }
}

// The advance added by a second glyph on screen equals the measured advance, on an image at
// scale 1, at scale 2 and on one that claims a much higher resolution.
TEST_F(TextTest, MeasuredAdvanceMatchesDrawnPixels) {
    const float size = 20;
    auto right_edge = [&](const std::string& text, float scale, int dpi) {
        QImage image = paint({300, 60}, scale, [&](Painter& p) {
            TextRenderer::draw_text(p, text, {10, 10}, size, 0, kWhite);
        }, dpi);
        return ink_bounds(image, 100);
    };
    const float advance = TextRenderer::measure("HH", size, 0).width - TextRenderer::measure("H", size, 0).width;
    const float line = TextRenderer::measure("HHHH", size, 0).width;
    EXPECT_GT(advance, 10);
    struct Device {
        float scale;
        int dpi;
    };
    for (Device d : {Device{1, 0}, Device{2, 0}, Device{1, 200}, Device{1.5f, 72}}) {
        auto one = right_edge("H", d.scale, d.dpi);
        auto four = right_edge("HHHH", d.scale, d.dpi);
        ASSERT_TRUE(one.any && four.any);
        EXPECT_NEAR(four.x1 - one.x1, 3 * advance, 1.0f) << "scale " << d.scale << " dpi " << d.dpi;
        // The ink of the whole text ends within its measured width, short of it by the side bearing only.
        EXPECT_LE(four.x1, 10 + line + 0.5f);
        EXPECT_GE(four.x1, 10 + line - 0.15f * size);
        // Glyphs sit inside the line box.
        EXPECT_GE(four.y0, 10);
        EXPECT_LE(four.y1, 10 + 1.25f * size);
    }
}

TEST_F(TextTest, AlignedTextSitsAtTheBoxEdgesAndCentre) {
    const Rect box{20, 0, 220, 40};
    const float w = TextRenderer::measure("IIII", 16, 0).width;
    struct Case {
        TextAlign align;
        float expected_left;
    };
    for (Case c : {Case{TextAlign::Left, 20}, Case{TextAlign::Center, 120 - w / 2}, Case{TextAlign::Right, 220 - w}}) {
        QImage image = paint({240, 40}, 2, [&](Painter& p) {
            TextRenderer::draw_text_aligned(p, "IIII", box, c.align, 16, 0, kWhite);
        });
        auto ink = ink_bounds(image, 100);
        ASSERT_TRUE(ink.any);
        EXPECT_NEAR(ink.x0, c.expected_left, 2.5f);
        EXPECT_NEAR((ink.y0 + ink.y1) / 2, 20, 2.5f);  // vertically centred
    }
}

// The elision rule, written out step by step, as the reference for the fast implementation.
std::string reference_elide(const std::string& text, float size, int weight, float width) {
    if (width <= 1) return {};
    if (TextRenderer::measure(text, size, weight).width <= width) return text;
    std::string work = text;
    for (;;) {
        if (work.empty()) return kEllipsis;
        work.erase(text_selection::prev_char_boundary(work, work.size()));
        while (!work.empty() && (work.back() == ' ' || work.back() == '\t')) work.pop_back();
        if (work.empty()) return kEllipsis;
        std::string candidate = work + kEllipsis;
        if (TextRenderer::measure(candidate, size, 0 + weight).width <= width) return candidate;
    }
}

TEST_F(TextTest, ElisionFollowsTheDropTrimAppendRule) {
    const float hello = TextRenderer::measure("Hello\xE2\x80\xA6", 13, 0).width;
    struct Case {
        std::string text;
        float width;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Hello", 1, ""},
        {"Hello", 0.5f, ""},
        {"Hello", -4, ""},
        {"", 100, ""},
        {"Hello", 1000, "Hello"},
        {"Hello world", hello + 0.25f, "Hello\xE2\x80\xA6"},  // the space before the cut is trimmed
        {"Hello world", 2, kEllipsis},                        // nothing fits: the ellipsis alone
        {"      ", 3, kEllipsis},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TextRenderer::elide_to_width(c.text, 13, 0, c.width), c.expected) << c.text << " @ " << c.width;
    }
}

TEST_F(TextTest, ElisionMatchesTheReferenceAtEveryWidth) {
    const std::vector<std::string> texts = {
        "Quarterly planning notes and the agenda for Thursday",
        "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln, \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80 und mehr",
        "a    b    c    d    e    f",
        "WWWWWWWWWWiiiiiiiiiiWWWWWWWWWW",
    };
    for (const auto& text : texts) {
        for (int weight : {0, 3}) {
            for (float width = 0; width < 340; width += 6.5f) {
                std::string got = TextRenderer::elide_to_width(text, 12.5f, weight, width);
                EXPECT_EQ(got, reference_elide(text, 12.5f, weight, width)) << text << " @ " << width;
                if (got.size() > 3) EXPECT_LE(TextRenderer::measure(got, 12.5f, weight).width, width);
            }
        }
    }
}

TEST_F(TextTest, WrappedTextBreaksAtWordsAndAtLineFeeds) {
    const std::string text = "The quick brown fox jumps over the lazy dog and keeps on running";
    TextMetrics m = TextRenderer::measure_wrapped(text, 13, 0, 100);
    const int lines = static_cast<int>(std::lround(m.height / 16.25f));
    EXPECT_GE(lines, 4);
    EXPECT_FLOAT_EQ(m.height, lines * 16.25f);
    EXPECT_LE(m.width, 100);

    EXPECT_FLOAT_EQ(TextRenderer::measure_wrapped("one\ntwo\n\nthree", 13, 0, 0).height, 4 * 16.25f);
    EXPECT_FLOAT_EQ(TextRenderer::measure_wrapped("one\ntwo\n\nthree", 13, 0, 500).height, 4 * 16.25f);
    // A single line feed in one-line measuring is a space, not a break.
    EXPECT_FLOAT_EQ(TextRenderer::measure("one\ntwo", 13, 0).height, 16.25f);

    // What is drawn stays inside the wrap width and the measured height.
    QImage image = paint({140, 160}, 2, [&](Painter& p) {
        TextMetrics drawn = TextRenderer::draw_wrapped(p, text, {10, 10}, 13, 0, kWhite, 100);
        EXPECT_EQ(drawn.height, m.height);
    });
    auto ink = ink_bounds(image, 60);
    EXPECT_LE(ink.x1, 110.5f);
    EXPECT_LE(ink.y1, 10 + m.height);
    EXPECT_GT(ink.y1, 10 + m.height - 16.25f);
}

StyledText plain(std::string text, float size = 13) {
    StyledText t;
    t.text = std::move(text);
    t.size_pt = size;
    t.color = kWhite;
    return t;
}

std::vector<std::size_t> boundaries(const std::string& s) {
    std::vector<std::size_t> out{0};
    for (std::size_t i = 0; i < s.size();) out.push_back(i = text_selection::next_char_boundary(s, i));
    return out;
}

TEST_F(TextTest, CaretAndHitRoundTripOverMultiByteWrappedText) {
    const std::string text =
        "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln \xE2\x82\xAC 42, \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E und "
        "\xF0\x9F\x98\x80 ein recht langer Satz zum Umbrechen";
    RichTextLayout layout = RichTextLayout::shape_styled(plain(text), 110);
    ASSERT_GE(layout.line_count(), 3u);
    EXPECT_FLOAT_EQ(layout.height(), layout.line_count() * 16.25f);
    float last_y = -1, last_x = -1;
    for (std::size_t offset : boundaries(text)) {
        Rect caret = layout.caret_geometry(offset);
        EXPECT_FLOAT_EQ(caret.height(), 16.25f);
        if (caret.y0 == last_y) EXPECT_GE(caret.x0, last_x) << offset;  // left to right within a line
        last_y = caret.y0;
        last_x = caret.x0;
        EXPECT_EQ(layout.hit({caret.x0, (caret.y0 + caret.y1) / 2}), offset) << "offset " << offset;
    }
    // Every hit lands on a character boundary.
    const auto all = boundaries(text);
    for (float y = -5; y < layout.height() + 10; y += 4) {
        for (float x = -5; x < 130; x += 3) {
            std::size_t h = layout.hit({x, y});
            EXPECT_TRUE(std::find(all.begin(), all.end(), h) != all.end()) << x << "," << y;
        }
    }
    // Above the first line is the first line; below the last is the last.
    EXPECT_EQ(layout.hit({-10, -50}), 0u);
    EXPECT_EQ(layout.hit({1000, 1000}), text.size());
}

TEST_F(TextTest, HitPicksTheNearestBoundaryOnALongLine) {
    std::string text;
    for (int i = 0; i < 12; ++i) text += "Wi\xC3\xA9ld \xE2\x82\xAC" "1 mmm\xE6\x97\xA5 ";
    RichTextLayout layout = RichTextLayout::shape_styled(plain(text), 0);
    ASSERT_EQ(layout.line_count(), 1u);
    const auto all = boundaries(text);
    for (float x = -3; x < layout.width() + 5; x += 1.7f) {
        std::size_t nearest = 0;
        float best = 1e9f;
        for (std::size_t b : all) {
            float d = std::abs(layout.caret_geometry(b).x0 - x);
            if (d < best) best = d, nearest = b;
        }
        std::size_t got = layout.hit({x, 8});
        EXPECT_NEAR(std::abs(layout.caret_geometry(got).x0 - x), best, 1e-3f) << "x " << x << " got " << got
                                                                                 << " nearest " << nearest;
    }
}

TEST_F(TextTest, HitPastTheEndOfALineEndingInASpace) {
    RichTextLayout single = RichTextLayout::shape_styled(plain("hello "), 0);
    EXPECT_EQ(single.hit({500, 8}), 6u);
    EXPECT_GT(single.caret_geometry(6).x0, single.caret_geometry(5).x0);

    RichTextLayout lines = RichTextLayout::shape_styled(plain("ab \ncd"), 0);
    ASSERT_EQ(lines.line_count(), 2u);
    EXPECT_EQ(lines.hit({500, 8}), 3u);  // after the space, before the line feed
    EXPECT_EQ(lines.hit({500, 24}), 6u);
    EXPECT_EQ(lines.caret_geometry(3).y0, 0);
    EXPECT_EQ(lines.caret_geometry(4).y0, 16.25f);

    // A soft wrap at a space: past the end of the first line is before that space.
    const float word = TextRenderer::measure("aaaa bbbb", 13, 0).width;
    RichTextLayout wrapped = RichTextLayout::shape_styled(plain("aaaa bbbb"), word - 4);
    ASSERT_EQ(wrapped.line_count(), 2u);
    EXPECT_EQ(wrapped.hit({500, 8}), 4u);
    EXPECT_EQ(wrapped.caret_geometry(4).y0, 0);
    EXPECT_EQ(wrapped.caret_geometry(5).y0, 16.25f);
    EXPECT_EQ(wrapped.hit({0, 24}), 5u);
}

TEST_F(TextTest, SelectionGivesOneRectPerLinePiece) {
    const std::string text = "alpha beta gamma delta epsilon zeta eta theta iota kappa";
    RichTextLayout layout = RichTextLayout::shape_styled(plain(text), 90);
    ASSERT_GE(layout.line_count(), 3u);
    const std::size_t start = 2, end = text.size() - 3;
    auto rects = layout.selection_rects(start, end);
    ASSERT_EQ(rects.size(), layout.line_count());
    EXPECT_FLOAT_EQ(rects.front().x0, layout.caret_geometry(start).x0);
    EXPECT_FLOAT_EQ(rects.back().x1, layout.caret_geometry(end).x0);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        EXPECT_FLOAT_EQ(rects[i].y0, i * 16.25f);
        EXPECT_FLOAT_EQ(rects[i].y1, (i + 1) * 16.25f);
        if (i > 0) EXPECT_FLOAT_EQ(rects[i].x0, 0);
        EXPECT_GT(rects[i].width(), 0);
    }
    EXPECT_EQ(layout.selection_rects(end, start).size(), rects.size());
    EXPECT_TRUE(layout.selection_rects(7, 7).empty());

    // A selected line break shows on its line, even when the line is empty.
    RichTextLayout blank = RichTextLayout::shape_styled(plain("ab\n\ncd"), 0);
    auto across = blank.selection_rects(1, 5);
    ASSERT_EQ(across.size(), 3u);
    EXPECT_FLOAT_EQ(across[1].x0, 0);
    EXPECT_GT(across[1].width(), 0);
}

TEST_F(TextTest, StyledRunsChangeWidthsAndLineHeights) {
    const float regular = RichTextLayout::shape_styled(plain("Hello world"), 0).width();
    StyledText bold = plain("Hello world");
    bold.runs.push_back({0, 5, TextSpanStyle{.weight = 3}});
    EXPECT_GT(RichTextLayout::shape_styled(bold, 0).width(), regular + 1);

    StyledText big = plain("Title and text");
    big.runs.push_back({0, 5, TextSpanStyle{.size_pt = 20.0f}});
    EXPECT_FLOAT_EQ(RichTextLayout::shape_styled(big, 0).height(), 25);

    StyledText mono = plain("iiii");
    mono.runs.push_back({0, 4, TextSpanStyle{.monospace = true}});
    EXPECT_GT(RichTextLayout::shape_styled(mono, 0).width(), RichTextLayout::shape_styled(plain("iiii"), 0).width() + 4);

    // Runs whose ends fall inside a character, overlap or run past the text are tolerated.
    StyledText odd = plain("caf\xC3\xA9 au lait");
    odd.runs.push_back({4, 9, TextSpanStyle{.italic = true, .underline = true}});
    odd.runs.push_back({6, 40, TextSpanStyle{.strikethrough = true, .background = Color{1, 0, 0, 1}}});
    RichTextLayout layout = RichTextLayout::shape_styled(odd, 0);
    EXPECT_EQ(layout.line_count(), 1u);
    EXPECT_EQ(layout.text(), odd.text);
}

TEST_F(TextTest, RichTextDrawsItsRunColours) {
    StyledText text = plain("RED and BLUE");
    text.size_pt = 20;
    text.runs.push_back({0, 3, TextSpanStyle{.color = Color{1, 0, 0, 1}}});
    text.runs.push_back({8, 12, TextSpanStyle{.color = Color{0, 0, 1, 1}}});
    int red = 0, blue = 0, white = 0;
    QImage image = paint({220, 40}, 1, [&](Painter& p) {
        TextMetrics m = TextRenderer::draw_rich(p, text, {4, 4});
        EXPECT_FLOAT_EQ(m.height, 25);
    });
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() < 200) continue;
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++red;
            if (c.blue() > 200 && c.red() < 60 && c.green() < 60) ++blue;
            if (c.red() > 200 && c.green() > 200 && c.blue() > 200) ++white;
        }
    }
    EXPECT_GT(red, 20);
    EXPECT_GT(blue, 20);
    EXPECT_GT(white, 20);
}

TEST_F(TextTest, EmojiComeFromTheColourFontWithoutWideningTheRest) {
    const std::string clip = "\xF0\x9F\x93\x8E";  // 📎
    int coloured = 0;
    QImage image = paint({120, 40}, 1, [&](Painter& p) {
        TextRenderer::draw_text(p, clip + " Attach", {4, 4}, 20, 0, kWhite);
    });
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() > 200 && std::abs(c.red() - c.blue()) > 60) ++coloured;
        }
    }
    EXPECT_GT(coloured, 10);
    const float rest = TextRenderer::measure(" 12", 13, 0).width;
    EXPECT_NEAR(TextRenderer::measure(clip + " 12", 13, 0).width - TextRenderer::measure(clip, 13, 0).width, rest, 0.5f);
    // Symbols that are text by default (★, ✉) stay in the text font, in the pen's colour.
    QImage star = paint({40, 40}, 1, [&](Painter& p) {
        TextRenderer::draw_text(p, "\xE2\x98\x85", {4, 4}, 20, 0, kWhite);
    });
    auto ink = ink_bounds(star);
    ASSERT_TRUE(ink.any);
    QColor centre = testing_support::pixel_at(star, (ink.x0 + ink.x1) / 2, (ink.y0 + ink.y1) / 2);
    EXPECT_EQ(centre.red(), centre.blue());
}

}  // namespace
}  // namespace mail::ui
