#include <gtest/gtest.h>

#include "platform/ui/clipboard.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

float brightness(Color c) { return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b; }

TEST(Theme, PaletteLiftAndHairlines) {
    const Theme t = Theme::dark();
    EXPECT_EQ(t.colors.avatar_palette[0], t.colors.accent);
    EXPECT_EQ(t.colors.avatar_palette[3], t.colors.star);
    EXPECT_EQ(t.colors.white, (Color{1, 1, 1, 1}));
    EXPECT_EQ(t.spacing.padding, 12);
    EXPECT_EQ(t.spacing.gap, 4);
    EXPECT_EQ(t.spacing.control_padding, 6);

    for (Color base : {t.colors.list_background, t.colors.sidebar_background, t.colors.surface}) {
        Color rest = Colors::lift(base, 0.35f);
        Color hover = Colors::lift(base, 0.72f);
        EXPECT_GT(brightness(rest), brightness(base));
        EXPECT_GT(brightness(hover), brightness(rest) + 0.01f);
        EXPECT_EQ(rest.a, base.a);
        Color hairline = Colors::hairline_on(base);
        EXPECT_GT(std::abs(brightness(hairline) - brightness(base)), 0.05f);
    }
    Color light{0.95f, 0.95f, 0.95f, 1};
    EXPECT_LT(brightness(Colors::hairline_on(light)), brightness(light) - 0.05f);

    // Text roles keep to the theme's text colours and rise in size from caption to display.
    EXPECT_LT(Typography::style(t, TypeRole::Caption).size_pt, Typography::style(t, TypeRole::Body).size_pt);
    EXPECT_LT(Typography::style(t, TypeRole::Title).size_pt, Typography::style(t, TypeRole::Display).size_pt);
    EXPECT_TRUE(Typography::style(t, TypeRole::Mono).monospace);
}

TEST(Clipboard, TextRoundTripsWithAndWithoutTheApplication) {
    // First without an application object: the text stays inside the process.
    set_clipboard_text("before the application \xE2\x9C\x89");
    EXPECT_EQ(clipboard_text(), "before the application \xE2\x9C\x89");
    ensure_gui_application();
    set_clipboard_text("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80");
    EXPECT_EQ(clipboard_text(), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80");
    set_clipboard_text("");
    EXPECT_EQ(clipboard_text(), "");
}

}  // namespace
}  // namespace mail::ui
