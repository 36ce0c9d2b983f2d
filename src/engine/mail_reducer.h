#pragma once
// Applies a MailAction to the replica document. Called on the UI thread for every dispatched
// mail action, whether the application issued it or the action framework decoded it.
#include <string_view>

#include "core/mail_action.h"
#include "platform/base/result.h"
#include "platform/replica/document.h"

namespace mail::engine {

inline constexpr std::string_view kPurgeRefusal =
    "every message must still be present in Trash before permanent deletion";

// Each action is one change of the document: it is written whole or not at all. Ids that name
// no present message are skipped; an unknown folder role, an empty label or an empty folder
// name make the action a no-op. The only refusal is Purge's (kPurgeRefusal), unless the
// document cannot be written.
Status apply_action(persist::Document& doc, const MailAction& action);

}  // namespace mail::engine
