#pragma once
#include <string_view>

namespace mail::engine {

// The MIME type for a file name, from its extension (the text after the last '.', or the whole
// name when it has none), compared after ASCII lower-casing. Anything unknown is
// "application/octet-stream".
std::string_view mime_for_name(std::string_view file_name);

}  // namespace mail::engine
