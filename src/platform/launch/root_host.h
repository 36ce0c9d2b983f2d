#pragma once
// Drives the root widget through its frame: sync, layout, draw, input and wake-ups. Plain C++
// so the window and the headless runner share one loop.
#include <memory>
#include <optional>

#include "platform/actionfw/action_host.h"
#include "platform/replica/document.h"
#include "platform/ui/painter.h"
#include "platform/ui/theme.h"
#include "platform/ui/widget.h"

namespace mail::launch {

class RootHost {
public:
    // The root is handed the replica document and the action host on every frame.
    RootHost(std::unique_ptr<ui::Widget> root, persist::Document replica, const actionfw::ActionRegistry& registry);

    // One frame: sync, then layout into the viewport.
    void frame(ui::Instant now, ui::Size viewport, float scale);
    void draw(ui::Painter& painter);
    // Routes an event to the root, then runs what its controls asked for.
    ui::EventResult deliver(const ui::Event& event);
    bool semantic(const ui::SemanticAction& action);

    // The root keeps asking for frames (work or animation outstanding).
    bool wants_frames() const;
    std::optional<ui::Instant> next_wake_up() const;

    ui::Widget& root() { return *root_; }
    const ui::Widget& root() const { return *root_; }

private:
    void run_control_invocations();

    std::unique_ptr<ui::Widget> root_;
    persist::Document replica_;
    actionfw::ActionHost actions_;
    ui::Theme theme_;
    ui::LayoutContext layout_;
};

}  // namespace mail::launch
