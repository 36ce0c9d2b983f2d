#include "app/launch_scenes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace mail::app {
namespace {

TEST(LaunchScenes, EveryNameHasItsWindowSize) {
    struct Case {
        std::optional<std::string_view> scene;
        std::pair<int, int> size;
    };
    const Case cases[] = {
        {std::nullopt, {1280, 800}},    {"wide", {1280, 800}},          {"narrow", {560, 860}},
        {"narrow_detail", {560, 860}},  {"narrow_drawer", {560, 860}},  {"compose_narrow", {560, 860}},
        {"setup_narrow", {560, 860}},   {"mid", {1000, 720}},           {"compose", {1180, 820}},
        {"reply", {1180, 820}},         {"setup", {1100, 780}},         {"setup_add", {1100, 780}},
        {"setup_oauth", {1100, 780}},   {"firstrun", {1100, 780}},      {"error", {1100, 780}},
        {"html_mail", {1280, 820}},     {"search", {1280, 800}},        {"bulk_purge_confirmation", {1280, 800}},
        {"no-such-scene", {1280, 800}}, {"Narrow", {1280, 800}},
    };
    for (const auto& c : cases) EXPECT_EQ(window_size_for_scene(c.scene), c.size) << c.scene.value_or("(none)");
}

TEST(LaunchScenes, NamesAreDistinctAndStartWithWide) {
    std::set<std::string_view> names(kSceneNames.begin(), kSceneNames.end());
    EXPECT_EQ(names.size(), kSceneNames.size());
    EXPECT_EQ(kSceneNames.front(), "wide");
    EXPECT_EQ(kSceneNames.back(), "error");
}

}  // namespace
}  // namespace mail::app
