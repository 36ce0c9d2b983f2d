#pragma once
// The system clipboard's plain text. Without an application object the text stays inside
// the process, so copy and paste still work between the program's own inputs.
#include <string>
#include <string_view>

namespace mail::ui {

std::string clipboard_text();
void set_clipboard_text(std::string_view text);

}  // namespace mail::ui
