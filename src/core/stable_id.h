#pragma once
// The message's identity inside the program: selection, search, actions and the replica
// document all key on it. Derived from the Message-ID where there is one, so a message keeps
// its id across refreshes.
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/uuid.h"

namespace mail {

using StableId = Uuid;

// Trims white space, strips every leading '<' and trailing '>', trims again. Nothing when the
// result is empty. Letter case is kept: Message-IDs that differ in case are different.
std::optional<std::string> normalize_message_id(std::string_view message_id);

// Two FNV-1a 64-bit hashes (different offset bases) of the trimmed, unbracketed Message-ID,
// laid out big-endian one after the other.
StableId stable_id_from_message_id(std::string_view message_id);

// A random version 4 id, for records without a Message-ID.
StableId new_stable_id();

}  // namespace mail
