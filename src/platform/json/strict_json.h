#pragma once
// JSON reading for stored formats: a repeated key anywhere is an error, not "last one wins".
// Include only from .cpp files; the JSON library stays out of widely included headers.
#include <nlohmann/json.hpp>
#include <string_view>

#include "platform/base/result.h"

namespace mail::json {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

Result<Json> parse_strict(std::string_view text);

}  // namespace mail::json
