#pragma once
// The widget gallery: PNGs of every toolkit widget in its states, for review.
#include <filesystem>

#include "platform/base/result.h"

namespace mail::ui {

// Writes one PNG per subject ("buttons.png", "icons.png", …) into `dir`, creating it.
Status write_gallery(const std::filesystem::path& dir);

}  // namespace mail::ui
