#pragma once
// Text of message bodies: a readable plain-text rendering of HTML (for messages that carry
// only HTML) and the UTF-8 repair every decoded text goes through.
#include <string>
#include <string_view>

namespace mail::engine {

// Block elements start new lines (paragraphs, headings, lists, tables and quotes with a blank
// line between them), list items keep a marker ("• ", or "1. " in ordered lists), links keep
// their text, scripts, styles and the head are dropped, runs of white space collapse outside
// <pre>, and no-break spaces become plain spaces. Input that is not valid UTF-8 is repaired.
std::string html_to_text(std::string_view html);

// Message text arrives in whatever bytes the sender chose; the model holds only valid UTF-8.
bool is_valid_utf8(std::string_view text);
// Every byte that does not start a well-formed sequence becomes U+FFFD.
std::string repair_utf8(std::string_view text);

}  // namespace mail::engine
