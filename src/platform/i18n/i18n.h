#pragma once
// Localised texts for the calling thread. Each thread has its own manager: a program adds its
// Fluent resource lazily on every thread that looks texts up, and threads never share state.
//
//   I18nManager::add_resource(I18nManager::current_locale(), resource_text);
//   I18nManager::lookup("mail-setup-save");                         // "Save & verify"
//   I18nManager::format("mail-setup-oauth-sign-in", {{"provider", "Google"}});
//
// A key that no loaded locale has is answered with the key itself. Lookups go from the current
// locale ("de-AT") to its language ("de") to the locale loaded first.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/i18n/fluent.h"

namespace mail::i18n {

class I18nManager {
public:
    // Makes `locale` (a tag such as "de-AT" or "de_AT.UTF-8") current, keeping loaded resources.
    // An empty or malformed tag means "en-US". Before the first call the current locale comes
    // from LC_ALL, LC_MESSAGES or LANG ("en-US" for "C", "POSIX" or none).
    static void init(std::string_view locale);

    // Adds the messages of a Fluent text to `locale`, replacing messages of the same name. A
    // text with a syntax error adds nothing and fails with "line N: …".
    static Status add_resource(std::string_view locale, std::string_view fluent_text);

    // The text of "key" or "key.attr" without arguments (a placeable naming one shows "{$name}").
    static std::string lookup(std::string_view key);
    // The same text as `lookup`, for callers that need plain text: this manager never wraps
    // placeables in directional isolation marks, so the two agree.
    static std::string lookup_plain(std::string_view key);
    // The text with its arguments filled in; numbers that are whole are written as integers.
    static std::string format(std::string_view key, const FluentArgs& args);

    // Grows whenever a change could alter a looked-up text (resources, locale, pseudo-locale);
    // callers that cache texts compare it.
    static std::uint64_t revision();
    static std::string current_locale();

    // The pseudo-locale writes every found text in accented look-alike letters inside brackets
    // ("[Šäṽé ďŕäƒţ]"), leaving placeables and keys untouched, to spot hard-coded texts.
    static bool pseudo_locale();
    static void set_pseudo_locale(bool on);
};

// "de_AT.UTF-8" → "de-AT", "EN-us" → "en-US"; nothing for a tag that is not one.
std::optional<std::string> normalise_locale(std::string_view tag);

}  // namespace mail::i18n
