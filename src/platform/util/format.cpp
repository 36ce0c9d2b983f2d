#include "platform/util/format.h"

#include <array>

namespace mail::format {

std::string bytes(std::uint64_t count) {
    if (count < 1024) return std::to_string(count) + " B";
    static constexpr std::array<const char*, 6> units = {"KB", "MB", "GB", "TB", "PB", "EB"};
    // 128-bit so that tenths of the largest counts cannot overflow.
    using Wide = unsigned __int128;
    Wide unit = 1;
    for (std::size_t k = 0; k < units.size(); ++k) {
        unit *= 1024;
        const Wide tenths = (Wide(count) * 10 + unit / 2) / unit;
        if (tenths < 100) {
            const auto t = static_cast<unsigned>(tenths);
            return std::to_string(t / 10) + "." + std::to_string(t % 10) + " " + units[k];
        }
        const Wide whole = (Wide(count) + unit / 2) / unit;
        if (whole < 1024 || k + 1 == units.size())
            return std::to_string(static_cast<std::uint64_t>(whole)) + " " + units[k];
    }
    return {};  // not reached: the last unit always answers
}

}  // namespace mail::format
