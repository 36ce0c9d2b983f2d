#include "engine/imap_parser.h"

#include <array>
#include <cstring>
#include <limits>

namespace mail::engine::imap {

namespace {

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
    return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Status responses carry only resp-text, which has no literals: a "{5}" at the end of their
// line is text, not a literal announcement.
bool is_status_line(std::string_view line) {
    if (line.starts_with("+")) return true;
    if (!line.starts_with("* ")) return true;  // tagged: always a status response
    std::string_view rest = line.substr(2);
    for (std::string_view word : {"OK", "NO", "BAD", "BYE", "PREAUTH"}) {
        if (rest.size() >= word.size() && iequals(rest.substr(0, word.size()), word) &&
            (rest.size() == word.size() || rest[word.size()] == ' ' || rest[word.size()] == '\r'))
            return true;
    }
    return false;
}

// The literal size a line announces at its end ("{123}" or "{123+}"), if any.
std::optional<std::uint64_t> announced_literal(std::string_view line) {
    if (line.empty() || line.back() != '}') return std::nullopt;
    std::size_t open = line.rfind('{');
    if (open == std::string_view::npos) return std::nullopt;
    std::string_view digits = line.substr(open + 1, line.size() - open - 2);
    if (!digits.empty() && digits.back() == '+') digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 19) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : digits) {
        if (!is_digit(c)) return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
}

struct Failure {
    std::string message;
};

// One grammar rule per method over a complete, framed response. Failures unwind as a
// Failure value through `fail_`; every method checks `ok()` before going on.
class Cursor {
public:
    Cursor(std::string_view data, const ParserLimits& limits) : data_(data), limits_(limits) {}

    bool ok() const { return !error_; }
    const std::string& error() const { return *error_; }
    bool at_end() const { return pos_ >= data_.size(); }
    char peek() const { return at_end() ? '\0' : data_[pos_]; }
    std::size_t pos() const { return pos_; }

    void fail(std::string message) {
        if (!error_) error_ = std::move(message);
        pos_ = data_.size();
    }

    bool take(char c) {
        if (peek() != c || at_end()) return false;
        ++pos_;
        return true;
    }

    void expect(char c, const char* what) {
        if (!take(c)) fail(std::string("expected ") + what);
    }

    void sp() { expect(' ', "a space"); }

    // The end of the response: CRLF (a bare LF is accepted from lenient servers), after any
    // trailing spaces some servers leave.
    void line_end() {
        while (take(' ')) {
        }
        take('\r');
        if (!take('\n')) fail("unexpected text at the end of a response");
        if (!at_end()) fail("unexpected bytes after a response");
    }

    bool at_line_end() const { return peek() == '\r' || peek() == '\n' || at_end(); }

    // Everything up to the line end, as text.
    std::string rest_of_line() {
        std::size_t start = pos_;
        while (!at_line_end()) ++pos_;
        return std::string(data_.substr(start, pos_ - start));
    }

    static bool atom_char(char c) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x1f || u == 0x7f) return false;
        return !std::strchr(" (){\"]", c);
    }

    // atom; `allow_bracket` for astring (resp-specials "]" allowed) and flags.
    std::string_view atom(bool allow_bracket = false) {
        std::size_t start = pos_;
        while (!at_end() && (atom_char(data_[pos_]) || (allow_bracket && data_[pos_] == ']'))) ++pos_;
        if (pos_ == start) fail("expected an atom");
        return data_.substr(start, pos_ - start);
    }

    // A FETCH item name: an atom that stops before a section's "[".
    std::string_view item_name() {
        std::size_t start = pos_;
        while (!at_end() && atom_char(data_[pos_]) && data_[pos_] != '[') ++pos_;
        if (pos_ == start) fail("expected a FETCH item");
        return data_.substr(start, pos_ - start);
    }

    std::uint64_t number64() {
        std::size_t start = pos_;
        std::uint64_t n = 0;
        while (!at_end() && is_digit(data_[pos_])) {
            unsigned digit = static_cast<unsigned>(data_[pos_] - '0');
            if (n > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
                fail("number too large");
                return 0;
            }
            n = n * 10 + digit;
            ++pos_;
        }
        if (pos_ == start) fail("expected a number");
        return n;
    }

    std::uint32_t number() {
        std::uint64_t n = number64();
        if (n > std::numeric_limits<std::uint32_t>::max()) {
            fail("number too large");
            return 0;
        }
        return static_cast<std::uint32_t>(n);
    }

    std::string quoted() {
        expect('"', "a quoted string");
        std::string out;
        while (ok()) {
            if (at_end()) {
                fail("unterminated quoted string");
                break;
            }
            char c = data_[pos_++];
            if (c == '"') break;
            if (c == '\r' || c == '\n') {
                fail("line break inside a quoted string");
                break;
            }
            if (c == '\\') {
                if (at_end()) {
                    fail("unterminated quoted string");
                    break;
                }
                c = data_[pos_++];  // quoted-specials; other escapes are taken literally
            }
            out.push_back(c);
        }
        return out;
    }

    // "{n}" CRLF and n bytes; framing has already checked that they are all here.
    std::string literal() {
        take('~');  // literal8 (BINARY) has the same shape
        expect('{', "a literal");
        std::uint64_t size = number64();
        take('+');
        expect('}', "the end of a literal size");
        take('\r');
        expect('\n', "a line break after a literal size");
        if (!ok()) return {};
        if (size > limits_.max_literal_bytes || size > data_.size() - pos_) {
            fail("literal larger than the response");
            return {};
        }
        std::string out(data_.substr(pos_, static_cast<std::size_t>(size)));
        pos_ += static_cast<std::size_t>(size);
        return out;
    }

    bool at_literal() const { return peek() == '{' || (peek() == '~' && pos_ + 1 < data_.size() && data_[pos_ + 1] == '{'); }

    std::string string() {
        if (peek() == '"') return quoted();
        if (at_literal()) return literal();
        fail("expected a string");
        return {};
    }

    bool take_nil() {
        if (data_.size() - pos_ >= 3 && iequals(data_.substr(pos_, 3), "NIL") &&
            (pos_ + 3 == data_.size() || !atom_char(data_[pos_ + 3]))) {
            pos_ += 3;
            return true;
        }
        return false;
    }

    std::optional<std::string> nstring() {
        if (take_nil()) return std::nullopt;
        return string();
    }

    std::string astring() {
        if (peek() == '"' || at_literal()) return string();
        return std::string(atom(true));
    }

    // flag-list: "(" [flag *(SP flag)] ")"; a flag is an atom, "\" atom, or "\*".
    std::vector<std::string> flag_list() {
        std::vector<std::string> flags;
        expect('(', "a flag list");
        while (ok() && !take(')')) {
            if (!flags.empty()) sp();
            std::size_t start = pos_;
            take('\\');
            if (!take('*')) atom(true);
            if (ok()) flags.emplace_back(data_.substr(start, pos_ - start));
        }
        return flags;
    }

    // Any value, read and dropped: for FETCH items and response data we do not use.
    void skip_value(int depth = 0) {
        if (depth > limits_.max_depth) return fail("lists nested too deeply");
        if (take('(')) {
            bool first = true;
            while (ok() && !take(')')) {
                if (at_end()) return fail("unterminated list");
                if (!first) sp();
                first = false;
                if (peek() == ')') continue;  // tolerate a space before the closing parenthesis
                skip_value(depth + 1);
            }
            return;
        }
        if (peek() == '"' || at_literal()) {
            string();
            return;
        }
        // atoms, numbers, NIL, and bracketed section names such as BODY[HEADER]
        std::size_t start = pos_;
        while (!at_end()) {
            char c = data_[pos_];
            if (c == '[') {
                std::size_t close = data_.find(']', pos_);
                if (close == std::string_view::npos) return fail("unterminated section");
                pos_ = close + 1;
                continue;
            }
            if (!atom_char(c)) break;
            ++pos_;
        }
        if (pos_ == start) fail("expected a value");
    }

private:
    std::string_view data_;
    const ParserLimits& limits_;
    std::size_t pos_ = 0;
    std::optional<std::string> error_;
};

Condition condition_of(std::string_view word) {
    if (iequals(word, "OK")) return Condition::Ok;
    if (iequals(word, "NO")) return Condition::No;
    if (iequals(word, "BAD")) return Condition::Bad;
    if (iequals(word, "PREAUTH")) return Condition::Preauth;
    if (iequals(word, "BYE")) return Condition::Bye;
    return Condition::None;
}

std::vector<std::string> split_capabilities(std::string_view text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ') ++i;
        std::size_t start = i;
        while (i < text.size() && text[i] != ' ') ++i;
        if (i > start) out.push_back(upper(text.substr(start, i - start)));
    }
    return out;
}

// resp-text: ["[" resp-text-code "]" SP] text. The code's arguments are kept as text.
void parse_resp_text(Cursor& in, Response& r) {
    if (in.take('[')) {
        std::string_view code = in.atom();
        r.code = upper(code);
        std::string args;
        if (in.take(' ')) {
            while (in.ok() && !in.at_line_end() && in.peek() != ']') {
                args.push_back(in.peek());
                in.take(in.peek());
            }
        }
        in.expect(']', "the end of a response code");
        r.code_text = std::move(args);
        if (r.code == "CAPABILITY") r.capabilities = split_capabilities(r.code_text);
        in.take(' ');
    }
    r.text = in.rest_of_line();
}

void parse_fetch(Cursor& in, Response& r) {
    FetchData f;
    f.sequence = *r.number;
    in.expect('(', "the FETCH item list");
    bool first = true;
    while (in.ok() && !in.take(')')) {
        if (!first) in.sp();
        first = false;
        if (!in.ok()) break;
        // The item name, with a section and an origin for BODY[...]<n>.
        std::string name = upper(in.item_name());
        std::string section;
        bool has_section = false;
        if (in.take('[')) {
            has_section = true;
            while (in.ok() && !in.take(']')) {
                if (in.at_line_end()) return in.fail("unterminated FETCH section");
                section.push_back(in.peek());
                in.take(in.peek());
            }
            if (in.take('<')) {
                in.number64();
                in.expect('>', "the end of an origin");
            }
        }
        in.sp();
        if (!in.ok()) break;
        if (name == "UID") {
            f.uid = in.number();
        } else if (name == "FLAGS") {
            f.flags = in.flag_list();
        } else if (name == "INTERNALDATE") {
            std::string text = in.quoted();
            if (!in.ok()) break;
            f.internal_date = parse_internal_date(text);
            if (!f.internal_date) return in.fail("malformed INTERNALDATE");
        } else if ((name == "BODY" && has_section && section.empty()) || name == "RFC822") {
            std::optional<std::string> body = in.nstring();
            if (body) f.body = std::move(*body);
        } else {
            in.skip_value();
        }
    }
    r.fetch = std::move(f);
}

void parse_list(Cursor& in, Response& r) {
    ListEntry entry;
    entry.attributes = in.flag_list();
    in.sp();
    if (!in.take_nil()) entry.delimiter = in.quoted();
    in.sp();
    entry.name = in.astring();
    // LIST-EXTENDED may add a parenthesised extension list; it says nothing we use.
    if (in.ok() && in.take(' ') && in.peek() == '(') in.skip_value();
    r.list = std::move(entry);
}

void parse_search(Cursor& in, Response& r) {
    while (in.ok() && in.take(' ')) {
        if (in.peek() == '(') {  // "(MODSEQ n)" after the numbers (CONDSTORE)
            in.skip_value();
            continue;
        }
        if (in.at_line_end()) break;
        r.search.push_back(in.number());
    }
}

void parse_untagged(Cursor& in, Response& r) {
    if (is_digit(in.peek())) {
        r.number = in.number();
        in.sp();
        r.name = upper(in.atom());
        if (!in.ok()) return;
        if (r.name == "FETCH") {
            in.sp();
            parse_fetch(in, r);
        } else {
            // EXISTS, RECENT, EXPUNGE carry nothing more; others are read and dropped.
            while (in.ok() && in.take(' ') && !in.at_line_end()) in.skip_value();
        }
        return;
    }
    std::string_view word = in.atom();
    if (!in.ok()) return;
    r.name = upper(word);
    r.condition = condition_of(word);
    if (r.condition != Condition::None) {
        if (in.take(' ')) parse_resp_text(in, r);
        return;
    }
    if (r.name == "LIST" || r.name == "LSUB") {
        in.sp();
        parse_list(in, r);
    } else if (r.name == "SEARCH") {
        parse_search(in, r);
    } else if (r.name == "CAPABILITY") {
        in.take(' ');
        r.capabilities = split_capabilities(in.rest_of_line());
    } else {
        while (in.ok() && in.take(' ') && !in.at_line_end()) in.skip_value();
    }
}

}  // namespace

std::variant<std::size_t, NeedMore, ProtocolError> frame_response(std::string_view buffer, const ParserLimits& limits) {
    std::size_t pos = 0;
    bool first_line = true;
    bool status = false;
    while (true) {
        std::size_t lf = buffer.find('\n', pos);
        if (lf == std::string_view::npos) {
            if (buffer.size() > limits.max_response_bytes) return ProtocolError{"server response too large"};
            return NeedMore{buffer.size() + 1};
        }
        std::string_view line = buffer.substr(pos, lf - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first_line) {
            status = is_status_line(line);
            first_line = false;
        }
        std::size_t end = lf + 1;
        if (end > limits.max_response_bytes) return ProtocolError{"server response too large"};
        std::optional<std::uint64_t> literal = status ? std::nullopt : announced_literal(line);
        if (!literal) return end;
        if (*literal > limits.max_literal_bytes)
            return ProtocolError{"server sent a literal of " + std::to_string(*literal) + " bytes, more than the limit of " +
                                 std::to_string(limits.max_literal_bytes)};
        if (*literal > limits.max_response_bytes - end) return ProtocolError{"server response too large"};
        std::size_t after = end + static_cast<std::size_t>(*literal);
        if (buffer.size() < after) return NeedMore{after + 2};
        pos = after;
    }
}

ParseResult parse_response(std::string_view buffer, const ParserLimits& limits) {
    auto framed = frame_response(buffer, limits);
    if (auto* more = std::get_if<NeedMore>(&framed)) return *more;
    if (auto* error = std::get_if<ProtocolError>(&framed)) return *error;
    const std::size_t length = std::get<std::size_t>(framed);

    Cursor in(buffer.substr(0, length), limits);
    Response r;
    if (in.take('+')) {
        r.kind = Response::Kind::Continuation;
        in.take(' ');
        r.text = in.rest_of_line();
    } else if (in.take('*')) {
        r.kind = Response::Kind::Untagged;
        in.sp();
        if (in.ok()) parse_untagged(in, r);
    } else {
        r.kind = Response::Kind::Tagged;
        r.tag = std::string(in.atom());
        in.sp();
        if (in.ok()) {
            std::string_view word = in.atom();
            r.condition = condition_of(word);
            if (in.ok() && (r.condition == Condition::None || r.condition == Condition::Preauth ||
                            r.condition == Condition::Bye))
                in.fail("tagged response without OK, NO or BAD");
            r.name = upper(word);
        }
        if (in.ok() && in.take(' ')) parse_resp_text(in, r);
    }
    if (in.ok()) in.line_end();
    if (!in.ok()) {
        std::string shown(buffer.substr(0, std::min<std::size_t>(length, 80)));
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
        for (char& c : shown)
            if (static_cast<unsigned char>(c) < 0x20) c = ' ';
        return ProtocolError{"malformed server response (" + in.error() + "): " + shown};
    }
    return Complete{std::move(r), length};
}

std::optional<std::int64_t> parse_internal_date(std::string_view text) {
    // date-time = DQUOTE date-day-fixed "-" date-month "-" date-year SP time SP zone DQUOTE
    // (the quotes are already gone); the day may be padded with a space or have one digit.
    if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    auto digits = [&](std::size_t at, std::size_t n) -> std::optional<int> {
        if (at + n > text.size()) return std::nullopt;
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (!is_digit(text[i])) return std::nullopt;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    std::size_t day_len = text.size() > 1 && text[1] == '-' ? 1 : 2;
    auto day = digits(0, day_len);
    std::size_t p = day_len;
    if (!day || p >= text.size() || text[p] != '-') return std::nullopt;
    static constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (p + 4 > text.size()) return std::nullopt;
    int month = 0;
    for (int m = 0; m < 12; ++m)
        if (iequals(text.substr(p + 1, 3), kMonths[static_cast<std::size_t>(m)])) month = m + 1;
    p += 4;
    if (month == 0 || p >= text.size() || text[p] != '-') return std::nullopt;
    auto year = digits(p + 1, 4);
    p += 5;
    if (!year || p >= text.size() || text[p] != ' ') return std::nullopt;
    auto hour = digits(p + 1, 2), minute = digits(p + 4, 2), second = digits(p + 7, 2);
    if (!hour || !minute || !second || text[p + 3] != ':' || text[p + 6] != ':') return std::nullopt;
    p += 9;
    if (p + 6 != text.size() || text[p] != ' ' || (text[p + 1] != '+' && text[p + 1] != '-')) return std::nullopt;
    auto zh = digits(p + 2, 2), zm = digits(p + 4, 2);
    if (!zh || !zm) return std::nullopt;
    if (*day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60 || *zm > 59) return std::nullopt;

    // Days from the civil date (proleptic Gregorian), then the zone offset.
    int y = *year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + *day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t days = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    std::int64_t seconds = days * 86400 + *hour * 3600 + *minute * 60 + *second;
    std::int64_t offset = (*zh * 3600 + *zm * 60) * (text[p + 1] == '-' ? -1 : 1);
    return seconds - offset;
}

}  // namespace mail::engine::imap
