#include "platform/i18n/i18n.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace {

using mail::i18n::I18nManager;

// Every manager belongs to one thread, so each test runs on a fresh one.
void on_fresh_thread(const std::function<void()>& body) {
    std::thread worker(body);
    worker.join();
}

constexpr const char* english =
    "# Mail — user-facing strings.\n"
    "mail-search-placeholder = Search mail\n"
    "mail-setup-save = Save & verify\n"
    "mail-setup-oauth-sign-in = Sign in with { $provider }\n"
    "mail-compose-attach = 📎 Attach\n";

TEST(I18nManager, MissingKeyYieldsTheKey) {
    on_fresh_thread([] {
        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "mail-setup-save");
        ASSERT_TRUE(I18nManager::add_resource("en-US", english).ok());
        EXPECT_EQ(I18nManager::lookup("mail-setup-missing"), "mail-setup-missing");
        EXPECT_EQ(I18nManager::format("mail-nothing", {{"n", 1}}), "mail-nothing");
        I18nManager::set_pseudo_locale(true);
        EXPECT_EQ(I18nManager::lookup_plain("mail-setup-missing"), "mail-setup-missing");
    });
}

TEST(I18nManager, LooksUpThroughLocaleFallbacks) {
    on_fresh_thread([] {
        I18nManager::init("en-US");
        ASSERT_TRUE(I18nManager::add_resource("en-US", english).ok());
        ASSERT_TRUE(I18nManager::add_resource("de", "mail-setup-save = Speichern & prüfen\n"
                                                    "mail-search-placeholder = E-Mail durchsuchen\n").ok());
        ASSERT_TRUE(I18nManager::add_resource("de-AT", "mail-search-placeholder = Post durchsuchen\n").ok());

        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "Save & verify");
        I18nManager::init("de_AT.UTF-8");
        EXPECT_EQ(I18nManager::current_locale(), "de-AT");
        EXPECT_EQ(I18nManager::lookup("mail-search-placeholder"), "Post durchsuchen");  // exact locale
        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "Speichern & prüfen");        // language
        EXPECT_EQ(I18nManager::format("mail-setup-oauth-sign-in", {{"provider", "Google"}}),
                  "Sign in with Google");                                                // first loaded
        I18nManager::init("fr-FR");
        EXPECT_EQ(I18nManager::lookup("mail-search-placeholder"), "Search mail");
    });
}

TEST(I18nManager, RevisionGrowsOnEveryChangeOnly) {
    on_fresh_thread([] {
        std::uint64_t last = I18nManager::revision();
        auto grew = [&last] {
            const std::uint64_t now = I18nManager::revision();
            const bool result = now > last;
            last = now;
            return result;
        };
        ASSERT_TRUE(I18nManager::add_resource(I18nManager::current_locale(), english).ok());
        EXPECT_TRUE(grew());
        ASSERT_TRUE(I18nManager::add_resource(I18nManager::current_locale(), english).ok());
        EXPECT_FALSE(grew()) << "adding the same texts again changes nothing";
        ASSERT_TRUE(I18nManager::add_resource(I18nManager::current_locale(), "mail-setup-save = Save\n").ok());
        EXPECT_TRUE(grew());

        const mail::Status broken = I18nManager::add_resource("en-US", "ok = yes\nmail-setup-save Save\n");
        ASSERT_FALSE(broken.ok());
        EXPECT_EQ(broken.error_text().rfind("line 2: ", 0), 0u) << broken.error_text();
        EXPECT_FALSE(grew());
        EXPECT_EQ(I18nManager::lookup("ok"), "ok") << "a text with an error adds nothing";

        EXPECT_FALSE(I18nManager::add_resource("not a locale!", english).ok());
        EXPECT_FALSE(grew());

        I18nManager::set_pseudo_locale(true);
        EXPECT_TRUE(grew());
        I18nManager::set_pseudo_locale(true);
        EXPECT_FALSE(grew());
        I18nManager::init("de-DE");
        EXPECT_TRUE(grew());
        I18nManager::init("de_DE");
        EXPECT_FALSE(grew());
    });
}

TEST(I18nManager, PseudoLocaleMarksTextsButNotPlaceables) {
    on_fresh_thread([] {
        ASSERT_TRUE(I18nManager::add_resource("en-US", english).ok());
        I18nManager::init("en-US");
        I18nManager::set_pseudo_locale(true);
        EXPECT_TRUE(I18nManager::pseudo_locale());
        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "[Šäṽé & ṽéŕîƒý]");
        EXPECT_EQ(I18nManager::format("mail-setup-oauth-sign-in", {{"provider", "Google"}}),
                  "[Šîğñ îñ ŵîţĥ Google]");
        I18nManager::set_pseudo_locale(false);
        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "Save & verify");
    });
}

TEST(I18nManager, EachThreadHasItsOwnTexts) {
    on_fresh_thread([] {
        ASSERT_TRUE(I18nManager::add_resource("en-US", english).ok());
        I18nManager::set_pseudo_locale(true);
        on_fresh_thread([] {
            EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "mail-setup-save");
            EXPECT_FALSE(I18nManager::pseudo_locale());
        });
        EXPECT_TRUE(I18nManager::pseudo_locale());
    });
}

// The registration a program runs once per thread before its first lookup.
void register_program_texts() {
    const std::uint64_t before = I18nManager::revision();
    (void)I18nManager::add_resource(I18nManager::current_locale(), english);
    if (I18nManager::revision() != before) return;
    const bool pseudo = I18nManager::pseudo_locale();
    if (pseudo) I18nManager::set_pseudo_locale(false);
    const std::string probe = I18nManager::lookup_plain("mail-search-placeholder");
    if (pseudo) I18nManager::set_pseudo_locale(true);
    if (probe == "mail-search-placeholder") {
        I18nManager::init("en-US");
        (void)I18nManager::add_resource("en-US", english);
    }
}

TEST(I18nManager, ProgramRegistrationWorksWhateverTheThreadAlreadyHolds) {
    on_fresh_thread([] {
        register_program_texts();
        EXPECT_EQ(I18nManager::lookup("mail-setup-save"), "Save & verify");
    });
    on_fresh_thread([] {
        // Registered before by another part of the program, with the pseudo-locale on.
        ASSERT_TRUE(I18nManager::add_resource(I18nManager::current_locale(), english).ok());
        I18nManager::set_pseudo_locale(true);
        register_program_texts();
        EXPECT_TRUE(I18nManager::pseudo_locale());
        EXPECT_EQ(I18nManager::lookup("mail-compose-attach"), "[📎 Åţţäçĥ]");
    });
}

TEST(I18nManager, LocaleTags) {
    struct Case {
        const char* tag;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"en-US", "en-US"},       {"de_AT.UTF-8", "de-AT"},  {"EN-us", "en-US"},   {"sr_RS@latin", "sr-RS"},
        {"zh-hant-tw", "zh-Hant-TW"}, {"es-419", "es-419"},  {"de", "de"},         {"C", std::nullopt},
        {"POSIX", std::nullopt},  {"", std::nullopt},        {"e", std::nullopt},   {"en--US", std::nullopt},
        {"en US", std::nullopt},  {"toolongsubtag-x", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(mail::i18n::normalise_locale(c.tag), c.expected) << c.tag;
}

TEST(I18nManager, StartsInTheEnvironmentsLocale) {
    const char* saved = std::getenv("LC_ALL");
    const std::optional<std::string> previous = saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("LC_ALL", "pt_BR.UTF-8", 1);
    on_fresh_thread([] { EXPECT_EQ(I18nManager::current_locale(), "pt-BR"); });
    setenv("LC_ALL", "C", 1);
    on_fresh_thread([] { EXPECT_EQ(I18nManager::current_locale(), "en-US"); });
    if (previous) {
        setenv("LC_ALL", previous->c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

}  // namespace
