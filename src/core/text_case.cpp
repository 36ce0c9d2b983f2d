#include "core/text_case.h"

#include <cstdint>

#include "platform/base/utf8.h"

namespace mail {
namespace {

using utf8::decode;
using utf8::encode;

bool is_white_space(char32_t cp) {
    return (cp >= 0x09 && cp <= 0x0d) || cp == 0x20 || cp == 0x85 || cp == 0xa0 || cp == 0x1680 ||
           (cp >= 0x2000 && cp <= 0x200a) || cp == 0x2028 || cp == 0x2029 || cp == 0x202f ||
           cp == 0x205f || cp == 0x3000;
}

// Pairs laid out as upper, lower, upper, lower… starting at an even or odd code point.
bool in_pair_block(char32_t cp, char32_t first, char32_t last) {
    return cp >= first && cp <= last && ((cp - first) % 2 == 0);
}

char32_t lower(char32_t cp) {
    if (cp < 0x80) return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    if (cp >= 0xc0 && cp <= 0xde && cp != 0xd7) return cp + 32;
    if (cp == 0x130) return 'i';
    if (cp == 0x178) return 0xff;
    if (in_pair_block(cp, 0x100, 0x12e) || in_pair_block(cp, 0x132, 0x136) ||
        in_pair_block(cp, 0x139, 0x147) || in_pair_block(cp, 0x14a, 0x176) ||
        in_pair_block(cp, 0x179, 0x17d))
        return cp + 1;
    // Greek
    if (cp == 0x386) return 0x3ac;
    if (cp >= 0x388 && cp <= 0x38a) return cp + 37;
    if (cp == 0x38c) return 0x3cc;
    if (cp == 0x38e || cp == 0x38f) return cp + 63;
    if (cp >= 0x391 && cp <= 0x3ab && cp != 0x3a2) return cp + 32;
    // Cyrillic
    if (cp >= 0x400 && cp <= 0x40f) return cp + 80;
    if (cp >= 0x410 && cp <= 0x42f) return cp + 32;
    if (in_pair_block(cp, 0x460, 0x480) || in_pair_block(cp, 0x48a, 0x4be) ||
        in_pair_block(cp, 0x4d0, 0x52e))
        return cp + 1;
    if (cp == 0x4c0) return 0x4cf;
    if (in_pair_block(cp, 0x4c1, 0x4cd)) return cp + 1;
    // Armenian
    if (cp >= 0x531 && cp <= 0x556) return cp + 48;
    // Latin Extended Additional
    if (in_pair_block(cp, 0x1e00, 0x1e94) || in_pair_block(cp, 0x1ea0, 0x1efe)) return cp + 1;
    if (cp == 0x1e9e) return 0xdf;
    // Full-width Latin
    if (cp >= 0xff21 && cp <= 0xff3a) return cp + 32;
    return cp;
}

}  // namespace

std::string_view trim_white_space_start(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t cp = 0;
        std::size_t len = decode(text, at, cp);
        if (len == 0 || !is_white_space(cp)) break;
        at += len;
    }
    return text.substr(at);
}

std::string_view trim_white_space(std::string_view text) {
    // Most texts start and end with a visible ASCII character.
    auto visible = [](char c) { return static_cast<std::uint8_t>(c) > 0x20 && static_cast<std::uint8_t>(c) < 0x7f; };
    if (!text.empty() && visible(text.front()) && visible(text.back())) return text;
    text = trim_white_space_start(text);
    // Walk back over trailing white space; every white space character here is 1 to 3 bytes.
    std::size_t end = text.size();
    while (end > 0) {
        std::size_t start = end - 1;
        while (start > 0 && (static_cast<std::uint8_t>(text[start]) & 0xc0) == 0x80 && end - start < 4) --start;
        char32_t cp = 0;
        if (decode(text, start, cp) != end - start || !is_white_space(cp)) break;
        end = start;
    }
    return text.substr(0, end);
}

void append_lower(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        if (static_cast<std::uint8_t>(text[at]) < 0x80) {  // a run of ASCII, the common case
            std::size_t end = at;
            while (end < text.size() && static_cast<std::uint8_t>(text[end]) < 0x80) ++end;
            std::size_t base = out.size();
            out.resize(base + (end - at));
            for (std::size_t i = at; i < end; ++i) {
                char c = text[i];
                out[base + (i - at)] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
            }
            at = end;
            continue;
        }
        char32_t cp = 0;
        std::size_t len = decode(text, at, cp);
        if (len == 0) {
            out.push_back(text[at]);
            ++at;
            continue;
        }
        encode(lower(cp), out);
        at += len;
    }
}

std::string to_lower(std::string_view text) {
    std::string out;
    append_lower(text, out);
    return out;
}

std::string to_ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool starts_with_ascii_ci(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto a = static_cast<unsigned char>(text[i]);
        auto b = static_cast<unsigned char>(prefix[i]);
        if (a >= 'A' && a <= 'Z') a += 32;
        if (b >= 'A' && b <= 'Z') b += 32;
        if (a != b) return false;
    }
    return true;
}

}  // namespace mail
