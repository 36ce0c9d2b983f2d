#pragma once
// One of the three panes inside the navigation shell: the folder drawer (0), the message list (1)
// and the reading pane (2). Each reads the shared MailState and queues its requests there.
#include <memory>
#include <string_view>

#include "core/mail_state.h"
#include "platform/ui/widget.h"

namespace mail::panes {

enum class PaneRole { Sidebar = 0, List = 1, Reader = 2 };

class Pane : public ui::Widget {
public:
    Pane(std::shared_ptr<MailState> state, PaneRole role);

    PaneRole role() const { return role_; }
    void draw(ui::Painter& painter, const ui::Theme& theme) override;
    std::string_view debug_type_name() const override { return "Pane"; }

private:
    std::shared_ptr<MailState> state_;
    PaneRole role_;
};

}  // namespace mail::panes
