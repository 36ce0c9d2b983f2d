#pragma once
// Small UTF-8 helpers shared by the text code. Every byte that does not start a well-formed
// sequence counts as one character of its own, so offsets always move forward.
#include <cstddef>
#include <string>
#include <string_view>

namespace mail::ui::utf8 {

inline bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence that starts at `i`, or 0 when none starts there.
inline std::size_t sequence_length(std::string_view s, std::size_t i) {
    if (i >= s.size()) return 0;
    auto at = [&](std::size_t k) -> unsigned { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0u; };
    unsigned b0 = at(0);
    if (b0 < 0x80) return 1;
    auto in = [](unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; };
    if (in(b0, 0xC2, 0xDF)) return in(at(1), 0x80, 0xBF) ? 2 : 0;
    if (in(b0, 0xE0, 0xEF)) {
        unsigned lo = b0 == 0xE0 ? 0xA0 : 0x80;
        unsigned hi = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
        return in(at(1), lo, hi) && in(at(2), 0x80, 0xBF) ? 3 : 0;
    }
    if (in(b0, 0xF0, 0xF4)) {
        unsigned lo = b0 == 0xF0 ? 0x90 : 0x80;
        unsigned hi = b0 == 0xF4 ? 0x8F : 0xBF;
        return in(at(1), lo, hi) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

// The scalar at `i` and its length in bytes; an ill-formed byte gives U+FFFD and length 1.
inline char32_t decode(std::string_view s, std::size_t i, std::size_t& length) {
    std::size_t n = sequence_length(s, i);
    auto b = [&](std::size_t k) -> char32_t { return static_cast<unsigned char>(s[i + k]); };
    switch (n) {
    case 1: length = 1; return b(0);
    case 2: length = 2; return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3: length = 3; return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    case 4: length = 4; return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    default: length = 1; return 0xFFFD;
    }
}

// The start of the character that contains byte `i` (i itself when a character starts there).
inline std::size_t char_start(std::string_view s, std::size_t i) {
    if (i >= s.size() || !is_continuation(static_cast<unsigned char>(s[i]))) return i;
    for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
        std::size_t start = i - back;
        std::size_t n = sequence_length(s, start);
        if (n > back) return start;
        if (!is_continuation(static_cast<unsigned char>(s[start]))) break;
    }
    return i;
}

// Unicode White_Space.
inline bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

inline void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace mail::ui::utf8
