#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/ui/icons.h"
#include "qt_test_support.h"

namespace mail::ui {
namespace {

using testing_support::ink_bounds;
using testing_support::paint;
using testing_support::pixel_at;

const Color kWhite{1, 1, 1, 1};

class IconsTest : public ::testing::Test {
protected:
    void SetUp() override { ensure_gui_application(); }
};

TEST_F(IconsTest, TheListHoldsEveryIconOnceWithADistinctName) {
    std::set<int> values;
    std::set<std::string> names;
    for (IconName icon : all_icons()) {
        values.insert(static_cast<int>(icon));
        std::string name = icon_name(icon);
        EXPECT_NE(name, "unknown");
        EXPECT_TRUE(names.insert(name).second) << name;
    }
    EXPECT_EQ(values.size(), all_icons().size());
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), static_cast<int>(all_icons().size()) - 1);  // no gaps: nothing left out
}

// Every icon, in both forms and at the sizes the program uses, puts ink well inside its square
// and in the colour asked for.
TEST_F(IconsTest, EveryIconDrawsInsideItsSquare) {
    for (float size : {14.0f, 16.0f, 18.0f, 52.0f}) {
        for (IconName icon : all_icons()) {
            for (bool filled : {false, true}) {
                const Rect square = Rect::from_xywh(10, 10, size, size);
                QImage image = paint({size + 20, size + 20}, 2, [&](Painter& p) {
                    if (filled) {
                        Icon::draw_filled(p, icon, square, kWhite);
                    } else {
                        Icon::draw(p, icon, square, kWhite);
                    }
                });
                auto ink = ink_bounds(image, 8);
                const std::string what = std::string(icon_name(icon)) + (filled ? " filled @" : " @") + std::to_string(size);
                ASSERT_TRUE(ink.any) << what;
                EXPECT_GE(ink.x0, square.x0) << what;
                EXPECT_GE(ink.y0, square.y0) << what;
                EXPECT_LE(ink.x1, square.x1) << what;
                EXPECT_LE(ink.y1, square.y1) << what;
                // Not a dot in a corner: the drawing spans a good part of the square.
                EXPECT_GE(std::max(ink.x1 - ink.x0, ink.y1 - ink.y0), size * 0.45f) << what;
            }
        }
    }
}

TEST_F(IconsTest, IconsCentreInWideRectanglesAndTakeTheirColour) {
    const Color star{0.96f, 0.73f, 0.24f, 1};
    QImage image = paint({100, 20}, 2, [&](Painter& p) {
        Icon::draw_filled(p, IconName::Star, {0, 0, 100, 20}, star);
    });
    auto ink = ink_bounds(image);
    EXPECT_NEAR((ink.x0 + ink.x1) / 2, 50, 0.75f);
    EXPECT_LE(ink.x1 - ink.x0, 20);
    QColor centre = pixel_at(image, 50, 11);
    EXPECT_EQ(centre.rgb(), QColor::fromRgbF(star.r, star.g, star.b).rgb());
}

TEST_F(IconsTest, FilledFormsFillAndCutTheirMarksOut) {
    const Rect square{0, 0, 48, 48};
    auto draw = [&](IconName icon, bool filled) {
        return paint({48, 48}, 1, [&](Painter& p) {
            if (filled) {
                Icon::draw_filled(p, icon, square, kWhite);
            } else {
                Icon::draw(p, icon, square, kWhite);
            }
        });
    };
    // A star is hollow in outline and solid when filled.
    EXPECT_EQ(pixel_at(draw(IconName::Star, false), 24, 26).alpha(), 0);
    EXPECT_EQ(pixel_at(draw(IconName::Star, true), 24, 26).alpha(), 255);
    // The clear mark: a solid disc with its cross cut out.
    QImage clear = draw(IconName::Clear, true);
    EXPECT_EQ(pixel_at(clear, 24, 24).alpha(), 0);
    EXPECT_EQ(pixel_at(clear, 24, 12).alpha(), 255);
    // The information mark: the stem is a hole in the disc.
    QImage info = draw(IconName::Info, true);
    EXPECT_EQ(pixel_at(info, 24, 28).alpha(), 0);
    EXPECT_EQ(pixel_at(info, 14, 24).alpha(), 255);
    // Icons without a solid form draw their outline.
    QImage a = draw(IconName::Trash, true), b = draw(IconName::Trash, false);
    EXPECT_EQ(a, b);
    EXPECT_FALSE(Icon::has_filled_form(IconName::Trash));
    EXPECT_TRUE(Icon::has_filled_form(IconName::Star));
}

TEST_F(IconsTest, NothingIsDrawnForAnEmptySquareOrAClearColour) {
    QImage image = paint({40, 40}, 1, [&](Painter& p) {
        Icon::draw(p, IconName::Inbox, {10, 10, 10, 30}, kWhite);
        Icon::draw(p, IconName::Inbox, {0, 0, 40, 40}, Color{1, 1, 1, 0});
    });
    EXPECT_FALSE(ink_bounds(image, 0).any);
}

}  // namespace
}  // namespace mail::ui
