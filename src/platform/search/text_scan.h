#pragma once
// Code point level helpers shared by the text rules and the index. Private to the library.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/search/search_text.h"

namespace mail::search::detail {

// Decodes the code point at pos and moves pos past it. A byte that does not start a valid,
// shortest-form sequence yields U+FFFD and moves one byte.
char32_t decode_utf8(std::string_view text, std::size_t& pos);

void append_utf8(std::string& out, char32_t cp);

// Whether cp (of folded text) belongs to a token.
bool is_word_char(char32_t cp);

inline bool is_ascii_word(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

// Calls fn(std::string_view token) for every token of folded text, repeats included.
template <typename Fn>
void for_each_token(std::string_view text, Fn&& fn) {
    std::size_t pos = 0;
    std::size_t start = 0;
    std::size_t end = 0;  // end of the kept part of the current token
    std::size_t chars = 0;
    bool in_token = false;
    while (pos < text.size()) {
        std::size_t at = pos;
        unsigned char byte = static_cast<unsigned char>(text[pos]);
        bool word;
        if (byte < 0x80) {
            word = is_ascii_word(byte);
            ++pos;
        } else {
            word = is_word_char(decode_utf8(text, pos));
        }
        if (word) {
            if (!in_token) {
                in_token = true;
                start = at;
                chars = 0;
            }
            if (chars < max_token_chars) {
                ++chars;
                end = pos;
            }
        } else if (in_token) {
            in_token = false;
            fn(text.substr(start, end - start));
        }
    }
    if (in_token) fn(text.substr(start, end - start));
}

// Three code points packed into one number (21 bits each).
using GramKey = std::uint64_t;

constexpr GramKey gram_key(char32_t a, char32_t b, char32_t c) {
    return (static_cast<GramKey>(a) << 42) | (static_cast<GramKey>(b) << 21) | c;
}

// Calls fn(GramKey) for every trigram of one token, repeats included.
template <typename Fn>
void for_each_gram(std::string_view token, Fn&& fn) {
    std::size_t pos = 0;
    char32_t a = 0;
    char32_t b = 0;
    std::size_t seen = 0;
    while (pos < token.size()) {
        char32_t c = decode_utf8(token, pos);
        if (++seen >= 3) fn(gram_key(a, b, c));
        a = b;
        b = c;
    }
}

std::size_t char_count(std::string_view text);

}  // namespace mail::search::detail
