#include "app/texts.h"

namespace mail::app {

namespace {

// Each thread registers once; the manager's state is per thread as well.
void register_resource_once() {
    thread_local bool registered = false;
    if (registered) return;
    using i18n::I18nManager;
    const auto revision = I18nManager::revision();
    (void)I18nManager::add_resource(I18nManager::current_locale(), fluent_resource());
    if (I18nManager::revision() == revision) {
        // Nothing changed: make sure the texts are reachable at all, else start over in English.
        const bool pseudo = I18nManager::pseudo_locale();
        if (pseudo) I18nManager::set_pseudo_locale(false);
        const std::string probe = I18nManager::lookup_plain("mail-search-placeholder");
        if (pseudo) I18nManager::set_pseudo_locale(true);
        if (probe == "mail-search-placeholder") {
            I18nManager::init("en-US");
            (void)I18nManager::add_resource("en-US", fluent_resource());
        }
    }
    registered = true;
}

}  // namespace

std::string text(std::string_view key) {
    register_resource_once();
    return i18n::I18nManager::lookup(key);
}

std::string text(std::string_view key, const i18n::FluentArgs& args) {
    register_resource_once();
    return i18n::I18nManager::format(key, args);
}

}  // namespace mail::app
