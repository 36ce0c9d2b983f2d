#include "platform/base/uuid.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/base/fatal.h"

namespace mail {

Uuid Uuid::random_v4() {
    Uuid id;
    std::size_t filled = 0;
    while (filled < id.bytes.size()) {
        ssize_t n = getrandom(id.bytes.data() + filled, id.bytes.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            fatal("read the system random source");
        }
        filled += static_cast<std::size_t>(n);
    }
    id.bytes[6] = static_cast<std::uint8_t>((id.bytes[6] & 0x0f) | 0x40);
    id.bytes[8] = static_cast<std::uint8_t>((id.bytes[8] & 0x3f) | 0x80);
    return id;
}

std::string Uuid::to_string() const {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out.push_back('-');
        out.push_back(hex[bytes[i] >> 4]);
        out.push_back(hex[bytes[i] & 0x0f]);
    }
    return out;
}

std::optional<Uuid> Uuid::parse(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    Uuid id;
    std::size_t at = 0;
    for (std::size_t i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        id.bytes[at++] = static_cast<std::uint8_t>(hi << 4 | lo);
        i += 2;
    }
    return id;
}

bool Uuid::is_nil() const {
    for (auto b : bytes)
        if (b != 0) return false;
    return true;
}

}  // namespace mail
