#include "platform/launch/root_host.h"

namespace mail::launch {

RootHost::RootHost(std::unique_ptr<ui::Widget> root, persist::Document replica, const actionfw::ActionRegistry& registry)
    : root_(std::move(root)), replica_(std::move(replica)), actions_(registry), theme_(ui::Theme::dark()) {}

void RootHost::frame(ui::Instant now, ui::Size viewport, float scale) {
    ui::FrameContext frame;
    frame.now = now;
    frame.scale = scale;
    frame.text_scale = layout_.text_scale;
    frame.replica = &replica_;
    frame.actions = &actions_;
    root_->sync(frame);
    layout_.viewport = viewport;
    root_->build_layout(layout_);
    root_->apply_layout(ui::Rect{0, 0, viewport.width, viewport.height}, layout_);
}

void RootHost::draw(ui::Painter& painter) { root_->draw(painter, theme_); }

ui::EventResult RootHost::deliver(const ui::Event& event) {
    auto result = root_->handle_event(event);
    run_control_invocations();
    return result;
}

bool RootHost::semantic(const ui::SemanticAction& action) {
    bool done = root_->perform_semantic_action(action);
    run_control_invocations();
    return done;
}

bool RootHost::wants_frames() const { return root_->needs_idle_sync() || root_->needs_animation_frame(); }

std::optional<ui::Instant> RootHost::next_wake_up() const { return root_->next_wake_up(); }

void RootHost::run_control_invocations() {
    // A bounded loop: an action may queue another, but never forever.
    for (int i = 0; i < 16; ++i) {
        auto invocation = root_->take_control_invocation();
        if (!invocation) return;
        root_->perform_action(invocation->action);
    }
}

}  // namespace mail::launch
