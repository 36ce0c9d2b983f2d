#pragma once
// IMAP commands as bytes to send. Strings go as quoted strings (RFC 3501: backslash and double
// quote escaped by a backslash) or, when a value cannot be quoted, as a synchronising literal.
#include <string>
#include <string_view>
#include <vector>

namespace mail::engine::imap {

// True when `value` can travel as a quoted string: 7-bit, without NUL, CR or LF.
bool quotable(std::string_view value);

// `value` between double quotes, with backslash and double quote escaped.
std::string quote(std::string_view value);

class Command {
public:
    // The command name and any fixed words: "LOGIN", "UID FETCH".
    explicit Command(std::string_view verb) : verb_(verb) {}

    // Appended after a space as it is: atoms, numbers, sequence sets, parenthesised items.
    Command& raw(std::string_view text);
    // Appended after a space as a quoted string, or a literal when it cannot be quoted.
    Command& string(std::string_view value);

    // The pieces to send with this tag, the last ending in CRLF. After every piece but the
    // last the server must answer with a continuation before the next may go out.
    std::vector<std::string> render(std::string_view tag) const;

    // What a log may show: the verb only, since arguments can hold a password.
    const std::string& verb() const { return verb_; }

private:
    struct Argument {
        std::string text;
        bool literal = false;
    };
    std::string verb_;
    std::vector<Argument> arguments_;
};

}  // namespace mail::engine::imap
