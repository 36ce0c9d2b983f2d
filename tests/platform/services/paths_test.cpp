#include "platform/services/paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace mail::services {
namespace {

// Sets or clears environment variables for one test and puts them back afterwards.
class ScopedEnv {
public:
    void set(const char* name, std::optional<std::string> value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        apply(name, value);
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) apply(it->first.c_str(), it->second);
        clear_root_override();
    }

private:
    static void apply(const char* name, const std::optional<std::string>& value) {
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(Paths, FollowTheXdgRules) {
    struct Case {
        const char* name;
        std::optional<std::string> xdg_config, xdg_data, home;
        std::string config, data;
    };
    const Case cases[] = {
        {"variables-set", "/x/conf", "/x/data", "/home/u", "/x/conf/varo-mail", "/x/data/varo-mail"},
        {"home-fallback", std::nullopt, std::nullopt, "/home/u", "/home/u/.config/varo-mail", "/home/u/.local/share/varo-mail"},
        {"empty-is-unset", "", "", "/home/u", "/home/u/.config/varo-mail", "/home/u/.local/share/varo-mail"},
        {"relative-is-ignored", "conf", "data", "/home/u", "/home/u/.config/varo-mail", "/home/u/.local/share/varo-mail"},
    };
    for (const Case& c : cases) {
        ScopedEnv env;
        env.set("XDG_CONFIG_HOME", c.xdg_config);
        env.set("XDG_DATA_HOME", c.xdg_data);
        env.set("HOME", c.home);
        EXPECT_EQ(config_root(), std::filesystem::path(c.config)) << c.name;
        EXPECT_EQ(data_root(), std::filesystem::path(c.data)) << c.name;
    }
}

TEST(Paths, WithoutHomeTheUserDatabaseDecides) {
    ScopedEnv env;
    env.set("XDG_CONFIG_HOME", std::nullopt);
    env.set("HOME", std::nullopt);
    auto root = config_root();
    if (root) {
        EXPECT_TRUE(root->is_absolute());
        EXPECT_EQ(root->filename(), "varo-mail");
    }
}

TEST(Paths, GivenDirectoryHoldsConfigurationAndData) {
    ScopedEnv env;
    env.set("XDG_CONFIG_HOME", "/x/conf");
    set_root_override("/tmp/given");
    EXPECT_EQ(config_root(), std::filesystem::path("/tmp/given"));
    EXPECT_EQ(data_root(), std::filesystem::path("/tmp/given/data"));

    set_root_override("relative/dir");
    EXPECT_EQ(config_root(), std::filesystem::current_path() / "relative/dir");

    clear_root_override();
    EXPECT_EQ(config_root(), std::filesystem::path("/x/conf/varo-mail"));
}

}  // namespace
}  // namespace mail::services
