#pragma once
// Small text helpers the model needs: trimming and case folding of UTF-8 text.
#include <string>
#include <string_view>

namespace mail {

// Removes Unicode white space from both ends.
std::string_view trim_white_space(std::string_view text);
std::string_view trim_white_space_start(std::string_view text);

// Simple (one-to-one) lower-casing of ASCII, Latin, Greek, Cyrillic, Armenian and full-width
// Latin letters; every other code point and any malformed byte is kept as it is.
std::string to_lower(std::string_view text);
// Appends the lower-cased text to out, so hot loops can reuse one buffer.
void append_lower(std::string_view text, std::string& out);

// Compares the start of text with an ASCII prefix without regard to ASCII letter case.
// Only A-Z lower-cased; every other byte kept.
std::string to_ascii_lower(std::string_view text);
bool starts_with_ascii_ci(std::string_view text, std::string_view prefix);

}  // namespace mail
