// Credential resolution over a real vault file: every failure text, and when a token is refreshed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "engine/credentials.h"
#include "platform/base/base64.h"

namespace mail::engine {
namespace {

class Credentials_ : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() / ("imap-cred-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        sources.open_vault = [this] { return services::SecretVault::open_in(root); };
        sources.now = [] { return std::uint64_t{10000}; };
        sources.refresh = [this](OAuthProvider, const std::string& client, const std::string& token) -> Result<OAuthTokens> {
            refreshed_with = client + "/" + token;
            return OAuthTokens{"new-access", "the-refresh", 3600, 10000};
        };
        ::setenv("VARO_MAIL_GOOGLE_CLIENT_ID", "cid", 1);
    }
    void TearDown() override {
        ::unsetenv("VARO_MAIL_GOOGLE_CLIENT_ID");
        std::filesystem::remove_all(root);
    }
    void store(const std::string& key, std::optional<std::string> token) {
        auto vault = services::SecretVault::open_in(root);
        vault->put(key, {"", std::move(token)});
        ASSERT_TRUE(vault->try_save().ok());
    }
    static StoredConfig oauth(const std::string& email) {
        StoredConfig c;
        c.email = email;
        c.auth = AuthMethod::OAuth;
        return c;
    }
    std::string error_of(const StoredConfig& c) {
        auto r = resolve_credentials(c, sources);
        return r.ok() ? "(resolved)" : r.error_text();
    }

    std::filesystem::path root;
    CredentialSources sources;
    std::string refreshed_with;
};

TEST_F(Credentials_, PasswordAndLoginName) {
    StoredConfig c;
    c.email = "me@example.test";
    c.username = "  login-name \t";
    c.password = "pw";
    EXPECT_EQ(std::get<PasswordCredentials>(*resolve_credentials(c, sources)),
              (PasswordCredentials{"login-name", "pw"}));
    c.username = "   ";
    EXPECT_EQ(std::get<PasswordCredentials>(*resolve_credentials(c, sources)).login, "me@example.test");
    c.password.clear();
    EXPECT_EQ(error_of(c), "no password set for this account");
}

TEST_F(Credentials_, OAuthFailureTexts) {
    EXPECT_EQ(error_of(oauth("a@gmail.com")), "not signed in (no OAuth token in vault)");
    store("b@gmail.com", std::nullopt);
    EXPECT_EQ(error_of(oauth("b@gmail.com")), "stored credential is not an OAuth token");
    store("c@gmail.com", "{\"access_token\":1}");
    EXPECT_EQ(error_of(oauth("c@gmail.com")), "stored credential is not an OAuth token");
    store("d@example.test", tokens_to_json({"t", "r", 0, 0}));
    EXPECT_EQ(error_of(oauth("d@example.test")), "cannot refresh: unknown OAuth provider");
    store("e@outlook.com", tokens_to_json({"t", "r", 0, 0}));
    EXPECT_EQ(error_of(oauth("e@outlook.com")), "set VARO_MAIL_MICROSOFT_CLIENT_ID to refresh the token");
    store("f@gmail.com", tokens_to_json({"t", "", 0, 0}));
    EXPECT_EQ(error_of(oauth("f@gmail.com")), "access token expired and no refresh token; sign in again");
    sources.refresh = [](OAuthProvider, const std::string&, const std::string&) -> Result<OAuthTokens> {
        return make_error("token refresh rejected: {\"error\":\"invalid_grant\"}");
    };
    store("g@gmail.com", tokens_to_json({"t", "r", 0, 0}));
    EXPECT_EQ(error_of(oauth("g@gmail.com")), "token refresh rejected: {\"error\":\"invalid_grant\"}");
}

TEST_F(Credentials_, RefreshesOnlyWithinAMinuteOfExpiry) {
    // now is 10000: a token expiring 61 s from now is used, one expiring in 59 s is refreshed.
    store("late@gmail.com", tokens_to_json({"still-good", "r", 1061, 10000 - 1000}));
    EXPECT_EQ(std::get<OAuthCredentials>(*resolve_credentials(oauth("late@gmail.com"), sources)).access_token, "still-good");
    EXPECT_TRUE(refreshed_with.empty());
    store("soon@GMAIL.com", tokens_to_json({"old", "r1", 1059, 10000 - 1000}));
    StoredConfig c = oauth("soon@GMAIL.com");
    c.username = "soon-login";
    EXPECT_EQ(std::get<OAuthCredentials>(*resolve_credentials(c, sources)), (OAuthCredentials{"soon-login", "new-access"}));
    EXPECT_EQ(refreshed_with, "cid/r1");
    auto saved = services::SecretVault::open_in(root)->get("soon@GMAIL.com");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->password, "");
    EXPECT_EQ(tokens_from_json(*saved->token), (OAuthTokens{"new-access", "the-refresh", 3600, 10000}));
}

TEST(OAuthTokens, FormsAndXoauth2) {
    EXPECT_EQ(tokens_to_json({"a", "r", 5, 7}), R"({"access_token":"a","refresh_token":"r","expires_in":5,"obtained_at":7})");
    EXPECT_EQ(parse_token_response(R"({"access_token":"x","expires_in":"soon"})", 9), (OAuthTokens{"x", "", 0, 9}));
    EXPECT_FALSE(parse_token_response(R"({"access_token":""})", 9).has_value());
    EXPECT_FALSE(parse_token_response("<html>error</html>", 9).has_value());
    EXPECT_TRUE(needs_refresh({"a", "", UINT64_MAX, UINT64_MAX}, UINT64_MAX));  // saturating, no wrap to "fresh"
    EXPECT_EQ(xoauth2_string("u@x", "tok"), std::string("user=u@x\x01" "auth=Bearer tok\x01\x01"));
    EXPECT_EQ(base64::encode(xoauth2_string("u@x", "tok")), "dXNlcj11QHgBYXV0aD1CZWFyZXIgdG9rAQE=");
    EXPECT_EQ(base64::encode(""), "");
    EXPECT_EQ(base64::encode("ab"), "YWI=");
    EXPECT_EQ(detect_provider("x@GoogleMail.com"), OAuthProvider::Google);
    EXPECT_EQ(detect_provider("x@hotmail.com"), OAuthProvider::Microsoft);
    EXPECT_EQ(detect_provider("x@gmail.com.evil"), std::nullopt);
    EXPECT_EQ(detect_provider("no-at-sign"), std::nullopt);
}

}  // namespace
}  // namespace mail::engine
