#include "platform/ui/empty_state.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/controls.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/text.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

constexpr float badge_size = 64;
constexpr float icon_size = 28;
constexpr float title_size = 17;
constexpr int title_weight = 3;
constexpr float text_size = 13;
constexpr float text_pitch = 19;
constexpr float button_height = 36;
constexpr float button_gap = 10;
constexpr float max_text_width = 380;

// Greedy word wrap; a word wider than the line is elided rather than overflowing.
std::vector<std::string> wrap(std::string_view text, float width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t j = text.find(' ', i);
        if (j == std::string_view::npos) j = text.size();
        if (j == i) break;
        std::string word(text.substr(i, j - i));
        i = j;
        std::string candidate = line.empty() ? word : line + " " + word;
        if (TextRenderer::measure(candidate, text_size, 0).width <= width || line.empty()) {
            line = std::move(candidate);
        } else {
            lines.push_back(std::move(line));
            line = std::move(word);
        }
        if (TextRenderer::measure(line, text_size, 0).width > width) {
            line = TextRenderer::elide_to_width(line, text_size, 0, width);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace

EmptyState::EmptyState(IconName icon, std::string title, std::string text)
    : icon_(icon), title_(std::move(title)), text_(std::move(text)) {}

EmptyState& EmptyState::with_button(std::string label, std::string action) {
    buttons_.push_back({std::move(label), std::move(action), true, true});
    return *this;
}

EmptyState& EmptyState::with_secondary_button(std::string label, std::string action) {
    buttons_.push_back({std::move(label), std::move(action), false, true});
    return *this;
}

void EmptyState::set_button_available(const std::string& action, bool available) {
    for (auto& b : buttons_) {
        if (b.action == action) b.available = available;
    }
}

EmptyState::Layout EmptyState::layout_in(Rect area) const {
    Layout out;
    const float wrap_width = std::max(40.0f, std::min(max_text_width, area.width() - 48));
    std::vector<std::string> lines = text_.empty() ? std::vector<std::string>{} : wrap(text_, wrap_width);
    const float title_h = title_size * 1.25f;

    std::vector<float> widths;
    float buttons_w = 0;
    for (const auto& b : buttons_) {
        ButtonContent content(b.label);
        content.with_label_style(13, 2);
        float w = std::max(120.0f, Button::natural_width(content, 20));
        widths.push_back(w);
        buttons_w += w;
    }
    if (!buttons_.empty()) buttons_w += button_gap * static_cast<float>(buttons_.size() - 1);

    float total = badge_size + 20 + title_h;
    if (!lines.empty()) total += 8 + text_pitch * static_cast<float>(lines.size());
    if (!buttons_.empty()) total += 22 + button_height;

    const float cx = area.center().x;
    // A little above the middle looks centred; the eye weighs the lower half heavier.
    float y = std::round(area.center().y - total / 2 - std::min(24.0f, area.height() * 0.04f));
    y = std::max(y, area.y0 + 12);
    out.icon_badge = Rect::from_xywh(std::round(cx - badge_size / 2), y, badge_size, badge_size);
    y += badge_size + 20;
    out.title = Rect{area.x0 + 16, y, area.x1 - 16, y + title_h};
    y += title_h;
    if (!lines.empty()) {
        y += 8;
        for (std::size_t k = 0; k < lines.size(); ++k) {
            out.text_lines.push_back(Rect{cx - wrap_width / 2, y, cx + wrap_width / 2, y + text_pitch});
            y += text_pitch;
        }
    }
    if (!buttons_.empty()) {
        y += 22;
        float x = std::round(cx - buttons_w / 2);
        for (float w : widths) {
            out.buttons.push_back(Rect::from_xywh(x, y, w, button_height));
            x += w + button_gap;
        }
    }
    return out;
}

void EmptyState::paint(Painter& painter, const Theme& theme, Rect area) {
    layout_ = layout_in(area);
    const Colors& c = theme.colors;

    const Rect badge = layout_.icon_badge;
    painter.fill_circle(badge.center(), badge_size / 2, Colors::lift(c.surface, 0.35f));
    painter.stroke_circle(badge.center(), badge_size / 2 - 0.5f, Colors::hairline_on(c.surface), 1);
    const Point ic = badge.center();
    Icon::draw(painter, icon_, Rect{ic.x - icon_size / 2, ic.y - icon_size / 2, ic.x + icon_size / 2, ic.y + icon_size / 2},
               c.secondary_text);

    std::string title = TextRenderer::elide_to_width(title_, title_size, title_weight, layout_.title.width());
    TextRenderer::draw_text_aligned(painter, title, layout_.title, TextAlign::Center, title_size, title_weight,
                                    c.primary_text);

    const float wrap_width = layout_.text_lines.empty() ? 0 : layout_.text_lines.front().width();
    std::vector<std::string> lines = text_.empty() ? std::vector<std::string>{} : wrap(text_, wrap_width);
    for (std::size_t k = 0; k < lines.size() && k < layout_.text_lines.size(); ++k) {
        Rect box = layout_.text_lines[k];
        box.y0 += (text_pitch - text_size * 1.25f) / 2;
        box.y1 = box.y0 + text_size * 1.25f;
        TextRenderer::draw_text_aligned(painter, lines[k], box, TextAlign::Center, text_size, 0, c.secondary_text);
    }

    for (std::size_t k = 0; k < buttons_.size() && k < layout_.buttons.size(); ++k) {
        const auto& b = buttons_[k];
        ButtonState state = !b.available                ? ButtonState::Disabled
                            : pressed_ && *pressed_ == k ? ButtonState::Pressed
                            : hovered_ && *hovered_ == k ? ButtonState::Hover
                                                         : ButtonState::Rest;
        ButtonContent content(b.label);
        content.with_label_style(13, 2);
        Button::paint(painter, theme, layout_.buttons[k], b.primary ? ButtonKind::Primary : ButtonKind::Standard, state,
                      content, 9);
    }
}

std::optional<std::size_t> EmptyState::button_at(Point point) const {
    for (std::size_t k = 0; k < layout_.buttons.size(); ++k) {
        if (layout_.buttons[k].contains(point)) return k;
    }
    return std::nullopt;
}

void EmptyState::invoke(std::size_t index) {
    if (index < buttons_.size() && buttons_[index].available) invocation_ = ControlInvocation{buttons_[index].action};
}

bool EmptyState::press(Point point) {
    auto hit = button_at(point);
    if (!hit) return false;
    pressed_ = hit;
    invoke(*hit);
    return true;
}

void EmptyState::apply_layout(Rect bounds, const LayoutContext&) {
    bounds_ = bounds;
    layout_ = layout_in(bounds);
}

void EmptyState::draw(Painter& painter, const Theme& theme) { paint(painter, theme, bounds_); }

EventResult EmptyState::handle_event(const Event& event) {
    if (auto* move = std::get_if<PointerMove>(&event)) {
        hovered_ = button_at(move->position);
        return EventResult::Ignored;
    }
    if (std::holds_alternative<PointerLeave>(event)) {
        hovered_.reset();
        return EventResult::Ignored;
    }
    if (auto* press_event = std::get_if<PointerPress>(&event)) {
        if (press_event->button != PointerButton::Left) return EventResult::Ignored;
        return press(press_event->position) ? EventResult::Handled : EventResult::Ignored;
    }
    if (std::holds_alternative<PointerRelease>(event)) {
        bool had = pressed_.has_value();
        pressed_.reset();
        return had ? EventResult::Handled : EventResult::Ignored;
    }
    return EventResult::Ignored;
}

AccessNode EmptyState::accessibility() const {
    AccessNode node(AccessRole::Group, title_);
    if (!text_.empty()) node.description = text_;
    node.bounds = bounds_;
    std::vector<AccessNode> children;
    for (std::size_t k = 0; k < buttons_.size(); ++k) {
        AccessNode b(AccessRole::Button, buttons_[k].label);
        b.key = buttons_[k].action;
        if (k < layout_.buttons.size()) b.bounds = layout_.buttons[k];
        if (!buttons_[k].available) b.disabled = true;
        children.push_back(std::move(b));
    }
    return std::move(node).with_children(std::move(children));
}

bool EmptyState::perform_semantic_action(const SemanticAction& action) {
    for (std::size_t k = 0; k < buttons_.size(); ++k) {
        if (buttons_[k].action != action.id) continue;
        if (action.kind != SemanticKind::Activate || !buttons_[k].available) return false;
        invoke(k);
        return true;
    }
    return false;
}

std::optional<ControlInvocation> EmptyState::take_control_invocation() {
    auto out = std::move(invocation_);
    invocation_.reset();
    return out;
}

std::vector<ControlActionBinding> EmptyState::control_action_bindings() const {
    std::vector<ControlActionBinding> out;
    for (const auto& b : buttons_) out.push_back({b.action, b.label, b.available});
    return out;
}

}  // namespace mail::ui
