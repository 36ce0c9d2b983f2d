#include "platform/ui/nav_shell.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/controls.h"
#include "platform/ui/icons.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

constexpr auto animation_duration = std::chrono::milliseconds(200);
constexpr float drawer_button_inset = 12;
constexpr float drawer_button_size = 36;
constexpr float back_button_width = 94;
constexpr float back_button_height = 32;
constexpr float drawer_min_uncovered = 56;  // of the list stays visible beside an open drawer
constexpr float min_detail_width = 160;

float ease_out(float t) {
    t = std::clamp(t, 0.0f, 1.0f);
    return 1 - (1 - t) * (1 - t) * (1 - t);
}

}  // namespace

NavShell::NavShell(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail)
    : list_(std::move(list)), detail_(std::move(detail)) {}

NavShell NavShell::create(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail) {
    return NavShell(std::move(list), std::move(detail));
}

NavShell&& NavShell::with_sidebar(std::unique_ptr<Widget> sidebar) && {
    sidebar_ = std::move(sidebar);
    return std::move(*this);
}

NavShell& NavShell::with_sidebar(std::unique_ptr<Widget> sidebar) & {
    sidebar_ = std::move(sidebar);
    return *this;
}

// --- state ----------------------------------------------------------------------------------

NavShell::View NavShell::view() const {
    if (drawer_open_ && sidebar_) return View::Drawer;
    return target_ == NavTarget::Detail ? View::Detail : View::List;
}

bool NavShell::sidebar_open() const {
    if (!sidebar_) return false;
    return compact_ ? drawer_open_ : true;
}

void NavShell::view_will_change() {
    // Called with the view as it is before a change; the animation starts at the next frame.
    if (!laid_out_ || !drawn_ || !compact_ || !animations_enabled_) return;
    from_view_ = view();
    animation_pending_ = true;
    progress_ = 0;
}

void NavShell::snap(NavTarget target) {
    if (target_ == target && !drawer_open_) return;
    view_will_change();
    target_ = target;
    drawer_open_ = false;
    if (laid_out_) layout_panes();
    redraw_ = true;
}

void NavShell::snap_sidebar() {
    if (!sidebar_) return;
    if (drawer_open_ && target_ == NavTarget::List) return;
    view_will_change();
    drawer_open_ = true;
    target_ = NavTarget::List;
    if (laid_out_) layout_panes();
    redraw_ = true;
}

void NavShell::close_sidebar() {
    if (!drawer_open_) return;
    view_will_change();
    drawer_open_ = false;
    if (laid_out_) layout_panes();
    redraw_ = true;
}

void NavShell::toggle_sidebar() {
    if (drawer_open_) close_sidebar();
    else snap_sidebar();
}

// --- layout ---------------------------------------------------------------------------------

void NavShell::build_layout(const LayoutContext& context) {
    for_each_child([&](Widget& w) { w.build_layout(context); });
}

void NavShell::apply_layout(Rect bounds, const LayoutContext& context) {
    bounds_ = bounds;
    context_ = context;
    const bool was_compact = compact_;
    compact_ = bounds.width() < collapse_width_ * std::max(1.0f, context.text_scale);
    if (laid_out_ && was_compact != compact_) {
        // A drawer has no meaning in a wide window; it does not come back when narrowed again.
        if (!compact_) drawer_open_ = false;
        from_view_.reset();
        animation_pending_ = false;
        progress_ = 1;
    }
    laid_out_ = true;
    layout_panes();
}

void NavShell::layout_panes() {
    const Rect b = bounds_;
    drawer_button_.reset();
    back_button_.reset();
    auto drawer_button_in = [](Rect pane) {
        return Rect::from_xywh(pane.x0 + drawer_button_inset, pane.y0 + drawer_button_inset, drawer_button_size,
                               drawer_button_size);
    };

    if (!compact_) {
        float x = b.x0;
        // Keep some detail pane even when the collapse width was set below the panes' widths.
        float sidebar_w = sidebar_ ? std::clamp(sidebar_width_, 0.0f, std::max(0.0f, b.width() - min_detail_width)) : 0;
        float list_w = std::clamp(list_width_, 0.0f, std::max(0.0f, b.width() - sidebar_w - min_detail_width));
        sidebar_rect_ = {x, b.y0, x + sidebar_w, b.y1};
        x += sidebar_w;
        list_rect_ = {x, b.y0, x + list_w, b.y1};
        detail_rect_ = {x + list_w, b.y0, b.x1, b.y1};
        sidebar_visible_ = sidebar_ != nullptr;
        list_visible_ = detail_visible_ = true;
    } else {
        list_rect_ = detail_rect_ = b;
        const float drawer_w = std::max(0.0f, std::min(sidebar_width_, b.width() - drawer_min_uncovered));
        sidebar_rect_ = {b.x0, b.y0, b.x0 + drawer_w, b.y1};
        const View v = view();
        sidebar_visible_ = v == View::Drawer;
        list_visible_ = v != View::Detail;
        detail_visible_ = v == View::Detail;
        if (list_visible_ && sidebar_) drawer_button_ = drawer_button_in(list_rect_);
        if (detail_visible_) {
            back_button_ = Rect::from_xywh(b.x0 + drawer_button_inset, b.y0 + drawer_button_inset, back_button_width,
                                           back_button_height);
        }
    }
    if (sidebar_) sidebar_->apply_layout(sidebar_rect_, context_);
    list_->apply_layout(list_rect_, context_);
    detail_->apply_layout(detail_rect_, context_);
}

// --- children -------------------------------------------------------------------------------

std::vector<Widget*> NavShell::children_mut() {
    std::vector<Widget*> out;
    if (sidebar_) out.push_back(sidebar_.get());
    out.push_back(list_.get());
    out.push_back(detail_.get());
    return out;
}

void NavShell::for_each_child(const std::function<void(Widget&)>& visit) const {
    if (sidebar_) visit(*sidebar_);
    visit(*list_);
    visit(*detail_);
}

std::vector<Widget*> NavShell::shown_children() {
    std::vector<Widget*> out;
    if (compact_ && drawer_open_ && sidebar_) {
        out.push_back(sidebar_.get());
        return out;
    }
    if (sidebar_visible_ && sidebar_) out.push_back(sidebar_.get());
    if (list_visible_) out.push_back(list_.get());
    if (detail_visible_) out.push_back(detail_.get());
    return out;
}

Widget* NavShell::child_at(Point p) {
    if (!bounds_.contains(p)) return nullptr;
    if (compact_) {
        switch (view()) {
        case View::Drawer: return sidebar_rect_.contains(p) ? sidebar_.get() : nullptr;
        case View::Detail: return detail_.get();
        case View::List: return list_.get();
        }
    }
    if (sidebar_ && sidebar_visible_ && sidebar_rect_.contains(p)) return sidebar_.get();
    if (list_rect_.contains(p)) return list_.get();
    if (detail_rect_.contains(p)) return detail_.get();
    return nullptr;
}

// --- frames ---------------------------------------------------------------------------------

void NavShell::sync(const FrameContext& context) {
    for_each_child([&](Widget& w) { w.sync(context); });
    if (animation_pending_) {
        animation_pending_ = false;
        animation_start_ = context.now;
        progress_ = 0;
        redraw_ = true;
    } else if (from_view_) {
        const float elapsed = std::chrono::duration<float>(context.now - animation_start_).count();
        progress_ = std::clamp(elapsed / std::chrono::duration<float>(animation_duration).count(), 0.0f, 1.0f);
        redraw_ = true;
        if (progress_ >= 1) from_view_.reset();
    }
}

bool NavShell::needs_animation_frame() const {
    if (animation_pending_ || from_view_) return true;
    bool any = false;
    for_each_child([&](Widget& w) { any = any || w.needs_animation_frame(); });
    return any;
}

bool NavShell::needs_idle_sync() const {
    bool any = false;
    for_each_child([&](Widget& w) { any = any || w.needs_idle_sync(); });
    return any;
}

std::optional<Instant> NavShell::next_wake_up() const {
    std::optional<Instant> soonest;
    for_each_child([&](Widget& w) {
        if (auto t = w.next_wake_up(); t && (!soonest || *t < *soonest)) soonest = t;
    });
    return soonest;
}

bool NavShell::needs_redraw() const {
    bool any = redraw_;
    for_each_child([&](Widget& w) { any = any || w.needs_redraw(); });
    return any;
}

// --- drawing --------------------------------------------------------------------------------

void NavShell::draw(Painter& painter, const Theme& theme) { draw_with_presence(painter, theme); }

void NavShell::draw_controls(Painter& painter, const Theme& theme, View v) {
    // The control that belongs to a compact view, placed from its pane so that an outgoing
    // view keeps its control while it fades out.
    auto state_for = [&](Rect r, bool pressed) {
        if (pressed) return ButtonState::Pressed;
        return pointer_ && r.contains(*pointer_) ? ButtonState::Hover : ButtonState::Rest;
    };
    if (v == View::Detail) {
        Rect r = Rect::from_xywh(detail_rect_.x0 + drawer_button_inset, detail_rect_.y0 + drawer_button_inset,
                                 back_button_width, back_button_height);
        ButtonContent content(IconName::ChevronLeft, "Back");
        content.with_gap(5);
        Button::paint(painter, theme, r, ButtonKind::Standard, state_for(r, back_button_pressed_), content, 8);
    } else if (sidebar_) {
        Rect r = Rect::from_xywh(list_rect_.x0 + drawer_button_inset, list_rect_.y0 + drawer_button_inset,
                                 drawer_button_size, drawer_button_size);
        ButtonContent content(IconName::Menu);
        content.with_icon_size(18);
        Button::paint(painter, theme, r, ButtonKind::Standard, state_for(r, drawer_button_pressed_), content, 9);
    }
}

void NavShell::draw_view(Painter& painter, const Theme& theme, View v) {
    // The pane under a compact view (the list beneath an open drawer) and its control.
    Widget* base = v == View::Detail ? detail_.get() : list_.get();
    Rect r = v == View::Detail ? detail_rect_ : list_rect_;
    painter.push_clip(r);
    base->draw(painter, theme);
    painter.pop_clip();
    draw_controls(painter, theme, v);
}

void NavShell::draw_with_presence(Painter& painter, const Theme& theme) {
    redraw_ = false;
    drawn_ = true;
    if (bounds_.is_empty()) return;
    const Color border = panel_border(theme);

    if (!compact_) {
        if (sidebar_ && sidebar_visible_) {
            painter.push_clip(sidebar_rect_);
            sidebar_->draw(painter, theme);
            painter.pop_clip();
        }
        painter.push_clip(list_rect_);
        list_->draw(painter, theme);
        painter.pop_clip();
        painter.push_clip(detail_rect_);
        detail_->draw(painter, theme);
        painter.pop_clip();
        if (sidebar_ && sidebar_visible_ && sidebar_rect_.width() > 0) {
            surface::vertical_separator(painter, sidebar_rect_.x1 - 1, bounds_.y0, bounds_.y1, border);
        }
        surface::vertical_separator(painter, list_rect_.x1 - 1, bounds_.y0, bounds_.y1, border);
        return;
    }

    const View to = view();
    const float t = from_view_ ? ease_out(progress_) : 1.0f;
    const View from = from_view_.value_or(to);
    auto base_of = [](View v) { return v == View::Detail ? View::Detail : View::List; };
    auto drawer_of = [](View v) { return v == View::Drawer ? 1.0f : 0.0f; };

    painter.push_clip(bounds_);
    const View base_from = base_of(from), base_to = base_of(to);
    if (base_from != base_to && t < 1) {
        // Going deeper slides in from the right; going back from the left.
        // The outgoing pane stays opaque underneath, on the window colour where it has moved
        // aside, so nothing behind the shell shows through.
        const float dir = base_to == View::Detail ? 1.0f : -1.0f;
        painter.fill_rect(bounds_, theme.colors.background);
        painter.push_translation(-dir * t * 24, 0);
        draw_view(painter, theme, base_from);
        painter.pop_translation();
        painter.push_opacity(t);
        painter.push_translation(dir * (1 - t) * 48, 0);
        draw_view(painter, theme, base_to);
        painter.pop_translation();
        painter.pop_opacity();
    } else {
        draw_view(painter, theme, base_to);
    }

    const float drawer = drawer_of(from) + (drawer_of(to) - drawer_of(from)) * t;
    if (drawer > 0.001f && sidebar_) {
        painter.fill_rect(bounds_, theme.colors.backdrop.faded(drawer));
        const float shift = -(1 - drawer) * (sidebar_rect_.width() + 16);
        painter.push_translation(shift, 0);
        painter.draw_shadow(sidebar_rect_, 0, 18, {4, 0}, Color::rgba(0, 0, 0, 0.45f * drawer));
        painter.push_clip(sidebar_rect_);
        sidebar_->draw(painter, theme);
        painter.pop_clip();
        surface::vertical_separator(painter, sidebar_rect_.x1 - 1, sidebar_rect_.y0, sidebar_rect_.y1, border);
        painter.pop_translation();
    }
    painter.pop_clip();
}

// --- input ----------------------------------------------------------------------------------

EventResult NavShell::handle_event(const Event& event) {
    if (auto* press = std::get_if<PointerPress>(&event)) {
        const Point p = press->position;
        pointer_ = p;
        if (compact_ && view() == View::Drawer) {
            if (sidebar_rect_.contains(p)) {
                captured_ = sidebar_.get();
                return sidebar_->handle_event(event);
            }
            if (bounds_.contains(p)) {
                // A press on the backdrop closes the drawer and goes no further.
                close_sidebar();
                return EventResult::Handled;
            }
            return EventResult::Ignored;
        }
        if (press->button == PointerButton::Left) {
            if (drawer_button_ && drawer_button_->contains(p)) {
                drawer_button_pressed_ = true;
                toggle_sidebar();
                return EventResult::Handled;
            }
            if (back_button_ && back_button_->contains(p)) {
                back_button_pressed_ = true;
                snap(NavTarget::List);
                return EventResult::Handled;
            }
        }
        Widget* child = child_at(p);
        if (!child) return EventResult::Ignored;
        captured_ = child;
        return child->handle_event(event);
    }
    if (auto* release = std::get_if<PointerRelease>(&event)) {
        pointer_ = release->position;
        const bool own = drawer_button_pressed_ || back_button_pressed_;
        drawer_button_pressed_ = back_button_pressed_ = false;
        if (own) return EventResult::Handled;
        Widget* target = captured_ ? captured_ : child_at(release->position);
        captured_ = nullptr;
        return target ? target->handle_event(event) : EventResult::Ignored;
    }
    if (auto* move = std::get_if<PointerMove>(&event)) {
        pointer_ = move->position;
        const bool over_control = (drawer_button_ && drawer_button_->contains(move->position)) ||
                                  (back_button_ && back_button_->contains(move->position));
        if (over_control != control_hovered_) {
            control_hovered_ = over_control;
            redraw_ = true;
        }
        if (captured_) return captured_->handle_event(event);
        Widget* child = child_at(move->position);
        if (child != hovered_child_) {
            if (hovered_child_) hovered_child_->handle_event(PointerLeave{});
            hovered_child_ = child;
            redraw_ = true;
        }
        return child ? child->handle_event(event) : EventResult::Ignored;
    }
    if (std::holds_alternative<PointerLeave>(event)) {
        pointer_.reset();
        EventResult result = EventResult::Ignored;
        if (hovered_child_) result = hovered_child_->handle_event(event);
        hovered_child_ = nullptr;
        return result;
    }
    if (auto* wheel = std::get_if<Wheel>(&event)) {
        Widget* child = child_at(wheel->position);
        return child ? child->handle_event(event) : EventResult::Ignored;
    }
    if (std::holds_alternative<ScaleChanged>(event) || std::holds_alternative<WindowFocus>(event)) {
        for_each_child([&](Widget& w) { w.handle_event(event); });
        if (auto* focus = std::get_if<WindowFocus>(&event); focus && !focus->focused) captured_ = nullptr;
        return EventResult::Ignored;
    }
    // Keys and committed text: an open drawer first, then the shown panes in order.
    if (auto* key = std::get_if<KeyPress>(&event); key && compact_ && view() == View::Drawer) {
        if (sidebar_->handle_event(event) == EventResult::Handled) return EventResult::Handled;
        if (key->key == "Escape" && key->modifiers.none()) {
            close_sidebar();
            return EventResult::Handled;
        }
        return EventResult::Ignored;
    }
    for (Widget* w : shown_children()) {
        if (w->handle_event(event) == EventResult::Handled) return EventResult::Handled;
    }
    return EventResult::Ignored;
}

// --- actions and accessibility --------------------------------------------------------------

AccessNode NavShell::accessibility() const {
    AccessNode root(AccessRole::Group, "Navigation");
    root.bounds = bounds_;
    std::vector<AccessNode> children;
    if (drawer_button_ && list_visible_ && sidebar_) {
        AccessNode b(AccessRole::Button, sidebar_open() ? "Close sidebar" : "Open sidebar");
        b.key = drawer_key;
        b.bounds = *drawer_button_;
        b.expanded = sidebar_open();
        children.push_back(std::move(b));
    }
    if (back_button_ && detail_visible_) {
        AccessNode b(AccessRole::Button, "Back");
        b.key = back_key;
        b.bounds = *back_button_;
        children.push_back(std::move(b));
    }
    if (sidebar_ && sidebar_visible_) children.push_back(sidebar_->accessibility());
    if (list_visible_ && !(compact_ && drawer_open_)) children.push_back(list_->accessibility());
    if (detail_visible_) children.push_back(detail_->accessibility());
    return std::move(root).with_children(std::move(children));
}

bool NavShell::perform_semantic_action(const SemanticAction& action) {
    if (action.id == drawer_key && sidebar_) {
        if (action.kind == SemanticKind::Collapse) close_sidebar();
        else if (action.kind == SemanticKind::Expand) snap_sidebar();
        else toggle_sidebar();
        return true;
    }
    if (action.id == back_key) {
        snap(NavTarget::List);
        return true;
    }
    bool done = false;
    for_each_child([&](Widget& w) { done = done || w.perform_semantic_action(action); });
    return done;
}

bool NavShell::perform_action(std::string_view action) {
    bool done = false;
    for_each_child([&](Widget& w) { done = done || w.perform_action(action); });
    return done;
}

std::optional<ControlInvocation> NavShell::take_control_invocation() {
    for (Widget* w : children_mut()) {
        if (auto invocation = w->take_control_invocation()) return invocation;
    }
    return std::nullopt;
}

std::vector<ControlActionBinding> NavShell::control_action_bindings() const {
    std::vector<ControlActionBinding> out;
    for_each_child([&](Widget& w) {
        auto bindings = w.control_action_bindings();
        out.insert(out.end(), bindings.begin(), bindings.end());
    });
    return out;
}

void NavShell::refresh_control_action_availability() {
    for_each_child([&](Widget& w) { w.refresh_control_action_availability(); });
}

}  // namespace mail::ui
