#include "ui/pane.h"

#include "platform/ui/painter.h"
#include "platform/ui/text.h"
#include "platform/ui/theme.h"

namespace mail::panes {

Pane::Pane(std::shared_ptr<MailState> state, PaneRole role) : state_(std::move(state)), role_(role) {}

void Pane::draw(ui::Painter& painter, const ui::Theme& theme) {
    const ui::Rect r = bounds();
    switch (role_) {
        case PaneRole::Sidebar:
            painter.fill_rect(r, theme.colors.sidebar_background);
            ui::TextRenderer::draw_text(painter, "Mail", {r.x0 + 60, r.y0 + 19}, 16, 2, theme.colors.primary_text);
            break;
        case PaneRole::List:
            painter.fill_rect(r, theme.colors.list_background);
            break;
        case PaneRole::Reader:
            painter.fill_rect(r, theme.colors.reader_background);
            break;
    }
}

}  // namespace mail::panes
