#pragma once
// The responsive navigation shell: a list pane and a detail pane, optionally a sidebar. A wide
// window shows sidebar | list | detail side by side; a window narrower than the collapse width
// shows one pane at a time, with the sidebar as a drawer over the list and a back control in
// the detail pane.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/widget.h"

namespace mail::ui {

enum class NavTarget { List, Detail };

class NavShell : public Widget {
public:
    static constexpr float default_collapse_width = 720;
    static constexpr float default_sidebar_width = 240;
    static constexpr float default_list_width = 320;

    static NavShell create(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail);
    NavShell&& with_sidebar(std::unique_ptr<Widget> sidebar) &&;
    NavShell& with_sidebar(std::unique_ptr<Widget> sidebar) &;

    // Widths in layout units. The collapse width is multiplied by the layout's text scale (at
    // least 1) at every layout pass; the pane widths are taken as they are.
    void set_collapse_width(float width) { collapse_width_ = width; }
    void set_sidebar_width(float width) { sidebar_width_ = width; }
    void set_list_width(float width) { list_width_ = width; }
    float collapse_width() const { return collapse_width_; }
    float sidebar_width() const { return sidebar_width_; }
    float list_width() const { return list_width_; }

    // What a compact window shows: the list or the detail. Also closes the drawer.
    void snap(NavTarget target);
    // Opens the sidebar: in a compact window as a drawer over the list.
    void snap_sidebar();
    void close_sidebar();
    void toggle_sidebar();
    // Whether changes of the compact view slide and fade in (off: they are immediate).
    void set_animations_enabled(bool enabled) { animations_enabled_ = enabled; }

    // From the last layout pass. Before the first one the shell counts as wide.
    bool is_compact() const { return compact_; }
    // The detail pane is shown on its own (a compact window snapped to the detail).
    bool detail_open() const { return compact_ && target_ == NavTarget::Detail && !drawer_open_; }
    // The sidebar is shown: beside the list when wide, as the open drawer when compact.
    bool sidebar_open() const;
    NavTarget target() const { return target_; }

    // The menu button at the top left of the list pane, present when the window is compact or
    // there is no sidebar beside the list (and the list is shown).
    std::optional<Rect> drawer_button_rect() const { return drawer_button_; }
    // The back control at the top left of the detail pane, present when it is shown on its own.
    std::optional<Rect> back_button_rect() const { return back_button_; }

    // Pane rectangles of the last layout; a pane that is not shown has none.
    std::optional<Rect> sidebar_rect() const { return sidebar_visible_ ? std::optional(sidebar_rect_) : std::nullopt; }
    std::optional<Rect> list_rect() const { return list_visible_ ? std::optional(list_rect_) : std::nullopt; }
    std::optional<Rect> detail_rect() const { return detail_visible_ ? std::optional(detail_rect_) : std::nullopt; }

    Widget* sidebar() const { return sidebar_.get(); }
    Widget* list() const { return list_.get(); }
    Widget* detail() const { return detail_.get(); }
    // Every child: sidebar (when there is one), list, detail.
    std::vector<Widget*> children_mut();
    void for_each_child(const std::function<void(Widget&)>& visit) const;

    // Draws the shown panes, sliding and fading between compact views while an animation runs.
    void draw_with_presence(Painter& painter, const Theme& theme);

    void sync(const FrameContext& context) override;
    void build_layout(const LayoutContext& context) override;
    void apply_layout(Rect bounds, const LayoutContext& context) override;
    void draw(Painter& painter, const Theme& theme) override;
    EventResult handle_event(const Event& event) override;
    AccessNode accessibility() const override;
    bool perform_action(std::string_view action) override;
    bool perform_semantic_action(const SemanticAction& action) override;
    std::optional<ControlInvocation> take_control_invocation() override;
    std::vector<ControlActionBinding> control_action_bindings() const override;
    void refresh_control_action_availability() override;
    bool needs_idle_sync() const override;
    bool needs_animation_frame() const override;
    std::optional<Instant> next_wake_up() const override;
    bool needs_redraw() const override;
    std::string_view debug_type_name() const override { return "NavShell"; }

    // Accessible keys of the shell's own controls.
    static constexpr const char* drawer_key = "nav.drawer";
    static constexpr const char* back_key = "nav.back";

private:
    NavShell(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail);

    enum class View { List, Detail, Drawer };
    View view() const;
    void view_will_change();
    void layout_panes();
    Widget* child_at(Point point);
    std::vector<Widget*> shown_children();
    void draw_view(Painter& painter, const Theme& theme, View view);
    void draw_controls(Painter& painter, const Theme& theme, View view);

    std::unique_ptr<Widget> sidebar_;
    std::unique_ptr<Widget> list_;
    std::unique_ptr<Widget> detail_;

    float collapse_width_ = default_collapse_width;
    float sidebar_width_ = default_sidebar_width;
    float list_width_ = default_list_width;

    NavTarget target_ = NavTarget::List;
    bool drawer_open_ = false;
    bool compact_ = false;
    bool laid_out_ = false;
    bool drawn_ = false;  // a view never shown needs no transition
    LayoutContext context_;

    Rect sidebar_rect_, list_rect_, detail_rect_;
    bool sidebar_visible_ = false, list_visible_ = true, detail_visible_ = true;
    std::optional<Rect> drawer_button_;
    std::optional<Rect> back_button_;

    // Presence animation between compact views.
    bool animations_enabled_ = true;
    std::optional<View> from_view_;
    bool animation_pending_ = false;
    Instant animation_start_{};
    float progress_ = 1;
    bool redraw_ = false;

    // Pointer routing: the child that took the press keeps the pointer until release.
    Widget* captured_ = nullptr;
    Widget* hovered_child_ = nullptr;
    std::optional<Point> pointer_;
    bool control_hovered_ = false;
    bool drawer_button_pressed_ = false;
    bool back_button_pressed_ = false;
};

}  // namespace mail::ui
