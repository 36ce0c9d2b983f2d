#include "platform/ui/controls.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/avatar.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/text.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

Color mix(Color a, Color b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Color darken(Color c, float t) { return mix(c, Color{0, 0, 0, c.a}, t); }

constexpr Color transparent{0, 0, 0, 0};

}  // namespace

ButtonFace ButtonFace::of(const Theme& theme, ButtonKind kind, ButtonState state) {
    const Colors& c = theme.colors;
    const bool hover = state == ButtonState::Hover;
    const bool pressed = state == ButtonState::Pressed;
    const bool disabled = state == ButtonState::Disabled;
    ButtonFace face;
    switch (kind) {
    case ButtonKind::Standard: {
        Color rest = Colors::lift(c.surface, 0.35f);
        face.fill = hover ? Colors::lift(c.surface, 0.72f) : pressed ? darken(c.surface, 0.08f) : rest;
        face.border = Colors::hairline_on(face.fill);
        face.content = c.primary_text;
        break;
    }
    case ButtonKind::Primary:
        face.fill = hover ? c.accent_hover : pressed ? darken(c.accent, 0.14f) : c.accent;
        face.border = transparent;
        face.content = c.on_accent;
        break;
    case ButtonKind::Destructive:
        // A tinted face keeps a destructive action recognisable without shouting in a toolbar.
        face.fill = c.danger.with_alpha(hover ? 0.24f : pressed ? 0.32f : 0.14f);
        face.border = c.danger.with_alpha(hover ? 0.55f : 0.38f);
        face.content = hover ? c.danger_hover : c.danger;
        break;
    case ButtonKind::Ghost:
        face.fill = hover ? c.hover_surface : pressed ? darken(c.hover_surface, 0.12f) : transparent;
        face.border = transparent;
        face.content = hover || pressed ? c.primary_text : c.body_text;
        break;
    }
    if (disabled) {
        face.fill = kind == ButtonKind::Ghost ? transparent : face.fill.faded(0.45f);
        face.border = face.border.faded(0.5f);
        face.content = c.muted_text.faded(0.75f);
    }
    return face;
}

float Button::natural_width(const ButtonContent& content, float padding) {
    float width = 0;
    if (content.icon) width += content.icon_size;
    if (!content.label.empty()) {
        if (content.icon) width += content.icon_gap;
        width += TextRenderer::measure(content.label, content.label_size, content.label_weight).width;
    }
    return std::ceil(width + 2 * padding);
}

void Button::paint(Painter& painter, const Theme& theme, Rect rect, ButtonKind kind, ButtonState state,
                   const ButtonContent& content, float radius, bool focused) {
    paint(painter, theme, rect, ButtonFace::of(theme, kind, state), content, radius, focused);
}

void Button::paint(Painter& painter, const Theme& theme, Rect rect, const ButtonFace& face,
                   const ButtonContent& content, float radius, bool focused) {
    if (rect.is_empty()) return;
    std::optional<Border> border;
    if (face.border.a > 0) border = Border{face.border, 1};
    surface::card(painter, rect, radius, face.fill, border);
    if (focused) {
        painter.stroke_rounded_rect(rect.inset(-2.5f), radius + 2.5f, theme.colors.focus_ring, 1.5f);
    }

    const Color icon_color = content.icon_color.value_or(face.content);
    const float inner = rect.width() - 8;
    float label_width = 0;
    std::string label(content.label);
    if (!label.empty()) {
        float room = inner - (content.icon ? content.icon_size + content.icon_gap : 0);
        if (content.label_offset) room = rect.x1 - (rect.x0 + content.label_offset->x) - 4;
        label = TextRenderer::elide_to_width(label, content.label_size, content.label_weight, room);
        label_width = TextRenderer::measure(label, content.label_size, content.label_weight).width;
    }
    const float line = content.label_size * 1.25f;
    float total = label_width;
    if (content.icon) total += content.icon_size + (label.empty() ? 0 : content.icon_gap);
    float x = rect.x0 + std::max(4.0f, (rect.width() - total) / 2);

    if (content.icon) {
        Point at = content.icon_offset ? Point{rect.x0 + content.icon_offset->x, rect.y0 + content.icon_offset->y}
                                   : Point{x, rect.center().y - content.icon_size / 2};
        Icon::draw(painter, *content.icon, Rect::from_xywh(at.x, at.y, content.icon_size, content.icon_size), icon_color);
        x += content.icon_size + content.icon_gap;
    }
    if (!label.empty()) {
        Point at = content.label_offset ? Point{rect.x0 + content.label_offset->x, rect.y0 + content.label_offset->y}
                                    : Point{x, rect.center().y - line / 2};
        TextRenderer::draw_text(painter, label, at, content.label_size, content.label_weight, face.content);
    }
}

void Toggle::paint(Painter& painter, const Theme& theme, Rect rect, bool on, bool hovered, bool disabled) {
    const Colors& c = theme.colors;
    const float height = std::min({rect.height(), natural_size.height, rect.width() / 1.8f});
    if (height <= 4) return;
    const float width = height * (natural_size.width / natural_size.height);
    Rect track = Rect::from_xywh(rect.x0, rect.center().y - height / 2, width, height);

    Color fill = on ? (hovered ? c.accent_hover : c.accent) : (hovered ? Colors::lift(c.neutral_badge, 0.9f) : c.neutral_badge);
    if (disabled) fill = fill.faded(0.45f);
    surface::pill(painter, track, fill);
    if (!on) painter.stroke_rounded_rect(track.inset(0.5f), height / 2 - 0.5f, Colors::hairline_on(fill), 1);

    const float knob_radius = height / 2 - 3;
    const float knob_x = on ? track.x1 - height / 2 : track.x0 + height / 2;
    const Point centre{knob_x, track.center().y};
    Rect knob{centre.x - knob_radius, centre.y - knob_radius, centre.x + knob_radius, centre.y + knob_radius};
    painter.draw_shadow(knob, knob_radius, 3, {0, 1}, Color::rgba(0, 0, 0, 0.35f));
    Color knob_color = on ? c.white : Color::rgb(214, 219, 228);
    if (disabled) knob_color = knob_color.faded(0.6f);
    painter.fill_circle(centre, knob_radius, knob_color);
}

void Avatar::draw_at(Painter& painter, Rect square, std::string_view initials, Color color) {
    const float side = std::min(square.width(), square.height());
    if (side <= 0) return;
    const Point centre = square.center();
    painter.fill_circle(centre, side / 2, color.with_alpha(1));
    // A faint inner rim keeps light palette colours from bleeding into light text nearby.
    painter.stroke_circle(centre, side / 2 - 0.5f, Color::rgba(0, 0, 0, 0.12f), 1);
    if (initials.empty()) return;
    std::size_t characters = 0;
    for (unsigned char b : initials) characters += (b & 0xC0) != 0x80;
    const float size = side * (characters > 1 ? 0.38f : 0.44f);
    const float line = size * 1.25f;
    // Caps sit a little high in their line box; nudge them to the optical centre.
    Rect box{square.x0, centre.y - line / 2 + size * 0.02f, square.x1, centre.y + line / 2};
    TextRenderer::draw_text_aligned(painter, initials, box, TextAlign::Center, size, 2, Color::rgb(255, 255, 255));
}

}  // namespace mail::ui
