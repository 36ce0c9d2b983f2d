#include "platform/search/search_text.h"

#include <algorithm>
#include <unordered_set>

#include "platform/search/text_scan.h"

namespace mail::search {
namespace detail {

char32_t decode_utf8(std::string_view text, std::size_t& pos) {
    constexpr char32_t bad = 0xFFFD;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length;
    char32_t cp;
    char32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        ++pos;
        return bad;
    }
    if (pos + length > text.size()) {
        ++pos;
        return bad;
    }
    for (std::size_t i = 1; i < length; ++i) {
        unsigned char next = byte(pos + i);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return bad;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return bad;
    }
    pos += length;
    return cp;
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool is_word_char(char32_t c) {
    if (c < 0x80) return is_ascii_word(static_cast<unsigned char>(c));
    if (c <= 0xBF) return c == 0xAA || c == 0xBA;  // controls, Latin-1 punctuation and symbols
    if (c == 0xD7 || c == 0xF7) return false;     // × ÷
    if (c == 0x037E || c == 0x0387) return false;  // Greek question mark, ano teleia
    if (c >= 0x055A && c <= 0x055F) return false;  // Armenian punctuation
    if (c == 0x0589) return false;
    if (c >= 0x2000 && c <= 0x2BFF) return false;  // punctuation, symbols, arrows, math, shapes
    if (c >= 0x2E00 && c <= 0x2E7F) return false;  // supplemental punctuation
    if (c >= 0x3000 && c <= 0x303F) return false;  // CJK punctuation
    if (c >= 0xFE10 && c <= 0xFE1F) return false;
    if (c >= 0xFE30 && c <= 0xFE6F) return false;
    if (c >= 0xFF00 && c <= 0xFF0F) return false;  // fullwidth forms that are not folded
    if (c >= 0xFF5B && c <= 0xFF65) return false;
    if (c >= 0xFFF0 && c <= 0xFFFF) return false;  // specials, U+FFFD among them
    if (c >= 0x1F000 && c <= 0x1FAFF) return false;  // emoji and pictographs
    if (c >= 0xE0000) return false;                 // tags, private use planes
    return true;
}

std::size_t char_count(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        decode_utf8(text, pos);
        ++count;
    }
    return count;
}

}  // namespace detail

namespace {

using detail::append_utf8;
using detail::decode_utf8;
using detail::is_word_char;

// Code points (ranges) that fold to a fixed text. Sorted, not overlapping.
struct Mapping {
    char32_t first;
    char32_t last;
    const char32_t* text;
};

constexpr Mapping mappings[] = {
    // Latin-1 Supplement
    {0x00B5, 0x00B5, U"\u03BC"}, {0x00C0, 0x00C5, U"a"}, {0x00C6, 0x00C6, U"ae"},
    {0x00C7, 0x00C7, U"c"}, {0x00C8, 0x00CB, U"e"}, {0x00CC, 0x00CF, U"i"}, {0x00D0, 0x00D0, U"d"},
    {0x00D1, 0x00D1, U"n"}, {0x00D2, 0x00D6, U"o"}, {0x00D8, 0x00D8, U"o"}, {0x00D9, 0x00DC, U"u"},
    {0x00DD, 0x00DD, U"y"}, {0x00DE, 0x00DE, U"th"}, {0x00DF, 0x00DF, U"ss"},
    {0x00E0, 0x00E5, U"a"}, {0x00E6, 0x00E6, U"ae"}, {0x00E7, 0x00E7, U"c"}, {0x00E8, 0x00EB, U"e"},
    {0x00EC, 0x00EF, U"i"}, {0x00F0, 0x00F0, U"d"}, {0x00F1, 0x00F1, U"n"}, {0x00F2, 0x00F6, U"o"},
    {0x00F8, 0x00F8, U"o"}, {0x00F9, 0x00FC, U"u"}, {0x00FD, 0x00FD, U"y"}, {0x00FE, 0x00FE, U"th"},
    {0x00FF, 0x00FF, U"y"},
    // Latin Extended-A
    {0x0100, 0x0105, U"a"}, {0x0106, 0x010D, U"c"}, {0x010E, 0x0111, U"d"}, {0x0112, 0x011B, U"e"},
    {0x011C, 0x0123, U"g"}, {0x0124, 0x0127, U"h"}, {0x0128, 0x0131, U"i"}, {0x0132, 0x0133, U"ij"},
    {0x0134, 0x0135, U"j"}, {0x0136, 0x0138, U"k"}, {0x0139, 0x0142, U"l"}, {0x0143, 0x014B, U"n"},
    {0x014C, 0x0151, U"o"}, {0x0152, 0x0153, U"oe"}, {0x0154, 0x0159, U"r"}, {0x015A, 0x0161, U"s"},
    {0x0162, 0x0167, U"t"}, {0x0168, 0x0173, U"u"}, {0x0174, 0x0175, U"w"}, {0x0176, 0x0178, U"y"},
    {0x0179, 0x017E, U"z"}, {0x017F, 0x017F, U"s"},
    // Latin Extended-B
    {0x0180, 0x0183, U"b"}, {0x0184, 0x0184, U"\u0185"}, {0x0186, 0x0186, U"\u0254"},
    {0x0187, 0x0188, U"c"}, {0x0189, 0x018C, U"d"}, {0x018E, 0x018E, U"e"},
    {0x018F, 0x018F, U"\u0259"}, {0x0190, 0x0190, U"\u025B"}, {0x0191, 0x0192, U"f"},
    {0x0193, 0x0193, U"g"}, {0x0194, 0x0194, U"\u0263"}, {0x0195, 0x0195, U"hv"},
    {0x0196, 0x0196, U"\u0269"}, {0x0197, 0x0197, U"i"}, {0x0198, 0x0199, U"k"},
    {0x019A, 0x019A, U"l"}, {0x019C, 0x019C, U"\u026F"}, {0x019D, 0x019E, U"n"},
    {0x019F, 0x01A1, U"o"}, {0x01A2, 0x01A2, U"\u01A3"}, {0x01A4, 0x01A5, U"p"},
    {0x01A6, 0x01A6, U"\u0280"}, {0x01A7, 0x01A7, U"\u01A8"}, {0x01A9, 0x01A9, U"\u0283"},
    {0x01AB, 0x01AE, U"t"}, {0x01AF, 0x01B0, U"u"}, {0x01B1, 0x01B1, U"\u028A"},
    {0x01B2, 0x01B2, U"v"}, {0x01B3, 0x01B4, U"y"}, {0x01B5, 0x01B6, U"z"},
    {0x01B7, 0x01B7, U"\u0292"}, {0x01B8, 0x01B8, U"\u01B9"}, {0x01BC, 0x01BC, U"\u01BD"},
    {0x01C4, 0x01C6, U"dz"}, {0x01C7, 0x01C9, U"lj"}, {0x01CA, 0x01CC, U"nj"},
    {0x01CD, 0x01CE, U"a"}, {0x01CF, 0x01D0, U"i"}, {0x01D1, 0x01D2, U"o"}, {0x01D3, 0x01DC, U"u"},
    {0x01DD, 0x01DD, U"e"}, {0x01DE, 0x01E1, U"a"}, {0x01E2, 0x01E3, U"ae"}, {0x01E4, 0x01E7, U"g"},
    {0x01E8, 0x01E9, U"k"}, {0x01EA, 0x01ED, U"o"}, {0x01EE, 0x01EF, U"\u0292"},
    {0x01F0, 0x01F0, U"j"}, {0x01F1, 0x01F3, U"dz"}, {0x01F4, 0x01F5, U"g"},
    {0x01F6, 0x01F6, U"hv"}, {0x01F7, 0x01F7, U"\u01BF"}, {0x01F8, 0x01F9, U"n"},
    {0x01FA, 0x01FB, U"a"}, {0x01FC, 0x01FD, U"ae"}, {0x01FE, 0x01FF, U"o"}, {0x0200, 0x0203, U"a"},
    {0x0204, 0x0207, U"e"}, {0x0208, 0x020B, U"i"}, {0x020C, 0x020F, U"o"}, {0x0210, 0x0213, U"r"},
    {0x0214, 0x0217, U"u"}, {0x0218, 0x0219, U"s"}, {0x021A, 0x021B, U"t"},
    {0x021C, 0x021C, U"\u021D"}, {0x021E, 0x021F, U"h"}, {0x0220, 0x0220, U"n"},
    {0x0221, 0x0221, U"d"}, {0x0222, 0x0223, U"ou"}, {0x0224, 0x0225, U"z"}, {0x0226, 0x0227, U"a"},
    {0x0228, 0x0229, U"e"}, {0x022A, 0x0231, U"o"}, {0x0232, 0x0233, U"y"}, {0x0234, 0x0234, U"l"},
    {0x0235, 0x0235, U"n"}, {0x0236, 0x0236, U"t"}, {0x0237, 0x0237, U"j"}, {0x0238, 0x0238, U"db"},
    {0x0239, 0x0239, U"qp"}, {0x023A, 0x023A, U"a"}, {0x023B, 0x023C, U"c"}, {0x023D, 0x023D, U"l"},
    {0x023E, 0x023E, U"t"}, {0x023F, 0x023F, U"s"}, {0x0240, 0x0240, U"z"},
    {0x0241, 0x0241, U"\u0242"}, {0x0243, 0x0243, U"b"}, {0x0244, 0x0244, U"u"},
    {0x0245, 0x0245, U"\u028C"}, {0x0246, 0x0247, U"e"}, {0x0248, 0x0249, U"j"},
    {0x024A, 0x024B, U"q"}, {0x024C, 0x024D, U"r"}, {0x024E, 0x024F, U"y"},
    // Greek: tonos and dialytika go, final and lunate sigma become σ, symbol forms their letters
    {0x037E, 0x037E, U";"}, {0x037F, 0x037F, U"\u03F3"}, {0x0386, 0x0386, U"\u03B1"},
    {0x0387, 0x0387, U"\u00B7"}, {0x0388, 0x0388, U"\u03B5"}, {0x0389, 0x0389, U"\u03B7"},
    {0x038A, 0x038A, U"\u03B9"}, {0x038C, 0x038C, U"\u03BF"}, {0x038E, 0x038E, U"\u03C5"},
    {0x038F, 0x038F, U"\u03C9"}, {0x0390, 0x0390, U"\u03B9"}, {0x03AA, 0x03AA, U"\u03B9"},
    {0x03AB, 0x03AB, U"\u03C5"}, {0x03AC, 0x03AC, U"\u03B1"}, {0x03AD, 0x03AD, U"\u03B5"},
    {0x03AE, 0x03AE, U"\u03B7"}, {0x03AF, 0x03AF, U"\u03B9"}, {0x03B0, 0x03B0, U"\u03C5"},
    {0x03C2, 0x03C2, U"\u03C3"}, {0x03CA, 0x03CA, U"\u03B9"}, {0x03CB, 0x03CB, U"\u03C5"},
    {0x03CC, 0x03CC, U"\u03BF"}, {0x03CD, 0x03CD, U"\u03C5"}, {0x03CE, 0x03CE, U"\u03C9"},
    {0x03CF, 0x03CF, U"\u03D7"}, {0x03D0, 0x03D0, U"\u03B2"}, {0x03D1, 0x03D1, U"\u03B8"},
    {0x03D2, 0x03D4, U"\u03C5"}, {0x03D5, 0x03D5, U"\u03C6"}, {0x03D6, 0x03D6, U"\u03C0"},
    {0x03F0, 0x03F0, U"\u03BA"}, {0x03F1, 0x03F1, U"\u03C1"}, {0x03F2, 0x03F2, U"\u03C3"},
    {0x03F4, 0x03F4, U"\u03B8"}, {0x03F5, 0x03F5, U"\u03B5"}, {0x03F7, 0x03F7, U"\u03F8"},
    {0x03F9, 0x03F9, U"\u03C3"}, {0x03FA, 0x03FA, U"\u03FB"}, {0x03FD, 0x03FD, U"\u037B"},
    {0x03FE, 0x03FE, U"\u037C"}, {0x03FF, 0x03FF, U"\u037D"},
    // Cyrillic: ё is searched as е (as Russian readers type it); Ѐ and Ѝ are accented е and и
    {0x0400, 0x0401, U"\u0435"}, {0x040D, 0x040D, U"\u0438"}, {0x0450, 0x0451, U"\u0435"},
    {0x045D, 0x045D, U"\u0438"},
    // Latin Extended Additional
    {0x1E00, 0x1E01, U"a"}, {0x1E02, 0x1E07, U"b"}, {0x1E08, 0x1E09, U"c"}, {0x1E0A, 0x1E13, U"d"},
    {0x1E14, 0x1E1D, U"e"}, {0x1E1E, 0x1E1F, U"f"}, {0x1E20, 0x1E21, U"g"}, {0x1E22, 0x1E2B, U"h"},
    {0x1E2C, 0x1E2F, U"i"}, {0x1E30, 0x1E35, U"k"}, {0x1E36, 0x1E3D, U"l"}, {0x1E3E, 0x1E43, U"m"},
    {0x1E44, 0x1E4B, U"n"}, {0x1E4C, 0x1E53, U"o"}, {0x1E54, 0x1E57, U"p"}, {0x1E58, 0x1E5F, U"r"},
    {0x1E60, 0x1E69, U"s"}, {0x1E6A, 0x1E71, U"t"}, {0x1E72, 0x1E7B, U"u"}, {0x1E7C, 0x1E7F, U"v"},
    {0x1E80, 0x1E89, U"w"}, {0x1E8A, 0x1E8D, U"x"}, {0x1E8E, 0x1E8F, U"y"}, {0x1E90, 0x1E95, U"z"},
    {0x1E96, 0x1E96, U"h"}, {0x1E97, 0x1E97, U"t"}, {0x1E98, 0x1E98, U"w"}, {0x1E99, 0x1E99, U"y"},
    {0x1E9A, 0x1E9A, U"a"}, {0x1E9B, 0x1E9B, U"s"}, {0x1E9E, 0x1E9E, U"ss"}, {0x1EA0, 0x1EB7, U"a"},
    {0x1EB8, 0x1EC7, U"e"}, {0x1EC8, 0x1ECB, U"i"}, {0x1ECC, 0x1EE3, U"o"}, {0x1EE4, 0x1EF1, U"u"},
    {0x1EF2, 0x1EF9, U"y"},
    // Ligatures
    {0xFB00, 0xFB00, U"ff"}, {0xFB01, 0xFB01, U"fi"}, {0xFB02, 0xFB02, U"fl"},
    {0xFB03, 0xFB03, U"ffi"}, {0xFB04, 0xFB04, U"ffl"}, {0xFB05, 0xFB06, U"st"},
};

const Mapping* find_mapping(char32_t c) {
    auto it = std::upper_bound(std::begin(mappings), std::end(mappings), c,
                               [](char32_t value, const Mapping& m) { return value < m.first; });
    if (it == std::begin(mappings)) return nullptr;
    --it;
    return c <= it->last ? it : nullptr;
}

bool is_space(char32_t c) {
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Characters that carry nothing a search should see.
bool is_dropped(char32_t c) {
    return c == 0xAD || (c >= 0x0300 && c <= 0x036F) || (c >= 0x0483 && c <= 0x0489) ||
           (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
           (c >= 0x200B && c <= 0x200D) || c == 0x2060 || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) || c == 0xFEFF;
}

// The folded form of one code point: at most three (as in "ffi").
struct Folded {
    char32_t cp[3];
    int size = 0;
    void push_back(char32_t c) { cp[size++] = c; }
    Folded& operator+=(const char32_t* text) {
        while (*text && size < 3) cp[size++] = *text++;
        return *this;
    }
};

// The folded form of c; white space and controls become ' '.
void fold(char32_t c, Folded& out) {
    if (c < 0x80) {
        if (c >= 'A' && c <= 'Z') out.push_back(c + 32);
        else if (c < 0x20 || c == 0x7F) out.push_back(U' ');
        else out.push_back(c);
        return;
    }
    if (c <= 0x9F || is_space(c)) {
        out.push_back(U' ');
        return;
    }
    if (is_dropped(c)) return;
    if (const Mapping* m = find_mapping(c)) {
        out += m->text;
        return;
    }
    // Greek capitals (U+03A2 is unassigned).
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) {
        out.push_back(c + 0x20);
        return;
    }
    // Upper/lower pairs with the capital at the even code point.
    if (((c >= 0x0370 && c <= 0x0373) || (c >= 0x0376 && c <= 0x0377) ||
         (c >= 0x03D8 && c <= 0x03EF) || (c >= 0x1EFA && c <= 0x1EFF)) &&
        c % 2 == 0) {
        out.push_back(c + 1);
        return;
    }
    // Cyrillic: two blocks of capitals, then upper/lower pairs.
    if (c >= 0x0400 && c <= 0x040F) {
        out.push_back(c + 0x50);
        return;
    }
    if (c >= 0x0410 && c <= 0x042F) {
        out.push_back(c + 0x20);
        return;
    }
    if (((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) ||
         (c >= 0x04D0 && c <= 0x052F)) &&
        c % 2 == 0) {
        out.push_back(c + 1);
        return;
    }
    if (c == 0x04C0) {
        out.push_back(0x04CF);
        return;
    }
    if (c >= 0x04C1 && c <= 0x04CE && c % 2 == 1) {
        out.push_back(c + 1);
        return;
    }
    // Armenian capitals.
    if (c >= 0x0531 && c <= 0x0556) {
        out.push_back(c + 0x30);
        return;
    }
    // Fullwidth ASCII.
    if (c >= 0xFF01 && c <= 0xFF5E) {
        fold(c - 0xFEE0, out);
        return;
    }
    out.push_back(c);
}

bool is_apostrophe(char32_t c) { return c == U'\'' || c == 0x2019 || c == 0x02BC; }

// Writes folded code points, collapsing spaces and dropping apostrophes inside words. An
// apostrophe after a word character waits for the next character to decide.
class FoldedWriter {
public:
    explicit FoldedWriter(std::string& out) : out_(out) {}

    void put(char32_t c) {
        if (c == U' ') {
            flush_apostrophe();
            space_ = !out_.empty();
            last_word_ = false;
            return;
        }
        if (is_apostrophe(c)) {
            flush_apostrophe();
            if (last_word_) {
                apostrophe_ = c;
                return;
            }
            write(c);
            last_word_ = false;
            return;
        }
        bool word = is_word_char(c);
        if (apostrophe_ != 0) {
            if (word) apostrophe_ = 0;
            else flush_apostrophe();
        }
        write(c);
        last_word_ = word;
    }

    void finish() { flush_apostrophe(); }

private:
    void write(char32_t c) {
        if (space_) {
            out_.push_back(' ');
            space_ = false;
        }
        append_utf8(out_, c);
    }
    void flush_apostrophe() {
        if (apostrophe_ == 0) return;
        write(apostrophe_);
        apostrophe_ = 0;
        last_word_ = false;
    }

    std::string& out_;
    bool space_ = false;
    bool last_word_ = false;
    char32_t apostrophe_ = 0;
};

}  // namespace

std::string normalize_search_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    FoldedWriter writer(out);
    for (std::size_t pos = 0; pos < text.size();) {
        unsigned char byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            ++pos;
            if (byte >= 'A' && byte <= 'Z') byte += 32;
            else if (byte < 0x20 || byte == 0x7F) byte = ' ';
            writer.put(byte);
            continue;
        }
        Folded folded;
        fold(decode_utf8(text, pos), folded);
        for (int i = 0; i < folded.size; ++i) writer.put(folded.cp[i]);
    }
    writer.finish();
    return out;
}

std::vector<std::string> index_tokens(std::string_view normalized) {
    std::vector<std::string> tokens;
    std::unordered_set<std::string_view> seen;
    detail::for_each_token(normalized, [&](std::string_view token) {
        if (seen.insert(token).second) tokens.emplace_back(token);
    });
    return tokens;
}

std::vector<std::string> index_grams(std::string_view normalized) {
    std::vector<std::string> grams;
    std::unordered_set<detail::GramKey> seen;
    detail::for_each_token(normalized, [&](std::string_view token) {
        detail::for_each_gram(token, [&](detail::GramKey key) {
            if (!seen.insert(key).second) return;
            std::string gram;
            append_utf8(gram, static_cast<char32_t>(key >> 42));
            append_utf8(gram, static_cast<char32_t>((key >> 21) & 0x1FFFFF));
            append_utf8(gram, static_cast<char32_t>(key & 0x1FFFFF));
            grams.push_back(std::move(gram));
        });
    });
    return grams;
}

}  // namespace mail::search
