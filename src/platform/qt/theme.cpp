// The dark theme: deep neutral greys with a slight cool tint, one blue accent.
#include <algorithm>

#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

Color mix(Color a, Color b, float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a};
}

float luminance(Color c) { return 0.2126f * c.r + 0.7152f * c.g + 0.0722f * c.b; }

}  // namespace

Color Colors::lift(Color base, float amount) {
    // A cool near-white keeps lifted greys in the theme's tint instead of washing them out.
    constexpr Color towards = Color::rgb(226, 234, 248);
    return mix(base, towards, std::clamp(amount, 0.0f, 1.0f) * 0.12f);
}

Color Colors::hairline_on(Color background) {
    Color opaque = background.with_alpha(1);
    if (luminance(opaque) < 0.5f) return mix(opaque, Color::rgb(236, 241, 250), 0.13f);
    return mix(opaque, Color::rgb(12, 16, 24), 0.14f);
}

Theme Theme::dark() {
    Theme t;
    Colors& c = t.colors;
    c.background = Color::rgb(13, 15, 19);
    c.sidebar_background = Color::rgb(18, 20, 25);
    c.list_background = Color::rgb(22, 25, 31);
    c.reader_background = Color::rgb(26, 29, 36);
    c.surface = Color::rgb(32, 36, 44);
    c.surface_raised = Color::rgb(40, 45, 55);
    c.primary_text = Color::rgb(236, 239, 244);
    c.secondary_text = Color::rgb(152, 161, 176);
    c.muted_text = Color::rgb(126, 135, 150);
    c.muted_icon = Color::rgb(106, 115, 130);
    c.body_text = Color::rgb(214, 219, 228);
    c.accent = Color::rgb(77, 142, 247);
    c.accent_hover = Color::rgb(106, 162, 250);
    c.on_accent = Color::rgb(255, 255, 255);
    c.danger = Color::rgb(238, 84, 92);
    c.danger_hover = Color::rgb(244, 110, 117);
    c.star = Color::rgb(246, 186, 62);
    c.success = Color::rgb(61, 190, 122);
    c.warning = Color::rgb(240, 146, 58);
    c.selected_surface = Color::rgb(35, 47, 69);
    c.hover_surface = Color::rgb(37, 41, 50);
    c.neutral_badge = Color::rgb(60, 66, 78);
    c.separator = Color::rgb(42, 47, 56);
    c.focus_ring = Color::rgb(96, 156, 255);
    c.backdrop = Color::rgba(4, 6, 10, 0.62f);
    c.white = Color::rgb(255, 255, 255);
    c.avatar_palette[0] = c.accent;
    c.avatar_palette[1] = Color::rgb(38, 166, 110);
    c.avatar_palette[2] = Color::rgb(232, 112, 64);
    c.avatar_palette[3] = c.star;
    c.avatar_palette[4] = Color::rgb(224, 76, 120);
    c.avatar_palette[5] = Color::rgb(132, 104, 240);
    t.spacing = Spacing{12, 4, 6};
    t.corner_radius = 8;
    return t;
}

TextStyle Typography::style(const Theme& theme, TypeRole role) {
    const Colors& c = theme.colors;
    switch (role) {
    case TypeRole::Display: return {26, 3, c.primary_text};
    case TypeRole::Title: return {20, 3, c.primary_text};
    case TypeRole::Headline: return {16, 2, c.primary_text};
    case TypeRole::Body: return {13, 0, c.body_text};
    case TypeRole::BodyStrong: return {13, 2, c.primary_text};
    case TypeRole::Label: return {12, 1, c.primary_text};
    case TypeRole::Caption: return {11, 0, c.secondary_text};
    case TypeRole::Mono: return {12.5f, 0, c.body_text, true};
    }
    return {13, 0, c.body_text};
}

}  // namespace mail::ui
