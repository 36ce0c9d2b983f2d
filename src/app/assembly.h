#pragma once
// Putting the program together: the launch configuration, the normal start and the scenes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/launch/launch.h"

namespace mail::app {

inline constexpr std::size_t kMaxAvatarBytes = 2 * 1024 * 1024;

// What the avatar fetcher keeps of an HTTP answer: a 2xx body of 1 byte to 2 MiB, else nothing.
std::optional<std::vector<std::uint8_t>> accept_image_response(long status, const std::string& body);

// The normal start: accounts, image store, shared state, then MailApp.
launch::WidgetBox build_normal_start();

launch::LaunchConfig make_launch_config();

}  // namespace mail::app
