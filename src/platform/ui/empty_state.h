#pragma once
// A centred message for a view with nothing in it: an icon, a title, a line of text and
// optionally buttons bound to actions. Usable as a widget (layout, input, accessibility) or
// just painted into a rectangle.
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/icons.h"
#include "platform/ui/widget.h"

namespace mail::ui {

struct EmptyStateButton {
    std::string label;
    std::string action;  // the action id a press invokes, also the button's accessible key
    bool primary = true;
    bool available = true;
};

class EmptyState : public Widget {
public:
    EmptyState() = default;
    EmptyState(IconName icon, std::string title, std::string text);

    EmptyState& with_button(std::string label, std::string action);
    EmptyState& with_secondary_button(std::string label, std::string action);

    const std::string& title() const { return title_; }
    const std::string& text() const { return text_; }
    const std::vector<EmptyStateButton>& buttons() const { return buttons_; }
    void set_button_available(const std::string& action, bool available);

    // Where everything goes inside `area`.
    struct Layout {
        Rect icon_badge;
        Rect title;
        std::vector<Rect> text_lines;
        std::vector<Rect> buttons;
    };
    Layout layout_in(Rect area) const;

    // Lays out into `area` (keeping the button rectangles for input) and draws.
    void paint(Painter& painter, const Theme& theme, Rect area);

    // The button under `point` in the last layout.
    std::optional<std::size_t> button_at(Point point) const;
    // Presses the button under `point`: queues its action and answers whether one was hit.
    bool press(Point point);

    void apply_layout(Rect bounds, const LayoutContext& context) override;
    void draw(Painter& painter, const Theme& theme) override;
    EventResult handle_event(const Event& event) override;
    AccessNode accessibility() const override;
    bool perform_semantic_action(const SemanticAction& action) override;
    std::optional<ControlInvocation> take_control_invocation() override;
    std::vector<ControlActionBinding> control_action_bindings() const override;
    std::string_view debug_type_name() const override { return "EmptyState"; }

private:
    void invoke(std::size_t index);

    IconName icon_{};
    std::string title_;
    std::string text_;
    std::vector<EmptyStateButton> buttons_;
    Layout layout_;
    std::optional<std::size_t> hovered_;
    std::optional<std::size_t> pressed_;
    std::optional<ControlInvocation> invocation_;
};

}  // namespace mail::ui
