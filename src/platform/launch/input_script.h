#pragma once
// Scripted input for automation (--input FILE): one JSON object per line.
//   {"key":"ArrowDown","mods":["shift"]}  {"text":"hello"}  {"click":[x,y]}  {"move":[x,y]}
//   {"wheel":[dx,dy]}  {"wait_ms":100}  {"wait_idle":5}
//   {"semantic":"ID"} (activate), {"semantic":"ID","kind":"focus|expand|collapse|set_value","value":"…"}
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/base/result.h"
#include "platform/ui/event.h"
#include "platform/ui/widget.h"

namespace mail::launch {

struct WaitMs {
    int milliseconds = 0;
};
struct WaitIdle {
    double seconds = 0;
};

struct InputStep {
    int line = 0;  // 1-based line of the file, for messages
    std::variant<std::vector<ui::Event>, WaitMs, WaitIdle, ui::SemanticAction> action;
};

// A line that cannot be read fails the whole script with a message naming the line.
Result<std::vector<InputStep>> parse_input_script(std::string_view text);

}  // namespace mail::launch
