#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "accounts/account_storage.h"
#include "platform/base/uuid.h"
#include "platform/services/paths.h"

namespace mail::accounts {
namespace {

namespace fs = std::filesystem;
using services::AccountStore;
using services::Secret;
using services::SecretVault;

class AccountStorage : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "mail-accounts-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        services::clear_root_override();
        fs::remove_all(dir);
    }

    LoadedAccounts load() {
        auto store = AccountStore::load_in(dir);
        auto vault = SecretVault::open_in(dir);
        EXPECT_TRUE(store.ok() && vault.ok());
        return load_accounts_from(*store, *vault);
    }
    std::optional<Secret> secret(const std::string& id) { return SecretVault::open_in(dir)->get(id); }
    void put_secret(const std::string& id, Secret s) {
        auto vault = SecretVault::open_in(dir);
        vault->put(id, std::move(s));
        ASSERT_TRUE(vault->try_save().ok());
    }
    std::string file_text(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream out;
        out << in.rdbuf();
        return out.str();
    }

    fs::path dir;
};

MailAccount password_account(const std::string& email, const std::string& password) {
    MailAccount a;
    a.id = email;
    a.config.email = email;
    a.config.display_name = "Name of " + email;
    a.config.imap_host = "imap.example.com";
    a.config.smtp_host = "smtp.example.com";
    a.config.username = email;
    a.config.password = password;
    return a;
}

MailAccount oauth_account(const std::string& email) {
    MailAccount a = password_account(email, "");
    a.config.auth = AuthMethod::OAuth;
    return a;
}

TEST_F(AccountStorage, RoundTripKeepsEverythingAndTheActiveAccount) {
    MailAccount first = password_account("ada@example.com", "pw1");
    first.collapsed = true;
    first.avatar_seed = 7;
    MailAccount second = oauth_account("grace@example.com");
    MailAccount nameless = password_account("", "pw3");
    nameless.id = "account-" + mail::Uuid::random_v4().to_string();
    nameless.config.display_name = "Work";
    put_secret("grace@example.com", Secret{"", "{\"access_token\":\"t\"}"});

    ASSERT_TRUE(persist_accounts({first, second, nameless}, 1, StorageRoot::directory(dir)).ok());

    LoadedAccounts loaded = load();
    EXPECT_EQ(loaded.accounts, (std::vector<MailAccount>{first, second, nameless}));
    EXPECT_EQ(loaded.active, 1u);
    EXPECT_EQ(secret("ada@example.com"), (Secret{"pw1", std::nullopt}));
    // The OAuth account's tokens are left as sign-in stored them.
    EXPECT_EQ(secret("grace@example.com"), (Secret{"", "{\"access_token\":\"t\"}"}));

    auto records = AccountStore::load_in(dir)->list(email_account_type());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].label, "ada@example.com");
    EXPECT_EQ(records[0].color, 7);
    EXPECT_EQ(records[2].label, "Work");
    EXPECT_EQ(records[0].settings_json.find("pw1"), std::string::npos);
}

TEST_F(AccountStorage, VaultEntriesFollowTheSignInMethod) {
    put_secret("pw@example.com", Secret{"old", std::nullopt});
    put_secret("oauth@example.com", Secret{"", "tokens"});
    MailAccount oauth_with_password = oauth_account("oauth@example.com");
    oauth_with_password.config.password = "typed before switching to OAuth";

    ASSERT_TRUE(persist_accounts({password_account("pw@example.com", ""), oauth_with_password}, 0,
                                 StorageRoot::directory(dir))
                    .ok());
    EXPECT_EQ(secret("pw@example.com"), std::nullopt);  // empty password: entry removed
    EXPECT_EQ(secret("oauth@example.com"), (Secret{"", "tokens"}));
}

TEST_F(AccountStorage, AccountsLeftOutLoseRecordAndSecret) {
    ASSERT_TRUE(persist_accounts({password_account("a@x", "1"), password_account("b@x", "2")}, 1,
                                 StorageRoot::directory(dir))
                    .ok());
    ASSERT_TRUE(persist_accounts({password_account("a@x", "1")}, 0, StorageRoot::directory(dir)).ok());
    LoadedAccounts loaded = load();
    ASSERT_EQ(loaded.accounts.size(), 1u);
    EXPECT_EQ(loaded.accounts[0].id, "a@x");
    EXPECT_EQ(loaded.active, 0u);
    EXPECT_EQ(secret("b@x"), std::nullopt);
}

TEST_F(AccountStorage, RecordsOfOtherTypesAreLeftAlone) {
    auto store = AccountStore::load_in(dir);
    store->upsert({"cal-1", services::AccountTypeId::from("calendar"), "Calendar", "{}", 3});
    ASSERT_TRUE(store->save_in(dir).ok());
    ASSERT_TRUE(persist_accounts({}, 0, StorageRoot::directory(dir)).ok());
    EXPECT_EQ(AccountStore::load_in(dir)->list(services::AccountTypeId::from("calendar")).size(), 1u);
}

TEST_F(AccountStorage, ActiveIndexFallsBackToTheFirstAccount) {
    auto persisted = [&](std::size_t active) {
        ASSERT_TRUE(persist_accounts({password_account("a@x", "1"), password_account("b@x", "2")}, active,
                                     StorageRoot::directory(dir))
                        .ok());
    };
    persisted(5);  // out of range: no active id is written
    EXPECT_EQ(AccountStore::load_in(dir)->active_id(email_account_type()), std::nullopt);
    EXPECT_EQ(load().active, 0u);

    auto store = AccountStore::load_in(dir);
    store->set_active(email_account_type(), "nobody@x");
    ASSERT_TRUE(store->save_in(dir).ok());
    EXPECT_EQ(load().active, 0u);

    persisted(1);
    EXPECT_EQ(load().active, 1u);
}

TEST_F(AccountStorage, UnreadableSettingsAreSkipped) {
    auto store = AccountStore::load_in(dir);
    const auto type = email_account_type();
    std::string good = write_settings_json(password_account("good@x", "").config, false);
    std::string no_auth = good;
    no_auth.erase(no_auth.find(",\"auth\""), std::string(",\"auth\":\"Password\"").size());
    std::string no_port = good;
    no_port.erase(no_port.find("\"imap_port\""), std::string("\"imap_port\":993,").size());
    std::string twice = good;
    twice.insert(1, "\"email\":\"other@x\",");
    store->upsert({"no-port", type, "x", no_port, 0});
    store->upsert({"twice", type, "x", twice, 0});
    store->upsert({"not-json", type, "x", "{", 0});
    store->upsert({"extra", type, "x", "{\"theme\":1," + good.substr(1), 0});
    store->upsert({"no-auth", type, "x", no_auth, 0});
    store->set_active(type, "no-auth");
    ASSERT_TRUE(store->save_in(dir).ok());

    LoadedAccounts loaded = load();
    ASSERT_EQ(loaded.accounts.size(), 2u);
    EXPECT_EQ(loaded.accounts[0].id, "extra");
    EXPECT_EQ(loaded.accounts[1].id, "no-auth");
    EXPECT_EQ(loaded.accounts[1].config.auth, AuthMethod::Password);
    EXPECT_EQ(loaded.active, 1u);  // the position among the accounts that loaded
}

TEST_F(AccountStorage, FailedVaultSaveLeavesTheRegistryUnsaved) {
    ASSERT_TRUE(persist_accounts({password_account("a@x", "1")}, 0, StorageRoot::directory(dir)).ok());
    std::string before = file_text(AccountStore::file_in(dir));
    // The vault refuses a secret that is not UTF-8.
    Status result = persist_accounts({password_account("b@x", "\xff\xfe")}, 0, StorageRoot::directory(dir));
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(file_text(AccountStore::file_in(dir)), before);
    EXPECT_EQ(load().accounts.size(), 1u);
}

TEST_F(AccountStorage, StorageRootNoneWritesNothing) {
    ASSERT_TRUE(persist_accounts({password_account("a@x", "1")}, 0, StorageRoot::none()).ok());
    EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(AccountStorage, ConfigRootAndDefaultLoadUseTheLaunchDirectory) {
    services::set_root_override(dir);
    ASSERT_TRUE(persist_accounts({password_account("a@x", "1")}, 0, StorageRoot::config_root()).ok());
    EXPECT_TRUE(fs::exists(AccountStore::file_in(dir)));
    LoadedAccounts loaded = load_accounts();
    ASSERT_EQ(loaded.accounts.size(), 1u);
    EXPECT_EQ(loaded.accounts[0].config.password, "1");
}

TEST_F(AccountStorage, DamagedRegistryIsNotOverwritten) {
    std::ofstream(AccountStore::file_in(dir)) << "{ not json";
    EXPECT_FALSE(persist_accounts({password_account("a@x", "1")}, 0, StorageRoot::directory(dir)).ok());
    EXPECT_EQ(file_text(AccountStore::file_in(dir)), "{ not json");
    services::set_root_override(dir);
    EXPECT_TRUE(load_accounts().accounts.empty());
}

}  // namespace
}  // namespace mail::accounts
