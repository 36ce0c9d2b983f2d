#include "platform/ui/empty_state.h"

#include <gtest/gtest.h>

#include "platform/ui/offscreen.h"

namespace mail::ui {
namespace {

class EmptyStateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensure_gui_application(); }
};

PointerPress press_at(Point p) {
    PointerPress press;
    press.position = p;
    return press;
}

TEST_F(EmptyStateTest, PressingTheButtonInvokesItsActionOnce) {
    EmptyState welcome(IconName::Envelope, "Welcome to Mail", "Add your email account to start reading and sending mail.");
    welcome.with_button("Add account", "mail.add-account");
    welcome.apply_layout({0, 0, 1280, 800}, LayoutContext{{1280, 800}, 1});

    EXPECT_EQ(welcome.handle_event(press_at({5, 5})), EventResult::Ignored);
    EXPECT_FALSE(welcome.take_control_invocation());

    auto at = welcome.layout_in({0, 0, 1280, 800}).buttons.at(0).center();
    EXPECT_EQ(welcome.handle_event(press_at(at)), EventResult::Handled);
    auto invocation = welcome.take_control_invocation();
    ASSERT_TRUE(invocation);
    EXPECT_EQ(invocation->action, "mail.add-account");
    EXPECT_FALSE(welcome.take_control_invocation());
}

TEST_F(EmptyStateTest, SemanticActivationAndAvailability) {
    EmptyState state(IconName::Inbox, "Title", "Text");
    state.with_button("Add account", "mail.add-account").with_secondary_button("Later", "app.later");
    state.apply_layout({0, 0, 600, 400}, LayoutContext{{600, 400}, 1});

    AccessNode node = state.accessibility();
    EXPECT_EQ(node.label, "Title");
    EXPECT_EQ(node.description, "Text");
    const AccessNode* button = node.find_key("mail.add-account");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->role, AccessRole::Button);
    EXPECT_EQ(button->label, "Add account");
    ASSERT_TRUE(button->bounds);
    EXPECT_TRUE(state.layout_in({0, 0, 600, 400}).buttons[0] == *button->bounds);

    EXPECT_TRUE(state.perform_semantic_action({"app.later", SemanticKind::Activate, ""}));
    EXPECT_EQ(state.take_control_invocation()->action, "app.later");
    EXPECT_FALSE(state.perform_semantic_action({"nothing", SemanticKind::Activate, ""}));

    state.set_button_available("mail.add-account", false);
    EXPECT_FALSE(state.perform_semantic_action({"mail.add-account", SemanticKind::Activate, ""}));
    state.press(button->bounds->center());
    EXPECT_FALSE(state.take_control_invocation());
    EXPECT_EQ(state.accessibility().find_key("mail.add-account")->disabled, true);
    auto bindings = state.control_action_bindings();
    ASSERT_EQ(bindings.size(), 2u);
    EXPECT_FALSE(bindings[0].available);
}

TEST_F(EmptyStateTest, ContentStaysInsideASmallArea) {
    EmptyState state(IconName::Inbox, "No messages in this folder",
                     "Messages moved here will appear in this list, and a much longer explanation wraps onto lines.");
    state.with_button("Refresh", "mail.refresh");
    const Rect area{100, 50, 380, 450};
    auto layout = state.layout_in(area);
    EXPECT_GE(layout.text_lines.size(), 2u);
    for (const Rect& r : layout.text_lines) {
        EXPECT_GE(r.x0, area.x0);
        EXPECT_LE(r.x1, area.x1);
    }
    EXPECT_GE(layout.icon_badge.y0, area.y0);
    EXPECT_LE(layout.buttons[0].y1, area.y1);
    EXPECT_LT(layout.icon_badge.y1, layout.title.y0);
    EXPECT_LT(layout.title.y1, layout.text_lines[0].y1);
}

}  // namespace
}  // namespace mail::ui
