#pragma once
// The stored JSON files of the account services: an object with a "version". Internal to the
// services; include only from their .cpp files.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/json/strict_json.h"

namespace mail::services {

// "damaged <what> <file>: <detail>" — a damaged file is reported, never replaced.
Error damaged_file(std::string_view what, const std::filesystem::path& file, const std::string& detail);

// The file's object when it exists and carries this version; nothing when it is missing.
Result<std::optional<json::Json>> read_versioned_json(const std::filesystem::path& file, std::string_view what,
                                                      int version);

}  // namespace mail::services
