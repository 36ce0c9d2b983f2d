#include "platform/ui/nav_shell.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/offscreen.h"
#include "platform/ui/theme.h"

namespace mail::ui {
namespace {

// A pane that records what reaches it.
class Probe : public Widget {
public:
    explicit Probe(std::string name, bool takes_keys = false) : name_(std::move(name)), takes_keys_(takes_keys) {}
    std::vector<std::string> seen;

    void draw(Painter&, const Theme&) override {}
    EventResult handle_event(const Event& event) override {
        if (std::holds_alternative<PointerPress>(event)) seen.push_back("press");
        if (std::holds_alternative<PointerRelease>(event)) seen.push_back("release");
        if (std::holds_alternative<PointerMove>(event)) seen.push_back("move");
        if (std::holds_alternative<PointerLeave>(event)) seen.push_back("leave");
        if (std::holds_alternative<KeyPress>(event)) {
            seen.push_back("key");
            return takes_keys_ ? EventResult::Handled : EventResult::Ignored;
        }
        return EventResult::Handled;
    }
    std::string_view debug_type_name() const override { return name_; }

private:
    std::string name_;
    bool takes_keys_;
};

struct Fixture {
    Probe* sidebar;
    Probe* list;
    Probe* detail;
    NavShell shell;

    static Fixture make(bool with_sidebar = true) {
        auto s = std::make_unique<Probe>("sidebar");
        auto l = std::make_unique<Probe>("list", true);
        auto d = std::make_unique<Probe>("detail");
        Probe* sp = s.get();
        Probe* lp = l.get();
        Probe* dp = d.get();
        NavShell shell = NavShell::create(std::move(l), std::move(d));
        if (with_sidebar) shell.with_sidebar(std::move(s));
        return Fixture{with_sidebar ? sp : nullptr, lp, dp, std::move(shell)};
    }

    void layout(float width, float height = 800, float text_scale = 1) {
        shell.apply_layout({0, 0, width, height}, LayoutContext{{width, height}, text_scale});
    }
};

// Shows the shell once, as the window's first frame does.
void draw_once(NavShell& shell) {
    const auto png = std::filesystem::temp_directory_path() / ("nav-shell-frame-" + std::to_string(::getpid()) + ".png");
    const Theme theme = Theme::dark();
    ASSERT_TRUE(render_png(shell.bounds().size(), 1, [&](Painter& p) { shell.draw_with_presence(p, theme); }, png).ok());
    std::filesystem::remove(png);
}

PointerRelease release_at(Point p) {
    PointerRelease r;
    r.position = p;
    return r;
}

PointerPress press_at(float x, float y) {
    PointerPress p;
    p.position = {x, y};
    return p;
}

TEST(NavShellLayout, WideWindowPlacesSidebarListAndDetailSideBySide) {
    Fixture f = Fixture::make();
    f.layout(1280);
    EXPECT_FALSE(f.shell.is_compact());
    EXPECT_EQ(f.sidebar->bounds(), (Rect{0, 0, 240, 800}));
    EXPECT_EQ(f.list->bounds(), (Rect{240, 0, 560, 800}));
    EXPECT_EQ(f.detail->bounds(), (Rect{560, 0, 1280, 800}));
    EXPECT_TRUE(f.shell.sidebar_open());
    EXPECT_FALSE(f.shell.detail_open());
    EXPECT_FALSE(f.shell.drawer_button_rect());
    EXPECT_FALSE(f.shell.back_button_rect());

    // The program's own widths.
    f.shell.set_sidebar_width(260);
    f.shell.set_list_width(340);
    f.shell.set_collapse_width(860);
    f.layout(1000, 720);
    EXPECT_EQ(f.list->bounds(), (Rect{260, 0, 600, 720}));
    EXPECT_EQ(f.detail->bounds(), (Rect{600, 0, 1000, 720}));
}

TEST(NavShellLayout, CompactBoundaryScalesWithTheTextScale) {
    struct Case {
        float width, text_scale;
        bool compact;
    };
    const Case cases[] = {{719, 1, true}, {720, 1, false}, {1079, 1.5f, true}, {1080, 1.5f, false}, {719, 0.5f, true},
                          {720, 0.5f, false}};
    for (const auto& c : cases) {
        Fixture f = Fixture::make();
        f.layout(c.width, 800, c.text_scale);
        EXPECT_EQ(f.shell.is_compact(), c.compact) << c.width << " at scale " << c.text_scale;
    }
}

TEST(NavShellLayout, CompactWindowShowsOnePaneWithItsControl) {
    Fixture f = Fixture::make();
    f.layout(560, 860);
    EXPECT_TRUE(f.shell.is_compact());
    EXPECT_EQ(f.shell.list_rect(), (Rect{0, 0, 560, 860}));
    EXPECT_FALSE(f.shell.detail_rect());
    EXPECT_FALSE(f.shell.sidebar_rect());
    EXPECT_FALSE(f.shell.sidebar_open());
    EXPECT_FALSE(f.shell.detail_open());
    EXPECT_EQ(f.shell.drawer_button_rect(), (Rect{12, 12, 48, 48}));
    EXPECT_FALSE(f.shell.back_button_rect());

    f.shell.snap(NavTarget::Detail);
    EXPECT_TRUE(f.shell.detail_open());
    EXPECT_EQ(f.shell.detail_rect(), (Rect{0, 0, 560, 860}));
    EXPECT_FALSE(f.shell.list_rect());
    EXPECT_FALSE(f.shell.drawer_button_rect());
    EXPECT_EQ(f.shell.back_button_rect(), (Rect{12, 12, 106, 44}));

    f.shell.snap_sidebar();
    EXPECT_TRUE(f.shell.sidebar_open());
    EXPECT_FALSE(f.shell.detail_open());  // the drawer opens over the list
    EXPECT_EQ(f.shell.sidebar_rect(), (Rect{0, 0, 240, 860}));
    EXPECT_EQ(f.shell.list_rect(), (Rect{0, 0, 560, 860}));

    f.shell.close_sidebar();
    EXPECT_FALSE(f.shell.sidebar_open());
    EXPECT_EQ(f.shell.target(), NavTarget::List);
}

TEST(NavShellLayout, DrawerLeavesSomeOfTheListUncoveredInATinyWindow) {
    Fixture f = Fixture::make();
    f.shell.snap_sidebar();  // before the first layout, as a launch preset does
    f.layout(280);
    EXPECT_TRUE(f.shell.sidebar_open());
    EXPECT_EQ(f.shell.sidebar_rect(), (Rect{0, 0, 224, 800}));
}

TEST(NavShellLayout, WithoutASidebarThereIsNoDrawer) {
    Fixture f = Fixture::make(false);
    f.layout(1280);
    EXPECT_EQ(f.list->bounds(), (Rect{0, 0, 320, 800}));
    EXPECT_FALSE(f.shell.sidebar_open());
    f.shell.snap_sidebar();
    f.layout(500);
    EXPECT_FALSE(f.shell.sidebar_open());
    EXPECT_FALSE(f.shell.drawer_button_rect());
    EXPECT_EQ(f.shell.children_mut().size(), 2u);
}

TEST(NavShellState, WideWindowIgnoresTheDrawerAndWideningClosesIt) {
    Fixture f = Fixture::make();
    f.layout(560);
    f.shell.snap_sidebar();
    EXPECT_TRUE(f.shell.sidebar_open());
    f.layout(1280);
    EXPECT_TRUE(f.shell.sidebar_open());  // beside the list
    f.shell.close_sidebar();
    EXPECT_TRUE(f.shell.sidebar_open());  // a wide window always shows it
    f.layout(560);
    EXPECT_FALSE(f.shell.sidebar_open());  // the drawer does not spring back open
}

TEST(NavShellInput, ControlsAndBackdropAreTheShellsOwn) {
    Fixture f = Fixture::make();
    f.layout(560);
    // The drawer button opens the drawer; the list never sees that press.
    EXPECT_EQ(f.shell.handle_event(press_at(30, 30)), EventResult::Handled);
    f.shell.handle_event(release_at({30, 30}));
    EXPECT_TRUE(f.shell.sidebar_open());
    EXPECT_TRUE(f.list->seen.empty());
    // A press inside the drawer goes to the sidebar; on the backdrop it closes the drawer.
    f.shell.handle_event(press_at(100, 300));
    EXPECT_EQ(f.sidebar->seen, (std::vector<std::string>{"press"}));
    f.shell.handle_event(release_at({100, 300}));
    f.shell.handle_event(press_at(400, 300));
    EXPECT_FALSE(f.shell.sidebar_open());
    EXPECT_TRUE(f.list->seen.empty());

    f.shell.snap(NavTarget::Detail);
    EXPECT_EQ(f.shell.handle_event(press_at(50, 28)), EventResult::Handled);  // back
    EXPECT_FALSE(f.shell.detail_open());
    EXPECT_TRUE(f.detail->seen.empty());
}

TEST(NavShellInput, PointerGoesToThePaneUnderItAndStaysWithThePressedOne) {
    Fixture f = Fixture::make();
    f.layout(1280);
    f.shell.handle_event(press_at(300, 100));
    EXPECT_EQ(f.list->seen, (std::vector<std::string>{"press"}));
    // A drag that leaves the list still belongs to it, through the release.
    f.shell.handle_event(PointerMove{{900, 100}, {}});
    f.shell.handle_event(release_at({900, 100}));
    EXPECT_EQ(f.list->seen, (std::vector<std::string>{"press", "move", "release"}));
    EXPECT_TRUE(f.detail->seen.empty());
    // Hover moves tell the pane that was left.
    f.shell.handle_event(PointerMove{{100, 100}, {}});
    f.shell.handle_event(PointerMove{{900, 100}, {}});
    EXPECT_EQ(f.sidebar->seen, (std::vector<std::string>{"move", "leave"}));
    EXPECT_EQ(f.detail->seen, (std::vector<std::string>{"move"}));
}

TEST(NavShellInput, KeysGoToShownPanesUntilOneTakesThem) {
    Fixture f = Fixture::make();
    f.layout(1280);
    EXPECT_EQ(f.shell.handle_event(KeyPress{"a", "a", {}, false}), EventResult::Handled);
    EXPECT_EQ(f.sidebar->seen, (std::vector<std::string>{"key"}));
    EXPECT_EQ(f.list->seen, (std::vector<std::string>{"key"}));
    EXPECT_TRUE(f.detail->seen.empty());  // the list took it

    Fixture compact = Fixture::make();
    compact.layout(560);
    compact.shell.snap(NavTarget::Detail);
    EXPECT_EQ(compact.shell.handle_event(KeyPress{"a", "a", {}, false}), EventResult::Ignored);
    EXPECT_TRUE(compact.list->seen.empty());  // hidden
    EXPECT_EQ(compact.detail->seen, (std::vector<std::string>{"key"}));

    compact.shell.snap_sidebar();
    EXPECT_EQ(compact.shell.handle_event(KeyPress{"Escape", "", {}, false}), EventResult::Handled);
    EXPECT_FALSE(compact.shell.sidebar_open());
}

TEST(NavShellPresence, CompactViewChangesAnimateBriefly) {
    Fixture f = Fixture::make();
    f.layout(560);
    draw_once(f.shell);
    EXPECT_FALSE(f.shell.needs_animation_frame());
    f.shell.snap(NavTarget::Detail);
    EXPECT_TRUE(f.shell.needs_animation_frame());
    EXPECT_TRUE(f.shell.detail_open());  // the state changes at once; only the drawing follows
    const Instant t0 = Clock::now();
    f.shell.sync(FrameContext{t0});
    f.shell.sync(FrameContext{t0 + std::chrono::milliseconds(100)});
    EXPECT_TRUE(f.shell.needs_animation_frame());
    draw_once(f.shell);  // mid-way through
    f.shell.sync(FrameContext{t0 + std::chrono::milliseconds(400)});
    EXPECT_FALSE(f.shell.needs_animation_frame());

    f.shell.snap_sidebar();
    EXPECT_TRUE(f.shell.needs_animation_frame());
}

TEST(NavShellPresence, ViewsNeverShownAndWideWindowsSnapAtOnce) {
    // A launch preset snaps after the first layout but before the first frame is drawn.
    Fixture preset = Fixture::make();
    preset.layout(560);
    preset.shell.snap(NavTarget::Detail);
    EXPECT_FALSE(preset.shell.needs_animation_frame());
    EXPECT_TRUE(preset.shell.detail_open());

    Fixture wide = Fixture::make();
    wide.layout(1280);
    draw_once(wide.shell);
    wide.shell.snap(NavTarget::Detail);
    EXPECT_FALSE(wide.shell.needs_animation_frame());

    Fixture still = Fixture::make();
    still.shell.set_animations_enabled(false);
    still.layout(560);
    draw_once(still.shell);
    still.shell.snap_sidebar();
    EXPECT_FALSE(still.shell.needs_animation_frame());
}

TEST(NavShellAccess, ControlsArePublishedWithKeys) {
    Fixture f = Fixture::make();
    f.layout(560);
    AccessNode tree = f.shell.accessibility();
    const AccessNode* drawer = tree.find_key(NavShell::drawer_key);
    ASSERT_NE(drawer, nullptr);
    EXPECT_EQ(drawer->expanded, false);
    EXPECT_TRUE(f.shell.perform_semantic_action({NavShell::drawer_key, SemanticKind::Expand, ""}));
    EXPECT_TRUE(f.shell.sidebar_open());
    f.shell.snap(NavTarget::Detail);
    EXPECT_NE(f.shell.accessibility().find_key(NavShell::back_key), nullptr);
    EXPECT_TRUE(f.shell.perform_semantic_action({NavShell::back_key, SemanticKind::Activate, ""}));
    EXPECT_FALSE(f.shell.detail_open());
}

}  // namespace
}  // namespace mail::ui
