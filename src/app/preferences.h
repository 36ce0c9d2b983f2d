#pragma once
// The application's own preference file, "mail-local.json": the composer's body format.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/storage_root.h"
#include "platform/base/result.h"

namespace mail::app {

inline constexpr const char* kPreferencesFile = "mail-local.json";

// Where the file lives for this root; nothing when the root is none (or unknown).
std::optional<std::filesystem::path> preferences_path(const StorageRoot& root);

// Whether the stored format is plain text. Anything that cannot be read means rich text.
bool parse_plain_text_preference(std::string_view text);
bool load_plain_text_preference(const StorageRoot& root);

// The file's exact bytes: {"compose_format":"text"} or {"compose_format":"html"}.
std::string preferences_json(bool plain_text);

// Writes the format over the file in one write, creating the directories it needs.
Status save_plain_text_preference(const std::filesystem::path& file, bool plain_text);

}  // namespace mail::app
