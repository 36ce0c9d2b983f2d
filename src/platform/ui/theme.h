#pragma once
// The dark theme: colour roles by use, spacing and type styles.
#include "platform/ui/geometry.h"

namespace mail::ui {

struct Colors {
    Color background;          // the window behind everything
    Color sidebar_background;
    Color list_background;
    Color reader_background;
    Color surface;             // cards, sheets, dialogs
    Color surface_raised;      // menus and popovers above a surface
    Color primary_text;
    Color secondary_text;
    Color muted_text;
    Color muted_icon;
    Color body_text;
    Color accent;
    Color accent_hover;
    Color on_accent;           // text and icons on the accent
    Color danger;
    Color danger_hover;
    Color star;
    Color success;
    Color warning;
    Color selected_surface;
    Color hover_surface;
    Color neutral_badge;
    Color separator;
    Color focus_ring;
    Color backdrop;            // the dimming behind a modal
    Color white;               // pure white
    Color avatar_palette[6];   // accent first, star fourth

    // The hover lift over `base`: `amount` 0.35 at rest, 0.72 under the pointer.
    static Color lift(Color base, float amount);
    // A hairline that stays visible on `background`.
    static Color hairline_on(Color background);
};

struct Spacing {
    float padding = 12;
    float gap = 4;
    float control_padding = 6;
};

struct TextStyle {
    float size_pt = 13;
    int weight = 0;
    Color color;
    bool monospace = false;  // draw through a StyledText run with `monospace` set
};

enum class TypeRole { Display, Title, Headline, Body, BodyStrong, Label, Caption, Mono };

struct Theme {
    Colors colors;
    Spacing spacing;
    float corner_radius = 8;

    static Theme dark();
};

struct Typography {
    static TextStyle style(const Theme& theme, TypeRole role);
};

}  // namespace mail::ui
