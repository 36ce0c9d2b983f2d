#pragma once
// The widget interface the window drives, operations in slot order. The window calls `sync`
// once per frame before layout, then lays out, draws and routes input.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/access.h"
#include "platform/ui/event.h"
#include "platform/ui/geometry.h"

namespace mail::persist {
class Document;
}
namespace mail::actionfw {
class ActionHost;
}

namespace mail::ui {

class Painter;
struct Theme;

using Clock = std::chrono::steady_clock;
using Instant = Clock::time_point;

struct FrameContext {
    Instant now = Clock::now();
    float scale = 1;       // device pixels per layout unit
    float text_scale = 1;  // the user's text size setting
    // The replica document the platform keeps for the program, and the action host that applies
    // actions to it; absent when the platform has none to give.
    persist::Document* replica = nullptr;
    const actionfw::ActionHost* actions = nullptr;
};

struct LayoutContext {
    Size viewport;
    float text_scale = 1;
};

// What assistive technology (or an automation script) asks a node to do.
enum class SemanticKind { Activate, Focus, Expand, Collapse, SetValue };

struct SemanticAction {
    std::string id;  // the node's key
    SemanticKind kind = SemanticKind::Activate;
    std::string value;  // for SetValue
};

// An action a control asks the window to run on its behalf (a button bound to "mail.add-account").
struct ControlInvocation {
    std::string action;
};

struct ControlActionBinding {
    std::string action;
    std::string label;
    bool available = true;
};

class Widget {
public:
    virtual ~Widget() = default;

    virtual void sync(const FrameContext&) {}
    virtual void build_layout(const LayoutContext&) {}
    virtual Size measure(Size available, const LayoutContext&) { return available; }
    virtual void apply_layout(Rect bounds, const LayoutContext&) { bounds_ = bounds; }
    virtual void draw(Painter& painter, const Theme& theme) = 0;
    virtual EventResult handle_event(const Event&) { return EventResult::Ignored; }
    virtual AccessNode accessibility() const { return AccessNode(AccessRole::Group, std::string(debug_type_name())); }
    virtual bool perform_action(std::string_view /*action*/) { return false; }
    virtual bool perform_semantic_action(const SemanticAction&) { return false; }
    virtual std::optional<ControlInvocation> take_control_invocation() { return std::nullopt; }
    virtual std::vector<ControlActionBinding> control_action_bindings() const { return {}; }
    virtual void refresh_control_action_availability() {}
    virtual bool needs_idle_sync() const { return false; }
    virtual bool needs_animation_frame() const { return false; }

    // When the window must wake the widget next although nothing else happens.
    virtual std::optional<Instant> next_wake_up() const { return std::nullopt; }
    virtual bool needs_redraw() const { return false; }
    virtual std::string_view debug_type_name() const = 0;

    Rect bounds() const { return bounds_; }

protected:
    Rect bounds_;
};

}  // namespace mail::ui
