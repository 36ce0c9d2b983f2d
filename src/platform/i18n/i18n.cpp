#include "platform/i18n/i18n.h"

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace mail::i18n {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_alnum(char c) { return is_alpha(c) || (c >= '0' && c <= '9'); }

constexpr std::string_view fallback_locale = "en-US";

std::string locale_from_environment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        return normalise_locale(value).value_or(std::string(fallback_locale));
    }
    return std::string(fallback_locale);
}

std::string_view language_of(std::string_view tag) { return tag.substr(0, tag.find('-')); }

struct ThreadState {
    std::string current = locale_from_environment();
    // In load order: the first one is the last fallback.
    std::vector<std::pair<std::string, FluentBundle>> bundles;
    bool pseudo = false;
    std::uint64_t revision = 0;

    FluentBundle* bundle(std::string_view locale) {
        for (auto& [tag, b] : bundles)
            if (tag == locale) return &b;
        return nullptr;
    }

    // The bundles to ask, best first, without repeats.
    std::vector<const FluentBundle*> chain() {
        std::vector<const FluentBundle*> out;
        auto add = [&](const FluentBundle* b) {
            if (!b) return;
            for (const FluentBundle* seen : out)
                if (seen == b) return;
            out.push_back(b);
        };
        add(bundle(current));
        add(bundle(language_of(current)));
        if (!bundles.empty()) add(&bundles.front().second);
        return out;
    }

    std::string text(std::string_view key, const FluentArgs& args) {
        const std::vector<const FluentBundle*> order = chain();
        const FluentBundle::MessageResolver resolver = [&order](std::string_view id) -> const FluentBundle* {
            for (const FluentBundle* b : order)
                if (b->has(id)) return b;
            return nullptr;
        };
        for (const FluentBundle* b : order)
            if (auto found = b->format(key, args, pseudo, resolver)) return std::move(*found);
        return std::string(key);
    }
};

ThreadState& state() {
    thread_local ThreadState instance;
    return instance;
}

}  // namespace

std::optional<std::string> normalise_locale(std::string_view tag) {
    tag = tag.substr(0, tag.find_first_of(".@"));
    if (tag.empty() || tag == "C" || tag == "POSIX") return std::nullopt;
    std::string out;
    std::size_t index = 0;
    while (true) {
        const std::size_t end = tag.find_first_of("-_");
        const std::string_view part = tag.substr(0, end);
        if (part.empty() || part.size() > 8) return std::nullopt;
        for (const char c : part)
            if (!is_alnum(c)) return std::nullopt;
        if (index == 0) {
            if (part.size() < 2 || part.size() > 8) return std::nullopt;
            for (const char c : part)
                if (!is_alpha(c)) return std::nullopt;
            for (const char c : part) out += lower(c);
        } else {
            out += '-';
            if (part.size() == 4 && is_alpha(part[0])) {
                out += upper(part[0]);
                for (const char c : part.substr(1)) out += lower(c);
            } else if (part.size() == 2 || (part.size() == 3 && !is_alpha(part[0]))) {
                for (const char c : part) out += upper(c);
            } else {
                for (const char c : part) out += lower(c);
            }
        }
        ++index;
        if (end == std::string_view::npos) break;
        tag.remove_prefix(end + 1);
    }
    return out;
}

void I18nManager::init(std::string_view locale) {
    ThreadState& s = state();
    std::string tag = normalise_locale(locale).value_or(std::string(fallback_locale));
    if (tag == s.current) return;
    s.current = std::move(tag);
    ++s.revision;
}

Status I18nManager::add_resource(std::string_view locale, std::string_view fluent_text) {
    const std::optional<std::string> tag = normalise_locale(locale);
    if (!tag) return make_error("not a locale: \"" + std::string(locale) + "\"");
    ThreadState& s = state();
    FluentBundle* existing = s.bundle(*tag);
    if (existing) {
        Result<std::size_t> changed = existing->add_resource(fluent_text);
        if (!changed) return changed.error();
        if (*changed > 0) ++s.revision;
        return {};
    }
    FluentBundle fresh;
    Result<std::size_t> added = fresh.add_resource(fluent_text);
    if (!added) return added.error();
    s.bundles.emplace_back(*tag, std::move(fresh));
    ++s.revision;
    return {};
}

std::string I18nManager::lookup(std::string_view key) { return state().text(key, {}); }

std::string I18nManager::lookup_plain(std::string_view key) { return state().text(key, {}); }

std::string I18nManager::format(std::string_view key, const FluentArgs& args) { return state().text(key, args); }

std::uint64_t I18nManager::revision() { return state().revision; }

std::string I18nManager::current_locale() { return state().current; }

bool I18nManager::pseudo_locale() { return state().pseudo; }

void I18nManager::set_pseudo_locale(bool on) {
    ThreadState& s = state();
    if (s.pseudo == on) return;
    s.pseudo = on;
    ++s.revision;
}

}  // namespace mail::i18n
