#pragma once
#include <string_view>

#include "platform/base/result.h"

namespace mail::link {

// Opens a link in the user's browser or mail program and returns without waiting for it.
// Only http:, https: and mailto: links are accepted; a link with spaces or control characters
// is refused. The opener is started directly (never through a shell) as `xdg-open URL`, in its
// own session, so it outlives neither a zombie nor a terminal of ours.
//
// VARO_MAIL_OPEN_COMMAND, when set and not empty, names another program to run in place of
// xdg-open (a path, or a name looked up on PATH); it receives the URL as its only argument.
// Tests point it at a script that records what it was given.
//
// Success means the opener was started; whether the browser accepts the URL is up to it.
Status try_os_open(std::string_view url);

}  // namespace mail::link
