#pragma once
// Mailbox actions as the action framework carries them: the "mail.action" registration, and
// the application issuing its own local changes. UI thread, while the replica document is held.
#include "core/mail_action.h"
#include "platform/actionfw/action_host.h"
#include "platform/replica/document.h"

namespace mail::app {

inline constexpr const char* kApplicationId = "io.varo.mail";

// Decodes a "mail.action" payload and applies it with the reducer; a payload that does not
// decode is answered with the operation type and the JSON error.
void register_mail_actions(actionfw::ActionRegistry& registry);

// Dispatches one of the application's own changes; a failure is only logged by the host.
void issue_action(persist::Document& replica, const actionfw::ActionHost& host, const MailAction& action);

}  // namespace mail::app
