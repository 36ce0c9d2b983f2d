#include "platform/i18n/fluent.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace mail::i18n {

namespace fluent_detail {

struct Variant;

struct Expression {
    enum class Kind { String, Number, Variable, Message, Select };
    Kind kind = Kind::String;
    std::string text;       // string value, number as written, variable name or message id
    std::string attribute;  // message references only
    double number = 0;      // number literals only
    std::vector<Variant> variants;  // select only; the selector is the variable named by `text`
    std::size_t default_variant = 0;
};

struct Element {
    bool is_text = true;
    std::string text;
    Expression expression;
};

struct Pattern {
    std::vector<Element> elements;
};

struct Variant {
    bool numeric_key = false;
    std::string key;  // identifier, or the number as written
    double number = 0;
    Pattern value;
};

struct Message {
    std::string source;  // the entry's text, to tell a changed message from a repeated one
    std::optional<Pattern> value;
    std::map<std::string, Pattern, std::less<>> attributes;
};

}  // namespace fluent_detail

using namespace fluent_detail;

// ---------------------------------------------------------------------------------------------
// Arguments

double FluentArg::number() const {
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return static_cast<double>(*i);
    if (const auto* d = std::get_if<double>(&value_)) return *d;
    return 0;
}

namespace {

std::string number_text(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-∞" : "∞";
    if (value == std::floor(value) && std::fabs(value) < 9e15)
        return std::to_string(static_cast<std::int64_t>(value));
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

}  // namespace

std::string FluentArg::to_text() const {
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return std::to_string(*i);
    return number_text(std::get<double>(value_));
}

std::string_view FluentArg::plural_category() const {
    // English: "one" for an integer 1 (sign ignored) shown without decimals, else "other".
    if (const auto* i = std::get_if<std::int64_t>(&value_)) return (*i == 1 || *i == -1) ? "one" : "other";
    if (const auto* d = std::get_if<double>(&value_)) return std::fabs(*d) == 1.0 ? "one" : "other";
    return {};
}

// ---------------------------------------------------------------------------------------------
// Parser: one function per rule of the syntax, over the whole text with line feeds only.

namespace {

struct ParseError {
    std::size_t at;
    std::string message;
};

bool is_id_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_id_char(char c) { return is_id_start(c) || (c >= '0' && c <= '9') || c == '_' || c == '-'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct ParsedEntry {
    std::string id;
    Message message;
};

class Parser {
public:
    explicit Parser(std::string_view source) : s_(source) {}

    std::vector<ParsedEntry> resource() {
        std::vector<ParsedEntry> entries;
        while (!eof()) {
            const char c = cur();
            if (c == '\n') {
                ++i_;
            } else if (c == ' ') {
                skip_blank_inline();
                if (!eof() && cur() != '\n') fail("indented text outside a message");
            } else if (c == '#') {
                comment();
            } else if (c == '-') {
                fail("terms are not supported");
            } else if (is_id_start(c)) {
                entries.push_back(message());
            } else {
                fail("expected a message name");
            }
        }
        return entries;
    }

private:
    bool eof() const { return i_ >= s_.size(); }
    char cur() const { return eof() ? '\0' : s_[i_]; }
    char at(std::size_t pos) const { return pos < s_.size() ? s_[pos] : '\0'; }
    [[noreturn]] void fail(std::string message) const { fail_at(i_, std::move(message)); }
    // At the end of the text the fault is on the last line that has any.
    [[noreturn]] void fail_at(std::size_t pos, std::string message) const {
        if (pos >= s_.size()) {
            pos = s_.empty() ? 0 : s_.size() - 1;
            while (pos > 0 && (s_[pos] == '\n' || s_[pos] == ' ')) --pos;
        }
        throw ParseError{pos, std::move(message)};
    }

    std::size_t skip_blank_inline() {
        const std::size_t start = i_;
        while (!eof() && cur() == ' ') ++i_;
        return i_ - start;
    }
    void skip_blank() {
        while (!eof() && (cur() == ' ' || cur() == '\n')) ++i_;
    }
    void expect(char c, const char* message) {
        if (cur() != c) fail(message);
        ++i_;
    }

    void comment() {
        std::size_t hashes = 0;
        while (cur() == '#') {
            ++hashes;
            ++i_;
        }
        if (hashes > 3) fail("a comment starts with one, two or three '#'");
        if (!eof() && cur() != ' ' && cur() != '\n') fail("a comment needs a space after '#'");
        while (!eof() && cur() != '\n') ++i_;
    }

    std::string identifier() {
        if (!is_id_start(cur())) fail("expected a name");
        const std::size_t start = i_;
        while (!eof() && is_id_char(cur())) ++i_;
        return std::string(s_.substr(start, i_ - start));
    }

    ParsedEntry message() {
        const std::size_t start = i_;
        ParsedEntry entry;
        entry.id = identifier();
        skip_blank_inline();
        expect('=', "expected \"=\" after the message name");
        skip_blank_inline();
        entry.message.value = maybe_pattern();
        attributes(entry.message);
        if (!entry.message.value && entry.message.attributes.empty()) fail("the message has no value");
        if (!eof() && cur() != '\n') fail("unexpected text after the message");
        entry.message.source = std::string(s_.substr(start, i_ - start));
        return entry;
    }

    void attributes(Message& message) {
        while (true) {
            const std::size_t before = i_;
            skip_blank();
            if (cur() != '.') {
                i_ = before;
                return;
            }
            ++i_;
            std::string name = identifier();
            skip_blank_inline();
            expect('=', "expected \"=\" after the attribute name");
            skip_blank_inline();
            std::optional<Pattern> value = maybe_pattern();
            if (!value) fail("the attribute has no value");
            message.attributes.insert_or_assign(std::move(name), std::move(*value));
        }
    }

    // From a line feed, skips lines holding only spaces; answers the start of the next line
    // with text (or the end) and how many line feeds were passed.
    std::pair<std::size_t, std::size_t> peek_blank_block(std::size_t pos) const {
        std::size_t feeds = 0;
        while (true) {
            ++feeds;
            ++pos;
            const std::size_t line_start = pos;
            while (at(pos) == ' ') ++pos;
            if (pos < s_.size() && s_[pos] == '\n') continue;
            return {line_start, feeds};
        }
    }

    // A line continues a value when it is indented and does not start a variant, the default
    // variant, an attribute or the closing brace; a placeable continues it even unindented.
    bool is_value_continuation(std::size_t line_start) const {
        std::size_t pos = line_start;
        while (at(pos) == ' ') ++pos;
        const char c = at(pos);
        if (c == '{') return true;
        if (pos == line_start) return false;
        return pos < s_.size() && c != '\n' && c != '}' && c != '.' && c != '[' && c != '*';
    }

    std::optional<Pattern> maybe_pattern() {
        if (!eof() && cur() != '\n') return pattern(false);
        if (cur() == '\n') {
            const auto [line_start, feeds] = peek_blank_block(i_);
            if (is_value_continuation(line_start)) {
                i_ = line_start;
                return pattern(true);
            }
        }
        return std::nullopt;
    }

    struct Raw {
        enum class Kind { Text, Indent, Placeable } kind;
        std::string text;
        std::size_t indent = 0;
        Expression expression;
    };

    Pattern pattern(bool block) {
        std::vector<Raw> raw;
        std::size_t common = std::numeric_limits<std::size_t>::max();
        if (block) {
            const std::size_t indent = skip_blank_inline();
            raw.push_back({Raw::Kind::Indent, std::string(indent, ' '), indent, {}});
            common = indent;
        }
        while (!eof()) {
            const char c = cur();
            if (c == '\n') {
                const auto [line_start, feeds] = peek_blank_block(i_);
                if (!is_value_continuation(line_start)) break;
                i_ = line_start;
                const std::size_t indent = skip_blank_inline();
                common = std::min(common, indent);
                raw.push_back({Raw::Kind::Indent, std::string(feeds, '\n') + std::string(indent, ' '), indent, {}});
            } else if (c == '}') {
                fail("unbalanced closing brace");
            } else if (c == '{') {
                raw.push_back({Raw::Kind::Placeable, {}, 0, placeable()});
            } else {
                const std::size_t start = i_;
                while (!eof() && cur() != '{' && cur() != '}' && cur() != '\n') ++i_;
                raw.push_back({Raw::Kind::Text, std::string(s_.substr(start, i_ - start)), 0, {}});
            }
        }
        return dedent(std::move(raw), common == std::numeric_limits<std::size_t>::max() ? 0 : common);
    }

    // Removes the indentation common to all continuation lines and joins neighbouring texts;
    // trailing spaces and line feeds of the value are not part of it.
    static Pattern dedent(std::vector<Raw> raw, std::size_t common) {
        Pattern out;
        for (Raw& r : raw) {
            if (r.kind == Raw::Kind::Placeable) {
                Element e;
                e.is_text = false;
                e.expression = std::move(r.expression);
                out.elements.push_back(std::move(e));
                continue;
            }
            std::string text = std::move(r.text);
            if (r.kind == Raw::Kind::Indent) text.resize(text.size() - std::min(common, r.indent));
            if (text.empty()) continue;
            if (!out.elements.empty() && out.elements.back().is_text) {
                out.elements.back().text += text;
            } else {
                Element e;
                e.text = std::move(text);
                out.elements.push_back(std::move(e));
            }
        }
        if (!out.elements.empty() && out.elements.back().is_text) {
            std::string& last = out.elements.back().text;
            while (!last.empty() && (last.back() == ' ' || last.back() == '\n')) last.pop_back();
            if (last.empty()) out.elements.pop_back();
        }
        return out;
    }

    Expression placeable() {
        const std::size_t start = i_;
        expect('{', "expected \"{\"");
        skip_blank();
        Expression expression = inline_expression();
        skip_blank();
        if (cur() == '-' && at(i_ + 1) == '>') {
            if (expression.kind != Expression::Kind::Variable) fail("a select expression must choose on a variable");
            i_ += 2;
            expression.kind = Expression::Kind::Select;
            skip_blank_inline();
            variants(expression, start);
            skip_blank();
            expect('}', "expected \"}\" to close the select expression");
            return expression;
        }
        expect('}', "expected \"}\" to close the placeable");
        return expression;
    }

    void variants(Expression& select, std::size_t select_start) {
        bool has_default = false;
        while (true) {
            const std::size_t before = i_;
            skip_blank();
            const bool is_default = cur() == '*';
            if (!is_default && cur() != '[') {
                i_ = before;
                break;
            }
            if (s_.substr(before, i_ - before).find('\n') == std::string_view::npos)
                fail("each variant starts on a line of its own");
            if (is_default) {
                if (has_default) fail("a select expression has only one default variant");
                has_default = true;
                select.default_variant = select.variants.size();
                ++i_;
            }
            Variant variant;
            expect('[', "expected \"[\" to start the variant key");
            skip_blank();
            if (is_digit(cur()) || cur() == '-') {
                const Expression key = number_literal();
                variant.numeric_key = true;
                variant.key = key.text;
                variant.number = key.number;
            } else {
                variant.key = identifier();
            }
            skip_blank();
            expect(']', "expected \"]\" to end the variant key");
            skip_blank_inline();
            std::optional<Pattern> value = maybe_pattern();
            if (!value) fail("the variant has no value");
            variant.value = std::move(*value);
            select.variants.push_back(std::move(variant));
        }
        if (select.variants.empty()) fail_at(select_start, "a select expression needs variants");
        if (!has_default) fail_at(select_start, "a select expression needs a default variant marked with \"*\"");
    }

    Expression inline_expression() {
        const char c = cur();
        if (c == '"') return string_literal();
        if (is_digit(c) || (c == '-' && is_digit(at(i_ + 1)))) return number_literal();
        if (c == '-') fail("terms are not supported");
        if (c == '$') {
            ++i_;
            Expression e;
            e.kind = Expression::Kind::Variable;
            e.text = identifier();
            return e;
        }
        if (c == '{') return placeable();
        if (is_id_start(c)) {
            Expression e;
            e.kind = Expression::Kind::Message;
            e.text = identifier();
            if (cur() == '(') fail("functions are not supported");
            if (cur() == '.') {
                ++i_;
                e.attribute = identifier();
            }
            return e;
        }
        if (eof() || c == '\n' || c == '}') fail("expected an expression in the placeable");
        fail("unknown syntax in the placeable");
    }

    Expression string_literal() {
        expect('"', "expected a string");
        Expression e;
        e.kind = Expression::Kind::String;
        while (true) {
            if (eof() || cur() == '\n') fail("unterminated string literal");
            const char c = cur();
            ++i_;
            if (c == '"') break;
            if (c != '\\') {
                e.text += c;
                continue;
            }
            const char escaped = cur();
            ++i_;
            if (escaped == '\\' || escaped == '"') {
                e.text += escaped;
            } else if (escaped == 'u' || escaped == 'U') {
                const std::size_t digits = escaped == 'u' ? 4 : 6;
                char32_t cp = 0;
                for (std::size_t k = 0; k < digits; ++k) {
                    const char h = cur();
                    int v = -1;
                    if (h >= '0' && h <= '9') v = h - '0';
                    else if (h >= 'a' && h <= 'f') v = h - 'a' + 10;
                    else if (h >= 'A' && h <= 'F') v = h - 'A' + 10;
                    if (v < 0) fail("a unicode escape needs hexadecimal digits");
                    cp = cp * 16 + static_cast<char32_t>(v);
                    ++i_;
                }
                if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) fail("the unicode escape is not a character");
                append_utf8(e.text, cp);
            } else {
                fail("unknown escape sequence in a string");
            }
        }
        return e;
    }

    Expression number_literal() {
        const std::size_t start = i_;
        if (cur() == '-') ++i_;
        if (!is_digit(cur())) fail("expected a number");
        while (is_digit(cur())) ++i_;
        if (cur() == '.') {
            ++i_;
            if (!is_digit(cur())) fail("expected digits after the decimal point");
            while (is_digit(cur())) ++i_;
        }
        Expression e;
        e.kind = Expression::Kind::Number;
        e.text = std::string(s_.substr(start, i_ - start));
        std::from_chars(e.text.data(), e.text.data() + e.text.size(), e.number);
        return e;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::string normalise_line_ends(std::string_view source) {
    if (source.substr(0, 3) == "\xEF\xBB\xBF") source.remove_prefix(3);
    std::string out;
    out.reserve(source.size());
    for (std::size_t k = 0; k < source.size(); ++k) {
        if (source[k] == '\r' && k + 1 < source.size() && source[k + 1] == '\n') continue;
        out += source[k];
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Bundle

FluentBundle::FluentBundle() = default;
FluentBundle::~FluentBundle() = default;
FluentBundle::FluentBundle(FluentBundle&&) noexcept = default;
FluentBundle& FluentBundle::operator=(FluentBundle&&) noexcept = default;

Result<std::size_t> FluentBundle::add_resource(std::string_view source) {
    const std::string text = normalise_line_ends(source);
    std::vector<ParsedEntry> entries;
    try {
        entries = Parser(text).resource();
    } catch (const ParseError& error) {
        const std::size_t line = 1 + std::count(text.begin(), text.begin() + std::min(error.at, text.size()), '\n');
        return make_error("line " + std::to_string(line) + ": " + error.message);
    }
    std::size_t changed = 0;
    for (ParsedEntry& entry : entries) {
        auto it = messages_.find(entry.id);
        if (it != messages_.end() && it->second->source == entry.message.source) continue;
        ++changed;
        messages_.insert_or_assign(std::move(entry.id), std::make_shared<const Message>(std::move(entry.message)));
    }
    return changed;
}

const Message* FluentBundle::find(std::string_view id) const {
    const auto it = messages_.find(id);
    return it == messages_.end() ? nullptr : it->second.get();
}

namespace {

const Pattern* pattern_of(const Message* message, std::string_view attribute) {
    if (!message) return nullptr;
    if (attribute.empty()) return message->value ? &*message->value : nullptr;
    const auto it = message->attributes.find(attribute);
    return it == message->attributes.end() ? nullptr : &it->second;
}

std::pair<std::string_view, std::string_view> split_key(std::string_view key) {
    const std::size_t dot = key.find('.');
    if (dot == std::string_view::npos) return {key, {}};
    return {key.substr(0, dot), key.substr(dot + 1)};
}

}  // namespace

bool FluentBundle::has(std::string_view key) const {
    const auto [id, attribute] = split_key(key);
    return pattern_of(find(id), attribute) != nullptr;
}

struct FluentFormatter {
    const FluentArgs& args;
    bool pseudo;
    const FluentBundle::MessageResolver& resolver;
    const FluentBundle& home;
    // The messages being written, to show a circular reference instead of following it.
    std::vector<const Pattern*> active;
    // Bounds the work of messages that refer to others many times over.
    int references_left = 256;

    const FluentArg* arg(std::string_view name) const {
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            if (it->first == name) return &it->second;
        return nullptr;
    }

    void write(const Pattern& pattern, std::string& out) {
        for (const Element& element : pattern.elements) {
            if (element.is_text) {
                out += pseudo ? pseudo_text(element.text) : element.text;
            } else {
                write(element.expression, out);
            }
        }
    }

    void write(const Expression& e, std::string& out) {
        switch (e.kind) {
        case Expression::Kind::String:
        case Expression::Kind::Number:
            out += e.text;
            return;
        case Expression::Kind::Variable:
            if (const FluentArg* a = arg(e.text)) {
                out += a->to_text();
            } else {
                out += "{$" + e.text + "}";
            }
            return;
        case Expression::Kind::Message: {
            const FluentBundle* bundle = home.find(e.text) ? &home : (resolver ? resolver(e.text) : nullptr);
            const Pattern* pattern = bundle ? pattern_of(bundle->find(e.text), e.attribute) : nullptr;
            const bool circular = std::find(active.begin(), active.end(), pattern) != active.end();
            if (!pattern || circular || references_left <= 0) {
                out += "{" + e.text + (e.attribute.empty() ? "" : "." + e.attribute) + "}";
                return;
            }
            --references_left;
            active.push_back(pattern);
            write(*pattern, out);
            active.pop_back();
            return;
        }
        case Expression::Kind::Select:
            break;
        }
        write(choose(e).value, out);
    }

    // An exact numeric key first, then the plural category, then the default.
    const Variant& choose(const Expression& select) const {
        const FluentArg* a = arg(select.text);
        if (a && a->is_number()) {
            const double n = a->number();
            for (const Variant& v : select.variants)
                if (v.numeric_key && v.number == n) return v;
            const std::string_view category = a->plural_category();
            for (const Variant& v : select.variants)
                if (!v.numeric_key && v.key == category) return v;
        } else if (a) {
            const std::string text = a->to_text();
            for (const Variant& v : select.variants)
                if (v.key == text) return v;
        }
        return select.variants[select.default_variant];
    }
};

std::optional<std::string> FluentBundle::format(std::string_view key, const FluentArgs& args, bool pseudo,
                                                const MessageResolver& resolver) const {
    const auto [id, attribute] = split_key(key);
    const Pattern* pattern = pattern_of(find(id), attribute);
    if (!pattern) return std::nullopt;
    FluentFormatter formatter{args, pseudo, resolver, *this, {pattern}};
    std::string out;
    formatter.write(*pattern, out);
    return pseudo ? "[" + out + "]" : out;
}

// ---------------------------------------------------------------------------------------------
// Pseudo-locale

std::string pseudo_text(std::string_view text) {
    // One look-alike per ASCII letter, so that untranslated or concatenated texts stand out
    // while staying readable.
    static constexpr const char* upper[26] = {"Å", "Ɓ", "Ç", "Ď", "É", "Ƒ", "Ğ", "Ĥ", "Î", "Ĵ", "Ķ", "Ļ", "Ṁ",
                                              "Ñ", "Ö", "Þ", "Ǫ", "Ŕ", "Š", "Ţ", "Ü", "Ṽ", "Ŵ", "Ẋ", "Ý", "Ž"};
    static constexpr const char* lower[26] = {"ä", "ƀ", "ç", "ď", "é", "ƒ", "ğ", "ĥ", "î", "ĵ", "ķ", "ļ", "ɱ",
                                              "ñ", "ö", "þ", "ʠ", "ŕ", "š", "ţ", "ü", "ṽ", "ŵ", "ẋ", "ý", "ž"};
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        if (c >= 'A' && c <= 'Z') {
            out += upper[c - 'A'];
        } else if (c >= 'a' && c <= 'z') {
            out += lower[c - 'a'];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace mail::i18n
