#include "app/texts.h"

#include <gtest/gtest.h>

#include <thread>

namespace mail::app {
namespace {

TEST(Texts, ResourceIsRegisteredLazilyOnEveryThread) {
    EXPECT_EQ(text("mail-search-placeholder"), "Search");
    EXPECT_EQ(text("mail-setup-save"), "Save & verify");
    EXPECT_EQ(text("mail-setup-oauth-sign-in", {{"provider", std::string("Google")}}), "Sign in with Google");
    EXPECT_EQ(text("mail-no-such-key"), "mail-no-such-key");

    std::string other_thread;
    std::thread([&] { other_thread = text("mail-compose-send"); }).join();
    EXPECT_EQ(other_thread, "Send");
}

TEST(Texts, ResourceStartsWithItsHeading) {
    EXPECT_EQ(fluent_resource().rfind("# Mail \u2014 user-facing strings.", 0), 0u);
}

}  // namespace
}  // namespace mail::app
