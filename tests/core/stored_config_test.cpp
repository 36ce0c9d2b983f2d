#include <gtest/gtest.h>

#include "core/stored_config.h"
#include "platform/base/uuid.h"

namespace mail {
namespace {

const char* kFull =
    R"({"display_name":"Ada","email":"ada@example.com","imap_host":"imap.example.com","imap_port":993,)"
    R"("imap_tls":true,"smtp_host":"smtp.example.com","smtp_port":587,"smtp_tls":false,"username":"ada",)"
    R"("auth":"OAuth","collapsed":true})";

TEST(StoredConfig, NewAccountDefaults) {
    StoredConfig c;
    EXPECT_EQ(c.imap_port, 993);
    EXPECT_TRUE(c.imap_tls);
    EXPECT_EQ(c.smtp_port, 465);
    EXPECT_TRUE(c.smtp_tls);
    EXPECT_EQ(c.auth, AuthMethod::Password);
    EXPECT_TRUE(c.email.empty() && c.password.empty());
}

TEST(SettingsJson, WritesFieldsInOrderWithoutPassword) {
    StoredConfig c;
    c.display_name = "Ada";
    c.email = "ada@example.com";
    c.imap_host = "imap.example.com";
    c.smtp_host = "smtp.example.com";
    c.smtp_port = 587;
    c.smtp_tls = false;
    c.username = "ada";
    c.auth = AuthMethod::OAuth;
    c.password = "secret";
    std::string text = write_settings_json(c, true);
    EXPECT_EQ(text, kFull);
    EXPECT_EQ(text.find("secret"), std::string::npos);

    auto back = read_settings_json(text);
    ASSERT_TRUE(back.ok()) << back.error_text();
    c.password.clear();
    EXPECT_EQ(back->config, c);
    EXPECT_TRUE(back->collapsed);
}

// Replaces `"key":value` in the full object (or drops it when replacement is empty).
std::string with(const std::string& key, const std::string& replacement) {
    std::string text = kFull;
    auto at = text.find("\"" + key + "\":");
    auto end = text.find_first_of(",}", at);
    if (replacement.empty()) {
        if (text[end] == ',') ++end;
        else if (text[at - 1] == ',') --at;
        text.erase(at, end - at);
    } else {
        text.replace(at, end - at, "\"" + key + "\":" + replacement);
    }
    return text;
}

TEST(SettingsJson, OptionalFieldsAndExtraKeys) {
    auto no_auth = read_settings_json(with("auth", ""));
    ASSERT_TRUE(no_auth.ok()) << no_auth.error_text();
    EXPECT_EQ(no_auth->config.auth, AuthMethod::Password);

    auto no_collapsed = read_settings_json(with("collapsed", ""));
    ASSERT_TRUE(no_collapsed.ok());
    EXPECT_FALSE(no_collapsed->collapsed);

    auto extra = read_settings_json(with("username", R"("ada","signature":{"x":[1,2]})"));
    ASSERT_TRUE(extra.ok()) << extra.error_text();
    EXPECT_EQ(extra->config.username, "ada");

    auto edges = read_settings_json(with("imap_port", "0"));
    ASSERT_TRUE(edges.ok());
    EXPECT_EQ(edges->config.imap_port, 0);
    auto top = read_settings_json(with("smtp_port", "65535"));
    ASSERT_TRUE(top.ok());
    EXPECT_EQ(top->config.smtp_port, 65535);
}

TEST(SettingsJson, UnreadableSettings) {
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"missing imap_port", with("imap_port", "")},
        {"missing email", with("email", "")},
        {"missing username", with("username", "")},
        {"email twice", with("email", R"("a@example.com","email":"b@example.com")")},
        {"port too large", with("imap_port", "65536")},
        {"negative port", with("smtp_port", "-1")},
        {"fractional port", with("imap_port", "993.5")},
        {"port as text", with("imap_port", "\"993\"")},
        {"tls as number", with("imap_tls", "1")},
        {"name as null", with("display_name", "null")},
        {"unknown auth", with("auth", "\"Kerberos\"")},
        {"auth lower case", with("auth", "\"oauth\"")},
        {"collapsed as text", with("collapsed", "\"yes\"")},
        {"not an object", "[1,2]"},
        {"not JSON", "{\"email\":"},
    };
    for (const auto& c : cases) EXPECT_FALSE(read_settings_json(c.text).ok()) << c.what << ": " << c.text;
}

TEST(AccountId, EmailOrGeneratedId) {
    StoredConfig c;
    c.email = "ada@example.com";
    EXPECT_EQ(account_id_for(c), "ada@example.com");
    c.email.clear();
    std::string id = account_id_for(c);
    ASSERT_EQ(id.size(), 8u + 36u);
    EXPECT_EQ(id.rfind("account-", 0), 0u);
    EXPECT_TRUE(Uuid::parse(id.substr(8)).has_value());
    EXPECT_NE(account_id_for(c), id);
}

TEST(AccountLabel, FirstNonEmptyOfEmailNameDefault) {
    StoredConfig c;
    EXPECT_EQ(account_label(c), "New account");
    c.display_name = "Ada";
    EXPECT_EQ(account_label(c), "Ada");
    c.email = "ada@example.com";
    EXPECT_EQ(account_label(c), "ada@example.com");
}

}  // namespace
}  // namespace mail
