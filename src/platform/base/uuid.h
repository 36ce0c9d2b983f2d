#pragma once
#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mail {

// A 16-byte identifier written in the hyphenated lower-case form.
struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random_v4();
    static std::optional<Uuid> parse(std::string_view text);
    std::string to_string() const;
    bool is_nil() const;

    friend auto operator<=>(const Uuid&, const Uuid&) = default;
};

}  // namespace mail

template <>
struct std::hash<mail::Uuid> {
    std::size_t operator()(const mail::Uuid& id) const noexcept {
        std::uint64_t h = 0;
        for (int i = 0; i < 8; ++i) h = (h << 8) | id.bytes[i];
        std::uint64_t l = 0;
        for (int i = 8; i < 16; ++i) l = (l << 8) | id.bytes[i];
        return static_cast<std::size_t>(h ^ (l * 0x9e3779b97f4a7c15ULL));
    }
};
