#include "platform/base/utf8.h"

#include <cstdint>

namespace mail::utf8 {

std::size_t decode(std::string_view text, std::size_t at, char32_t& out) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    std::uint8_t b0 = byte(at);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t len = b0 >= 0xf0 ? 4 : b0 >= 0xe0 ? 3 : b0 >= 0xc0 ? 2 : 0;
    if (len == 0 || b0 > 0xf4 || at + len > text.size()) return 0;
    char32_t cp = b0 & (0x7f >> len);
    for (std::size_t i = 1; i < len; ++i) {
        std::uint8_t b = byte(at + i);
        if ((b & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3f);
    }
    static constexpr char32_t min_for_len[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < min_for_len[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
    out = cp;
    return len;
}

void encode(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

bool is_valid(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        char32_t cp;
        std::size_t len = decode(text, at, cp);
        if (len == 0) return false;
        at += len;
    }
    return true;
}

}  // namespace mail::utf8
