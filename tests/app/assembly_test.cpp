#include "app/assembly.h"

#include <gtest/gtest.h>

namespace mail::app {
namespace {

TEST(AvatarFetcher, KeepsOnlySuccessfulBodiesUpToTwoMebibytes) {
    struct Case {
        const char* name;
        long status;
        std::size_t body_size;
        bool kept;
    };
    const Case cases[] = {
        {"ok", 200, 1234, true},
        {"exactly 2 MiB", 200, 2097152, true},
        {"one byte over", 200, 2097153, false},
        {"empty body", 200, 0, false},
        {"other 2xx", 299, 10, true},
        {"not found", 404, 10, false},
        {"redirect left unfollowed", 302, 10, false},
        {"server error", 500, 10, false},
    };
    for (const auto& c : cases) {
        auto kept = accept_image_response(c.status, std::string(c.body_size, 'x'));
        EXPECT_EQ(kept.has_value(), c.kept) << c.name;
        if (kept) EXPECT_EQ(kept->size(), c.body_size) << c.name;
    }
}

TEST(LaunchConfiguration, NamesTheProgramAndItsScenes) {
    launch::LaunchConfig config = make_launch_config();
    EXPECT_EQ(config.application_id.size(), 12u);
    EXPECT_EQ(config.scene_names.size(), 23u);
    EXPECT_TRUE(config.font_files.empty() && config.mime_types.empty() && config.url_schemes.empty() &&
                config.extra_options.empty());
    EXPECT_TRUE(config.resizable && !config.fullscreen && config.publish_accessibility && config.follow_system_scale);
    ASSERT_TRUE(config.may_close);
    EXPECT_TRUE(config.may_close());
    launch::App app;
    config.setup(app);
    EXPECT_EQ(app.window_title(), "Mail");
    EXPECT_EQ(config.window_size(launch::LaunchContext{}), (std::pair{1280, 800}));
    EXPECT_EQ(config.window_size(launch::LaunchContext{"html_mail"}), (std::pair{1280, 820}));
}

}  // namespace
}  // namespace mail::app
