#include "platform/actionfw/action_host.h"

#include <gtest/gtest.h>

#include "platform/log/log.h"
#include "platform/replica/document.h"

namespace mail::actionfw {
namespace {

TEST(HumanizeIdentifier, MakesVariantAndKeyNamesReadable) {
    EXPECT_EQ(humanize_identifier("SetRead"), "Set read");
    EXPECT_EQ(humanize_identifier("DiscardDraft"), "Discard draft");
    EXPECT_EQ(humanize_identifier("add_label"), "Add label");
    EXPECT_EQ(humanize_identifier("archive-messages"), "Archive messages");
    EXPECT_EQ(humanize_identifier("Purge"), "Purge");
    EXPECT_EQ(humanize_identifier(""), "");
}

TEST(ActionHost, AppliesThroughTheRegistrationAndLogsAFailedDispatch) {
    ActionRegistry registry;
    std::string applied;
    registry.register_kind("test.action", [&](persist::Document&, std::string_view payload) -> Status {
        if (payload == "bad") return make_error("test.action: not an action");
        applied = payload;
        return {};
    });
    ActionHost host(registry);
    persist::Document document = persist::open_in_memory();
    ActionContext context{"io.varo.mail", "Mail", "Set read"};

    auto capture = log::capture();
    EXPECT_TRUE(host.dispatch_with_context(document, {"test.action", "{\"x\":1}"}, context).ok());
    EXPECT_EQ(applied, "{\"x\":1}");

    auto refused = host.dispatch_with_context(document, {"test.action", "bad"}, context);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error_text(), "test.action: not an action");
    auto unknown = host.dispatch_with_context(document, {"other.action", "{}"}, context);
    ASSERT_FALSE(unknown.ok());
    EXPECT_EQ(capture.count("platform::actions", log::Level::Warn, "action dispatch failed"), 2u);
    EXPECT_FALSE(registry.has_kind("other.action"));
}

}  // namespace
}  // namespace mail::actionfw
