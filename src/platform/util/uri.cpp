#include "platform/util/uri.h"

namespace mail::uri {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string form_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
                   hex_value(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

bool is_unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

}  // namespace

QueryPairs parse_form_query(std::string_view query) {
    if (!query.empty() && query.front() == '?') query.remove_prefix(1);
    QueryPairs pairs;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view segment = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (segment.empty()) continue;
        const std::size_t eq = segment.find('=');
        if (eq == std::string_view::npos) {
            pairs.emplace_back(form_decode(segment), std::string{});
        } else {
            pairs.emplace_back(form_decode(segment.substr(0, eq)), form_decode(segment.substr(eq + 1)));
        }
    }
    return pairs;
}

std::string percent_encode(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_unreserved(c)) {
            out += ch;
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

std::string encode_form_query(const QueryPairs& pairs) {
    std::string out;
    for (const auto& [name, value] : pairs) {
        if (!out.empty()) out += '&';
        out += percent_encode(name);
        out += '=';
        out += percent_encode(value);
    }
    return out;
}

}  // namespace mail::uri
