#pragma once
// Launch scenes: named, ready-made states of the window over the sample mailbox, built without
// the user's accounts, files or network.
#include <string_view>

#include "app/mail_app.h"
#include "platform/launch/launch.h"

namespace mail::app {

launch::WidgetBox build_scene(const launch::LaunchContext& context);

// The scene's preset on a freshly built MailApp; unknown names change nothing.
void apply_scene_preset(MailApp& app, std::string_view scene);

}  // namespace mail::app
