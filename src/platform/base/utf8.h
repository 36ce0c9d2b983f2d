#pragma once
// UTF-8 scalar values, strictly: overlong forms, surrogates and values past U+10FFFF are
// malformed. Text in the program is UTF-8 in std::string; these are the few primitives over it.
#include <cstddef>
#include <string>
#include <string_view>

namespace mail::utf8 {

// Decodes the scalar value at text[at]; returns its length in bytes, 0 for a malformed sequence.
std::size_t decode(std::string_view text, std::size_t at, char32_t& out);

// Appends the scalar value's encoding.
void encode(char32_t cp, std::string& out);

bool is_valid(std::string_view text);

}  // namespace mail::utf8
