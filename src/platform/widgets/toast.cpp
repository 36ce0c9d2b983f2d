#include "platform/ui/toast.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/icons.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/text.h"
#include "platform/ui/theme.h"

namespace mail::ui::toast {
namespace {

constexpr float height = 40;
constexpr float bottom_margin = 28;
constexpr float side_margin = 16;
constexpr float max_width = 560;
constexpr float icon_size = 16;
constexpr float left_pad = 14, gap = 10, right_pad = 18;
constexpr float text_size = 12.5f;
constexpr int text_weight = 1;

float content_width(std::string_view text) {
    return left_pad + icon_size + gap + TextRenderer::measure(text, text_size, text_weight).width + right_pad;
}

Color tone_color(const Theme& theme, ToastTone tone) {
    switch (tone) {
    case ToastTone::Plain: return theme.colors.secondary_text;
    case ToastTone::Progress: return theme.colors.accent;
    case ToastTone::Warning: return theme.colors.warning;
    case ToastTone::Error: return theme.colors.danger;
    }
    return theme.colors.secondary_text;
}

void paint_progress_ring(Painter& painter, Rect box, Color color) {
    const Point c = box.center();
    const float r = box.width() / 2 - 1.5f;
    painter.stroke_circle(c, r, color.faded(0.25f), 2);
    Path arc;
    arc.arc(c, r, 90, 270);
    painter.stroke_path(arc, color, Stroke{2, LineCap::Round, LineJoin::Round});
}

}  // namespace

Rect transient_rect(Rect area, std::string_view text) {
    const float available = std::max(0.0f, std::min(max_width, area.width() - 2 * side_margin));
    const float width = std::min(std::ceil(content_width(text)), available);
    const float x = area.center().x - width / 2;
    const float y = area.y1 - bottom_margin - height;
    return Rect::from_xywh(std::round(x), std::round(y), width, height);
}

Rect paint_transient(Painter& painter, const Theme& theme, Rect area, std::string_view text, ToastTone tone,
                     float presence) {
    presence = std::clamp(presence, 0.0f, 1.0f);
    Rect pill = transient_rect(area, text);
    if (pill.width() < left_pad + icon_size + right_pad || presence <= 0) return pill;
    // Rises a few units while it fades in.
    const float eased = 1 - (1 - presence) * (1 - presence);
    pill = pill.translated(0, (1 - eased) * 10);

    const Colors& c = theme.colors;
    const Color accent = tone_color(theme, tone);
    painter.push_opacity(eased);
    surface::shadow(painter, pill, height / 2, 1);
    Color fill = c.surface_raised;
    if (tone == ToastTone::Error || tone == ToastTone::Warning) {
        // A trace of the tone in the surface; the icon carries the rest.
        fill = {fill.r + (accent.r - fill.r) * 0.10f, fill.g + (accent.g - fill.g) * 0.10f,
                fill.b + (accent.b - fill.b) * 0.10f, 1};
    }
    Color border = tone == ToastTone::Plain || tone == ToastTone::Progress ? Colors::hairline_on(fill)
                                                                            : accent.with_alpha(0.38f);
    surface::card(painter, pill, height / 2, fill, Border{border, 1});
    surface::edge_outline(painter, pill, height / 2);

    Rect icon = Rect::from_xywh(pill.x0 + left_pad, pill.center().y - icon_size / 2, icon_size, icon_size);
    switch (tone) {
    case ToastTone::Plain: Icon::draw(painter, IconName::Info, icon, accent); break;
    case ToastTone::Progress: paint_progress_ring(painter, icon, accent); break;
    case ToastTone::Warning: Icon::draw(painter, IconName::Warning, icon, accent); break;
    case ToastTone::Error: Icon::draw(painter, IconName::Error, icon, accent); break;
    }

    const float text_x = icon.x1 + gap;
    const float room = pill.x1 - right_pad - text_x;
    std::string shown = TextRenderer::elide_to_width(text, text_size, text_weight, room);
    const float line = text_size * 1.25f;
    TextRenderer::draw_text(painter, shown, {text_x, pill.center().y - line / 2}, text_size, text_weight,
                            c.primary_text);
    painter.pop_opacity();
    return pill;
}

}  // namespace mail::ui::toast
