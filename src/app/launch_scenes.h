#pragma once
// The launch scenes the toolkit can ask for instead of the normal start, and their window sizes.
#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace mail::app {

inline constexpr std::array<std::string_view, 23> kSceneNames = {
    "wide",         "narrow",  "narrow_detail", "narrow_drawer", "mid",     "compose",
    "compose_narrow", "setup", "setup_narrow",  "setup_add",     "setup_oauth", "firstrun",
    "html_mail",    "search",  "preview",       "bulk",          "bulk_purge_confirmation",
    "reply",        "context_menu", "loading",  "empty",         "offline", "error",
};

// Width and height in whole pixels; no scene means "wide".
std::pair<int, int> window_size_for_scene(std::optional<std::string_view> scene);

}  // namespace mail::app
