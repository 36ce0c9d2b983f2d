#include "engine/imap_command.h"

namespace mail::engine::imap {

bool quotable(std::string_view value) {
    for (char c : value) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u == 0 || u == '\r' || u == '\n' || u >= 0x80) return false;
    }
    return true;
}

std::string quote(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    out.push_back('"');
    for (char c : value) {
        if (c == '"' || c == '\\') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

Command& Command::raw(std::string_view text) {
    arguments_.push_back({std::string(text), false});
    return *this;
}

Command& Command::string(std::string_view value) {
    if (quotable(value))
        arguments_.push_back({quote(value), false});
    else
        arguments_.push_back({std::string(value), true});
    return *this;
}

std::vector<std::string> Command::render(std::string_view tag) const {
    std::vector<std::string> pieces;
    std::string current(tag);
    current += ' ';
    current += verb_;
    for (const Argument& argument : arguments_) {
        current += ' ';
        if (!argument.literal) {
            current += argument.text;
            continue;
        }
        // The size and a line break end this piece; the bytes open the next one.
        current += '{' + std::to_string(argument.text.size()) + "}\r\n";
        pieces.push_back(std::move(current));
        current = argument.text;
    }
    current += "\r\n";
    pieces.push_back(std::move(current));
    return pieces;
}

}  // namespace mail::engine::imap
