#pragma once
// Surfaces every widget draws on: cards, pills, hairline separators, soft shadows and the thin
// outline that lifts a dark panel off a dark window.
#include <optional>

#include "platform/ui/geometry.h"

namespace mail::ui {

class Painter;
struct Theme;

struct Border {
    Color color;
    float width = 1;
};

namespace surface {

// A rounded rectangle; the border, when given, is drawn inside the rectangle.
void card(Painter& painter, Rect rect, float radius, Color fill, std::optional<Border> border = std::nullopt);

// A fully rounded capsule (radius half the height), or one with the radius given.
void pill(Painter& painter, Rect rect, Color fill);
void pill(Painter& painter, Rect rect, float radius, Color fill);

// A one-unit hairline from x0 to x1 whose top edge is at y; `vertical_separator` likewise.
void separator(Painter& painter, float x0, float x1, float y, Color color);
void vertical_separator(Painter& painter, float x, float y0, float y1, Color color);

// The soft shadow under a raised surface; `elevation` 1 for menus and toasts, 2 for dialogs.
void shadow(Painter& painter, Rect rect, float radius, float elevation = 1);

// A faint light rim just inside the rectangle with a dark ring just outside it, so a raised
// surface reads as an object above the window even where the shadow is lost on black.
void edge_outline(Painter& painter, Rect rect, float radius);

}  // namespace surface

// The colour of the lines between the shell's panes and around floating panels.
Color panel_border(const Theme& theme);

}  // namespace mail::ui
