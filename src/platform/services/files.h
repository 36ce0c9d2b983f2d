#pragma once
// Whole-file reads and atomic replacement. Every file the program replaces goes through
// write_file_atomic, so a crash or a full disk leaves either the old file or the new one.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace mail::services {

// Writes a temporary file beside `path`, fsyncs it, renames it over `path` and fsyncs the
// directory. Parent directories are created. The file gets exactly `mode` before its first byte
// is written, so a secret is never readable by others, not even briefly. On failure the old
// file is left as it was and the temporary file is removed.
Status write_file_atomic(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0644);

// The whole file; nothing when it does not exist; an error naming the file for anything else
// (no permission, a directory, a read failure).
Result<std::optional<std::string>> read_file(const std::filesystem::path& path);

}  // namespace mail::services
