#include "platform/ui/modal.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/theme.h"

namespace mail::ui {

ModalLayout ModalFrame::layout(Rect window, Size preferred) {
    const float room_w = std::max(0.0f, window.width() - 2 * margin);
    const float room_h = std::max(0.0f, window.height() - 2 * margin);
    const float w = std::clamp(preferred.width, 0.0f, room_w);
    const float h = std::clamp(preferred.height, 0.0f, room_h);
    // Whole units keep the sheet's edges crisp.
    const float x = std::round(window.x0 + (window.width() - w) / 2);
    const float y = std::round(window.y0 + (window.height() - h) / 2);
    ModalLayout out;
    out.window = window;
    out.frame = Rect::from_xywh(x, y, w, h);
    const float pad = std::min(padding, std::min(w, h) / 4);
    out.content = out.frame.inset(pad);
    out.radius = std::min(14.0f, std::min(w, h) / 2);
    return out;
}

void ModalFrame::paint_backdrop(Painter& painter, const Theme& theme, Rect window, float opacity) {
    opacity = std::clamp(opacity, 0.0f, 1.0f);
    if (opacity <= 0) return;
    painter.fill_rect(window, theme.colors.backdrop.faded(opacity));
}

void ModalFrame::paint_frame(Painter& painter, const Theme& theme, const ModalLayout& layout) {
    if (layout.frame.is_empty()) return;
    surface::shadow(painter, layout.frame, layout.radius, 2);
    surface::card(painter, layout.frame, layout.radius, theme.colors.surface, Border{panel_border(theme), 1});
    surface::edge_outline(painter, layout.frame, layout.radius);
}

}  // namespace mail::ui
