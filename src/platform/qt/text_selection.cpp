// Caret movement over UTF-8 text: pure functions, no toolkit involved.
#include "platform/qt/utf8.h"
#include "platform/ui/text.h"

namespace mail::ui::text_selection {
namespace {

bool is_word_char(char32_t c) {
    if (c < 0x80) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    if (utf8::is_white_space(c) || c == 0xFFFD) return false;
    if (c >= 0xA1 && c <= 0xBF && c != 0xAA && c != 0xB5 && c != 0xBA) return false;  // Latin-1 signs
    if (c == 0xD7 || c == 0xF7) return false;                                         // × ÷
    if (c >= 0x2000 && c <= 0x2BFF) return false;  // punctuation, arrows, symbols, dingbats
    if (c >= 0x3000 && c <= 0x303F) return false;  // CJK punctuation
    if (c >= 0xFE30 && c <= 0xFE4F) return false;
    if (c >= 0xFF01 && c <= 0xFF0F) return false;
    if (c >= 0x1F000 && c <= 0x1FAFF) return false;  // emoji and pictographs
    return true;
}

char32_t char_at(std::string_view text, std::size_t offset) {
    std::size_t length = 0;
    return utf8::decode(text, offset, length);
}

}  // namespace

std::size_t next_char_boundary(std::string_view text, std::size_t offset) {
    if (offset >= text.size()) return text.size();
    std::size_t start = utf8::char_start(text, offset);
    std::size_t n = utf8::sequence_length(text, start);
    return start + (n == 0 ? 1 : n);
}

std::size_t prev_char_boundary(std::string_view text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    if (offset == 0) return 0;
    return utf8::char_start(text, offset - 1);
}

std::size_t next_word_boundary(std::string_view text, std::size_t offset) {
    std::size_t i = offset >= text.size() ? text.size() : utf8::char_start(text, offset);
    while (i < text.size() && !is_word_char(char_at(text, i))) i = next_char_boundary(text, i);
    while (i < text.size() && is_word_char(char_at(text, i))) i = next_char_boundary(text, i);
    return i;
}

std::size_t prev_word_boundary(std::string_view text, std::size_t offset) {
    std::size_t i = offset > text.size() ? text.size() : offset;
    if (i < text.size()) i = utf8::char_start(text, i);
    while (i > 0) {
        std::size_t p = prev_char_boundary(text, i);
        if (is_word_char(char_at(text, p))) break;
        i = p;
    }
    while (i > 0) {
        std::size_t p = prev_char_boundary(text, i);
        if (!is_word_char(char_at(text, p))) break;
        i = p;
    }
    return i;
}

}  // namespace mail::ui::text_selection
