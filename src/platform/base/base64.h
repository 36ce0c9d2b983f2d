#pragma once
// Base64 (RFC 4648): the standard alphabet with padding, and the URL-safe one without.
#include <optional>
#include <string>
#include <string_view>

namespace mail::base64 {

std::string encode(std::string_view bytes);
// URL-safe alphabet, no padding (PKCE verifiers, state values).
std::string encode_url(std::string_view bytes);

// Strict: stops at the first '=', and any other byte outside the alphabet is malformed.
std::optional<std::string> decode(std::string_view text);
// Lenient, as MIME decoders are: bytes outside the alphabet are skipped.
void decode_lenient_append(std::string_view text, std::string& out);

}  // namespace mail::base64
