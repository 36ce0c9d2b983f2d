#pragma once
// A small Fluent (Project Fluent localisation syntax) reader and formatter: comments, messages,
// multi-line values, attributes, `{ $var }`, string and number literals, message references
// and select expressions on a variable with English plural categories. Everything else in the
// full syntax (terms, functions) is refused as a parse error naming its line.
#include <concepts>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/result.h"

namespace mail::i18n {

// An argument of a formatted message: a text or a number.
class FluentArg {
public:
    FluentArg(std::string text) : value_(std::move(text)) {}
    FluentArg(std::string_view text) : value_(std::string(text)) {}
    FluentArg(const char* text) : value_(std::string(text)) {}
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char>)
    FluentArg(T number) : value_(static_cast<std::int64_t>(number)) {}
    template <std::floating_point T>
    FluentArg(T number) : value_(static_cast<double>(number)) {}

    bool is_number() const { return !std::holds_alternative<std::string>(value_); }
    double number() const;
    // The argument as it appears in text: numbers that are whole are written as integers.
    std::string to_text() const;
    // English plural category of a number: "one" or "other"; empty for texts.
    std::string_view plural_category() const;

private:
    std::variant<std::string, std::int64_t, double> value_;
};

using FluentArgs = std::vector<std::pair<std::string, FluentArg>>;

namespace fluent_detail {
struct Message;
}

// The messages of one locale, added from Fluent texts. Single-threaded.
class FluentBundle {
public:
    FluentBundle();
    ~FluentBundle();
    FluentBundle(FluentBundle&&) noexcept;
    FluentBundle& operator=(FluentBundle&&) noexcept;

    // Parses the whole text first and adds nothing when it has an error ("line 3: …").
    // Messages already present are replaced. Answers how many messages were new or changed.
    Result<std::size_t> add_resource(std::string_view source);

    // Whether "key" (a message with a value) or "key.attr" (an attribute) exists.
    bool has(std::string_view key) const;

    // Resolves other messages referred to by `{ other }`; nothing when unknown. Lets a bundle
    // chain through the fallback locales of its owner.
    using MessageResolver = std::function<const FluentBundle*(std::string_view key)>;

    // The formatted text of "key" or "key.attr", or nothing when this bundle lacks it. With
    // `pseudo` the text (not the placeables) is written in accented look-alike letters and
    // wrapped in brackets. A missing argument shows as "{$name}".
    std::optional<std::string> format(std::string_view key, const FluentArgs& args, bool pseudo,
                                      const MessageResolver& resolver = {}) const;

private:
    friend struct FluentFormatter;
    const fluent_detail::Message* find(std::string_view id) const;
    std::map<std::string, std::shared_ptr<const fluent_detail::Message>, std::less<>> messages_;
};

// The accented look-alike form of a text, as the pseudo-locale shows it (without brackets).
std::string pseudo_text(std::string_view text);

}  // namespace mail::i18n
