#include "platform/services/account_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "platform/services/files.h"
#include "platform/services/paths.h"
#include "platform/services/secret_vault.h"
#include "platform/services/temp_dir.h"

namespace mail::services {
namespace {

using testing::TempDir;

const AccountTypeId kEmail = AccountTypeId::from("email");
const AccountTypeId kChat = AccountTypeId::from("chat");

AccountRecord record(std::string id, AccountTypeId type, std::string settings = "{}", std::uint8_t color = 0) {
    return AccountRecord{id, std::move(type), "label of " + id, std::move(settings), color};
}

void write_raw(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string raw(const std::filesystem::path& file) { return read_file(file).value().value(); }

TEST(AccountStore, RoundTripsRecordsInOrderWithActiveIdsPerType) {
    TempDir dir;
    AccountStore store;
    // Settings text is kept byte for byte, key order and spacing included.
    const std::string settings = "{\"display_name\": \"Zoë\",  \"email\":\"b@example.org\",\"imap_port\":993}";
    store.upsert(record("b@example.org", kEmail, settings, 7));
    store.upsert(record("chat-1", kChat));
    store.upsert(record("a@example.org", kEmail, "{}", 255));
    store.set_active(kEmail, "a@example.org");
    store.set_active(kChat, "chat-1");
    ASSERT_TRUE(store.save_in(dir.path()).ok());

    auto loaded = AccountStore::load_in(dir.path());
    ASSERT_TRUE(loaded.ok()) << loaded.error_text();
    auto emails = loaded->list(kEmail);
    ASSERT_EQ(emails.size(), 2u);
    EXPECT_EQ(emails[0].id, "b@example.org");
    EXPECT_EQ(emails[0].label, "label of b@example.org");
    EXPECT_EQ(emails[0].settings_json, settings);
    EXPECT_EQ(emails[0].color, 7);
    EXPECT_EQ(emails[1].id, "a@example.org");
    EXPECT_EQ(emails[1].color, 255);
    EXPECT_EQ(loaded->list(kChat).size(), 1u);
    EXPECT_EQ(loaded->active_id(kEmail), "a@example.org");
    EXPECT_EQ(loaded->active_id(kChat), "chat-1");
    EXPECT_EQ(loaded->active_id(AccountTypeId::from("other")), std::nullopt);
}

TEST(AccountStore, UpsertReplacesInPlaceAndRemoveForgetsTheActiveId) {
    AccountStore store;
    store.upsert(record("one", kEmail));
    store.upsert(record("two", kEmail));
    store.upsert(record("three", kEmail));
    store.upsert(AccountRecord{"two", kEmail, "renamed", "{\"x\":1}", 3});
    store.set_active(kEmail, "three");
    store.set_active(kEmail, "two");  // replaces, not a second entry

    auto list = store.list(kEmail);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].id, "two");
    EXPECT_EQ(list[1].label, "renamed");
    EXPECT_EQ(store.active_id(kEmail), "two");

    store.remove("two");
    list = store.list(kEmail);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].id, "one");
    EXPECT_EQ(list[1].id, "three");
    EXPECT_EQ(store.active_id(kEmail), std::nullopt);
}

TEST(AccountStore, MissingFileIsAnEmptyRegistry) {
    TempDir dir;
    auto loaded = AccountStore::load_in(dir / "not-created-yet");
    ASSERT_TRUE(loaded.ok());
    EXPECT_TRUE(loaded->list(kEmail).empty());
    EXPECT_EQ(loaded->active_id(kEmail), std::nullopt);
}

TEST(AccountStore, DefaultPlaceIsTheConfigurationRoot) {
    TempDir dir;
    set_root_override(dir.path());
    AccountStore store;
    store.upsert(record("a@example.org", kEmail));
    ASSERT_TRUE(store.save_in(*config_root()).ok());
    auto loaded = AccountStore::load();
    clear_root_override();
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded->list(kEmail).size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(dir / "accounts.json"));
}

TEST(AccountStore, DamagedFileIsAnErrorNamingItAndStaysOnDisk) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"not JSON", "{\"version\":1,\"accounts\":["},
        {"not an object", "[]"},
        {"repeated key", "{\"version\":1,\"accounts\":[],\"accounts\":[]}"},
        {"repeated key in a record", R"({"version":1,"accounts":[{"id":"a","id":"b","type":"email","label":"","settings":"{}"}]})"},
        {"newer version", R"({"version":2,"accounts":[]})"},
        {"no version", R"({"accounts":[]})"},
        {"accounts not a list", R"({"version":1,"accounts":{}})"},
        {"record without id", R"({"version":1,"accounts":[{"type":"email","label":"","settings":"{}"}]})"},
        {"empty id", R"({"version":1,"accounts":[{"id":"","type":"email","label":"","settings":"{}"}]})"},
        {"settings not text", R"({"version":1,"accounts":[{"id":"a","type":"email","label":"","settings":{}}]})"},
        {"colour out of range", R"({"version":1,"accounts":[{"id":"a","type":"email","label":"","settings":"{}","color":256}]})"},
        {"negative colour", R"({"version":1,"accounts":[{"id":"a","type":"email","label":"","settings":"{}","color":-1}]})"},
        {"same id twice", R"({"version":1,"accounts":[{"id":"a","type":"email","label":"","settings":"{}"},{"id":"a","type":"chat","label":"","settings":"{}"}]})"},
        {"active id not text", R"({"version":1,"accounts":[],"active":{"email":3}})"},
    };
    for (const auto& [name, text] : cases) {
        TempDir dir;
        auto file = AccountStore::file_in(dir.path());
        write_raw(file, text);
        auto loaded = AccountStore::load_in(dir.path());
        ASSERT_FALSE(loaded.ok()) << name;
        EXPECT_NE(loaded.error_text().find(file.string()), std::string::npos) << name << ": " << loaded.error_text();
        EXPECT_EQ(raw(file), text) << name;
    }
}

TEST(AccountStore, UnreadableSettingsDamageOnlyTheirRecord) {
    TempDir dir;
    write_raw(AccountStore::file_in(dir.path()),
              R"({"version":1,"accounts":[{"id":"a","type":"email","label":"A","settings":"{not json"},)"
              R"({"id":"b","type":"email","label":"B","settings":"{}"}],"future_key":true})");
    auto loaded = AccountStore::load_in(dir.path());
    ASSERT_TRUE(loaded.ok()) << loaded.error_text();
    auto list = loaded->list(kEmail);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].settings_json, "{not json");  // the owner decides what to skip
    EXPECT_EQ(list[1].color, 0);                    // colour missing: 0
}

TEST(AccountStore, SaveRefusesTextThatIsNotUtf8) {
    TempDir dir;
    AccountStore good;
    good.upsert(record("a", kEmail));
    ASSERT_TRUE(good.save_in(dir.path()).ok());
    std::string before = raw(AccountStore::file_in(dir.path()));

    AccountStore bad;
    bad.upsert(record("a", kEmail, "{\"display_name\":\"\xff\"}"));
    EXPECT_FALSE(bad.save_in(dir.path()).ok());
    EXPECT_EQ(raw(AccountStore::file_in(dir.path())), before);
}

unsigned mode_of(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(SecretVault, RoundTripsSecretsWithAndWithoutTokens) {
    TempDir dir;
    auto vault = SecretVault::open_in(dir.path());
    ASSERT_TRUE(vault.ok());
    EXPECT_EQ(vault->get("a@example.org"), std::nullopt);
    vault->put("a@example.org", Secret{"hunter2", std::nullopt});
    vault->put("o@example.org", Secret{"", std::string(R"({"access_token":"t"})")});
    vault->put("gone@example.org", Secret{"x", std::nullopt});
    vault->remove("gone@example.org");
    ASSERT_TRUE(vault->try_save().ok());

    auto reopened = SecretVault::open_in(dir.path());
    ASSERT_TRUE(reopened.ok()) << reopened.error_text();
    EXPECT_EQ(reopened->get("a@example.org"), (Secret{"hunter2", std::nullopt}));
    EXPECT_EQ(reopened->get("o@example.org"), (Secret{"", std::string(R"({"access_token":"t"})")}));
    EXPECT_EQ(reopened->get("gone@example.org"), std::nullopt);
}

TEST(SecretVault, FileIsReadableByItsOwnerOnly) {
    TempDir dir;
    auto file = SecretVault::file_in(dir.path());
    // An older, too open file is replaced by one with the right mode.
    write_raw(file, R"({"version":1,"secrets":{}})");
    ::chmod(file.c_str(), 0644);
    auto vault = SecretVault::open_in(dir.path());
    ASSERT_TRUE(vault.ok());
    vault->put("a", Secret{"pw", std::nullopt});
    ASSERT_TRUE(vault->try_save().ok());
    EXPECT_EQ(mode_of(file), 0600u);
}

TEST(SecretVault, OpenUsesTheConfigurationRoot) {
    TempDir dir;
    set_root_override(dir.path());
    auto vault = SecretVault::open();
    ASSERT_TRUE(vault.ok());
    vault->put("a", Secret{"pw", std::nullopt});
    Status saved = vault->try_save();
    clear_root_override();
    ASSERT_TRUE(saved.ok());
    EXPECT_TRUE(std::filesystem::exists(dir / "vault.json"));
}

TEST(SecretVault, DamagedFileIsAnErrorNamingItAndStaysOnDisk) {
    const std::pair<const char*, std::string> cases[] = {
        {"empty file", ""},
        {"truncated", R"({"version":1,"secrets":{"a":{"password":"p"})"},
        {"repeated id", R"({"version":1,"secrets":{"a":{"password":"p"},"a":{"password":"q"}}})"},
        {"no password", R"({"version":1,"secrets":{"a":{"token":"t"}}})"},
        {"token not text", R"({"version":1,"secrets":{"a":{"password":"p","token":{}}}})"},
        {"secrets not an object", R"({"version":1,"secrets":[]})"},
        {"newer version", R"({"version":9,"secrets":{}})"},
    };
    for (const auto& [name, text] : cases) {
        TempDir dir;
        auto file = SecretVault::file_in(dir.path());
        write_raw(file, text);
        auto vault = SecretVault::open_in(dir.path());
        ASSERT_FALSE(vault.ok()) << name;
        EXPECT_NE(vault.error_text().find(file.string()), std::string::npos) << name << ": " << vault.error_text();
        EXPECT_EQ(raw(file), text) << name;
    }
}

TEST(SecretVault, ConcurrentHoldersKeepEachOthersChanges) {
    TempDir dir;
    {
        auto seed = SecretVault::open_in(dir.path());
        seed->put("oauth@example.org", Secret{"", std::string("old token")});
        seed->put("kept@example.org", Secret{"kept", std::nullopt});
        seed->put("gone@example.org", Secret{"x", std::nullopt});
        ASSERT_TRUE(seed->try_save().ok());
    }
    // The interface opens the vault, then the engine refreshes a token before the interface saves.
    auto ui = SecretVault::open_in(dir.path());
    auto engine = SecretVault::open_in(dir.path());
    engine->put("oauth@example.org", Secret{"", std::string("new token")});
    ASSERT_TRUE(engine->try_save().ok());
    ui->put("new@example.org", Secret{"pw", std::nullopt});
    ui->remove("gone@example.org");
    ASSERT_TRUE(ui->try_save().ok());

    auto result = SecretVault::open_in(dir.path());
    EXPECT_EQ(result->get("oauth@example.org"), (Secret{"", std::string("new token")}));
    EXPECT_EQ(result->get("kept@example.org"), (Secret{"kept", std::nullopt}));
    EXPECT_EQ(result->get("new@example.org"), (Secret{"pw", std::nullopt}));
    EXPECT_EQ(result->get("gone@example.org"), std::nullopt);

    // Many threads, each with its own vault object, lose none of the others' entries.
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&dir, t] {
            for (int i = 0; i < 10; ++i) {
                auto vault = SecretVault::open_in(dir.path());
                ASSERT_TRUE(vault.ok()) << vault.error_text();
                vault->put("t" + std::to_string(t) + "-" + std::to_string(i), Secret{"p", std::nullopt});
                ASSERT_TRUE(vault->try_save().ok());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    auto all = SecretVault::open_in(dir.path());
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) EXPECT_TRUE(all->get("t" + std::to_string(t) + "-" + std::to_string(i)).has_value());
    }
}

TEST(SecretVault, FileDamagedAfterOpeningIsNotOverwritten) {
    TempDir dir;
    auto vault = SecretVault::open_in(dir.path());
    vault->put("a", Secret{"pw", std::nullopt});
    write_raw(SecretVault::file_in(dir.path()), "{broken");
    EXPECT_FALSE(vault->try_save().ok());
    EXPECT_EQ(raw(SecretVault::file_in(dir.path())), "{broken");
}

TEST(SecretVault, PathThroughAFileIsAnErrorOnOpenAndOnSave) {
    TempDir dir;
    std::ofstream(dir / "a-file") << "x";
    EXPECT_FALSE(SecretVault::open_in(dir / "a-file").ok());

    auto vault = SecretVault::open_in(dir / "later");
    ASSERT_TRUE(vault.ok());
    std::ofstream(dir / "later") << "x";  // the directory's place is taken before the save
    vault->put("a", Secret{"pw", std::nullopt});
    EXPECT_FALSE(vault->try_save().ok());

    SecretVault unopened;
    EXPECT_FALSE(unopened.try_save().ok());
}

}  // namespace
}  // namespace mail::services
