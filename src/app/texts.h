#pragma once
// The program's user-facing texts, looked up through the toolkit's localisation by key.
#include <string>
#include <string_view>

#include "platform/i18n/i18n.h"

namespace mail::app {

// The Fluent resource, exactly as shipped.
std::string_view fluent_resource();

// Registers the resource for this thread before the first lookup, then looks the key up.
std::string text(std::string_view key);
std::string text(std::string_view key, const i18n::FluentArgs& args);

}  // namespace mail::app
