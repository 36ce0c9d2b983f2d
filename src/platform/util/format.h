#pragma once
#include <cstdint>
#include <string>

namespace mail::format {

// A byte count for people: "0 B", "512 B", "1.0 KB", "500 KB", "1.2 MB", "3.4 GB".
// Units are binary (1 KB = 1024 bytes), as mail clients and the attachment limits count them.
// Below 10 of a unit one decimal is shown, from 10 up none; values round half up, and a value
// that rounds to 1024 of a unit is written in the next unit ("1.0 MB", not "1024 KB").
std::string bytes(std::uint64_t count);

}  // namespace mail::format
