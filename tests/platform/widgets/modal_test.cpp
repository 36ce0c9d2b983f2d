#include "platform/ui/modal.h"

#include <gtest/gtest.h>

namespace mail::ui {
namespace {

TEST(ModalFrame, CentresThePreferredSizeAndShrinksToTheWindow) {
    struct Case {
        Rect window;
        Size preferred;
        Rect frame;
    };
    const Case cases[] = {
        {{0, 0, 1280, 800}, {700, 500}, {290, 150, 990, 650}},
        {{0, 0, 400, 300}, {700, 500}, {24, 24, 376, 276}},
        {{100, 50, 500, 350}, {200, 100}, {200, 150, 400, 250}},
        {{0, 0, 30, 30}, {700, 500}, {15, 15, 15, 15}},
    };
    for (const auto& c : cases) {
        ModalLayout layout = ModalFrame::layout(c.window, c.preferred);
        EXPECT_EQ(layout.frame, c.frame);
        EXPECT_EQ(layout.window, c.window);
        EXPECT_GE(layout.content.x0, layout.frame.x0);
        EXPECT_LE(layout.content.x1, layout.frame.x1);
    }
    ModalLayout layout = ModalFrame::layout({0, 0, 1280, 800}, {700, 500});
    EXPECT_EQ(layout.content, (Rect{314, 174, 966, 626}));
}

TEST(ModalFrame, OnlyAPressOutsideTheFrameDismisses) {
    ModalLayout layout = ModalFrame::layout({0, 0, 1280, 800}, {700, 500});
    EXPECT_TRUE(layout.dismisses({10, 10}));
    EXPECT_TRUE(layout.dismisses({289.5f, 400}));
    EXPECT_TRUE(layout.dismisses({990, 400}));  // the right edge is outside
    EXPECT_FALSE(layout.dismisses({290, 150}));
    EXPECT_FALSE(layout.dismisses({640, 400}));
    EXPECT_FALSE(layout.dismisses({989.5f, 649.5f}));
}

}  // namespace
}  // namespace mail::ui
