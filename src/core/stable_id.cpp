#include "core/stable_id.h"

#include <cstdint>

#include "core/text_case.h"

namespace mail {
namespace {

std::string_view strip_brackets(std::string_view text) {
    while (!text.empty() && text.front() == '<') text.remove_prefix(1);
    while (!text.empty() && text.back() == '>') text.remove_suffix(1);
    return text;
}

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t basis) {
    std::uint64_t hash = basis;
    for (char c : bytes) {
        hash ^= static_cast<std::uint8_t>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::optional<std::string> normalize_message_id(std::string_view message_id) {
    std::string_view core = trim_white_space(strip_brackets(trim_white_space(message_id)));
    if (core.empty()) return std::nullopt;
    return std::string(core);
}

StableId stable_id_from_message_id(std::string_view message_id) {
    std::string_view core = strip_brackets(trim_white_space(message_id));
    std::uint64_t first = fnv1a(core, 0xcbf29ce484222325ULL);
    std::uint64_t second = fnv1a(core, 0x0102030405060708ULL);
    StableId id;
    for (int i = 0; i < 8; ++i) {
        id.bytes[i] = static_cast<std::uint8_t>(first >> (56 - 8 * i));
        id.bytes[8 + i] = static_cast<std::uint8_t>(second >> (56 - 8 * i));
    }
    return id;
}

StableId new_stable_id() { return Uuid::random_v4(); }

}  // namespace mail
