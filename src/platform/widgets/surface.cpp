#include "platform/ui/surface.h"

#include <algorithm>

#include "platform/ui/painter.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace surface {
namespace {

float clamp_radius(Rect rect, float radius) {
    return std::clamp(radius, 0.0f, std::min(rect.width(), rect.height()) / 2);
}

}  // namespace

void card(Painter& painter, Rect rect, float radius, Color fill, std::optional<Border> border) {
    if (rect.is_empty()) return;
    radius = clamp_radius(rect, radius);
    if (fill.a > 0) painter.fill_rounded_rect(rect, radius, fill);
    if (border && border->width > 0 && border->color.a > 0) {
        // Stroke on the centre line of a rectangle inset by half the width, so the border stays
        // inside and lines up with the fill's edge.
        const float half = border->width / 2;
        Rect inner = rect.inset(half);
        if (!inner.is_empty()) {
            painter.stroke_rounded_rect(inner, std::max(0.0f, radius - half), border->color, border->width);
        }
    }
}

void pill(Painter& painter, Rect rect, Color fill) {
    if (rect.is_empty() || fill.a <= 0) return;
    painter.fill_rounded_rect(rect, std::min(rect.width(), rect.height()) / 2, fill);
}

void pill(Painter& painter, Rect rect, float radius, Color fill) {
    if (rect.is_empty() || fill.a <= 0) return;
    painter.fill_rounded_rect(rect, clamp_radius(rect, radius), fill);
}

void separator(Painter& painter, float x0, float x1, float y, Color color) {
    if (x1 <= x0) return;
    painter.fill_rect({x0, y, x1, y + 1}, color);
}

void vertical_separator(Painter& painter, float x, float y0, float y1, Color color) {
    if (y1 <= y0) return;
    painter.fill_rect({x, y0, x + 1, y1}, color);
}

void shadow(Painter& painter, Rect rect, float radius, float elevation) {
    if (rect.is_empty() || elevation <= 0) return;
    radius = clamp_radius(rect, radius);
    // A tight contact shadow under a wide ambient one reads as real depth on dark grounds.
    painter.draw_shadow(rect, radius, 3 * elevation, {0, 1 * elevation}, Color::rgba(0, 0, 0, 0.30f));
    painter.draw_shadow(rect, radius, 14 * elevation, {0, 6 * elevation}, Color::rgba(0, 0, 0, 0.38f));
}

void edge_outline(Painter& painter, Rect rect, float radius) {
    if (rect.is_empty()) return;
    radius = clamp_radius(rect, radius);
    painter.stroke_rounded_rect(rect.inset(-0.5f), radius + 0.5f, Color::rgba(0, 0, 0, 0.45f), 1);
    painter.stroke_rounded_rect(rect.inset(0.5f), std::max(0.0f, radius - 0.5f), Color::rgba(255, 255, 255, 0.07f), 1);
}

}  // namespace surface

Color panel_border(const Theme& theme) { return Colors::hairline_on(theme.colors.background).with_alpha(1); }

}  // namespace mail::ui
