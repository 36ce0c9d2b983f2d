#include "app/launch_scenes.h"

#include <algorithm>
#include <initializer_list>

namespace mail::app {

std::pair<int, int> window_size_for_scene(std::optional<std::string_view> scene) {
    const std::string_view name = scene.value_or("wide");
    auto one_of = [&](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (one_of({"narrow", "narrow_detail", "narrow_drawer", "compose_narrow", "setup_narrow"})) return {560, 860};
    if (name == "mid") return {1000, 720};
    if (one_of({"compose", "reply"})) return {1180, 820};
    if (one_of({"setup", "setup_add", "setup_oauth", "firstrun", "error"})) return {1100, 780};
    if (name == "html_mail") return {1280, 820};
    return {1280, 800};
}

}  // namespace mail::app
