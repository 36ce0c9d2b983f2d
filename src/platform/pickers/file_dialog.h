#pragma once
// The system dialog behind PickRequest; kept apart so that only its .cpp sees Qt.
#include <optional>

#include "platform/pickers/pick_request.h"

namespace mail::ui::pick_detail {

// Shows the dialog on the UI thread and waits (on the calling portal thread) for its answer.
// Cancelled when there is no display to show it on; nothing when the dialog went away
// without answering.
std::optional<PickRequest::ScriptedAnswer> run_file_dialog(const PickDescription& description);

}  // namespace mail::ui::pick_detail
