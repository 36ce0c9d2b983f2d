#pragma once
#include <string_view>

namespace mail {

// Ends the process for the few states that cannot occur ("spawn mail engine worker", …).
[[noreturn]] void fatal(std::string_view message);

}  // namespace mail
