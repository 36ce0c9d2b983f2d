#include "platform/base/base64.h"

#include <cstdint>

namespace mail::base64 {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlSafe[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int value_of(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

std::string encode_with(std::string_view bytes, const char* alphabet, bool pad) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
        acc = (acc << 8) | c;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out.push_back(alphabet[(acc >> bits) & 63]);
        }
    }
    if (bits > 0) out.push_back(alphabet[(acc << (6 - bits)) & 63]);
    if (pad)
        while (out.size() % 4 != 0) out.push_back('=');
    return out;
}

}  // namespace

std::string encode(std::string_view bytes) { return encode_with(bytes, kStandard, true); }

std::string encode_url(std::string_view bytes) { return encode_with(bytes, kUrlSafe, false); }

std::optional<std::string> decode(std::string_view text) {
    std::string out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        int v = value_of(c);
        if (v < 0) return std::nullopt;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
    return out;
}

void decode_lenient_append(std::string_view text, std::string& out) {
    std::uint32_t acc = 0;
    int bits = 0;
    for (char c : text) {
        int v = value_of(c);
        if (v < 0) continue;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xff));
        }
    }
}

}  // namespace mail::base64
