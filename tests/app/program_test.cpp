// The program as a user or a script starts it: headless, with its real command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "accounts/account_storage.h"
#include "platform/json/strict_json.h"

namespace mail {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int exit_code = -1;
    std::string output;
};

ProgramRun run_program_env(const std::string& env, const std::string& args) {
    std::string command = env + " " + std::string(VARO_MAIL_BINARY) + " --headless " + args + " 2>&1";
    ProgramRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
    int status = pclose(pipe);
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

ProgramRun run_program(const std::string& args) { return run_program_env("", args); }

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::pair<int, int> png_size(const fs::path& path) {
    std::string bytes = read_all(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be32 = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("varo-mail-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(ProgramTest, FirstRunSceneShowsTheWelcomeScreenAtItsSize) {
    auto png = dir_ / "f.png";
    auto tree = dir_ / "a.json";
    auto run = run_program("--scene firstrun --screenshot " + png.string() + " --dump-accessibility " + tree.string());
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(png_size(png), (std::pair{1100, 780}));
    auto json = json::parse_strict(read_all(tree));
    ASSERT_TRUE(json.ok()) << read_all(tree);
    EXPECT_EQ((*json)["role"], "application");
    EXPECT_EQ((*json)["label"], "Mail");
    EXPECT_FALSE(json->contains("children"));
}

TEST_F(ProgramTest, SceneSizesAndTheSizeOption) {
    auto png = dir_ / "s.png";
    ASSERT_EQ(run_program("--scene no-such-scene --screenshot " + png.string()).exit_code, 0);
    EXPECT_EQ(png_size(png), (std::pair{1280, 800}));
    ASSERT_EQ(run_program("--scene narrow --screenshot " + png.string()).exit_code, 0);
    EXPECT_EQ(png_size(png), (std::pair{560, 860}));
    ASSERT_EQ(run_program("--scene wide --size 700x500 --screenshot " + png.string()).exit_code, 0);
    EXPECT_EQ(png_size(png), (std::pair{700, 500}));
}

TEST_F(ProgramTest, StoredAccountStartsWithoutWelcomeScreenAndSurvivesRestart) {
    MailAccount account;
    account.id = "ada@example.test";
    account.config.display_name = "Ada";
    account.config.email = "ada@example.test";
    account.config.imap_host = "imap.example.test";
    account.config.smtp_host = "smtp.example.test";
    account.config.username = "ada@example.test";
    account.config.password = "correct horse";
    ASSERT_TRUE(accounts::persist_accounts({account}, 0, StorageRoot::directory(dir_)).ok());

    for (int start = 0; start < 2; ++start) {
        auto tree = dir_ / "tree.json";
        auto run = run_program("--config-dir " + dir_.string() + " --dump-accessibility " + tree.string());
        ASSERT_EQ(run.exit_code, 0) << run.output;
        auto json = json::parse_strict(read_all(tree));
        ASSERT_TRUE(json.ok());
        EXPECT_EQ((*json)["description"], "Current view: folders, message list, and reading pane") << "start " << start;
    }
    auto store = services::AccountStore::load_in(dir_);
    auto vault = services::SecretVault::open_in(dir_);
    ASSERT_TRUE(store.ok() && vault.ok());
    auto loaded = accounts::load_accounts_from(*store, *vault);
    ASSERT_EQ(loaded.accounts.size(), 1u);
    EXPECT_EQ(loaded.accounts[0].config.password, "correct horse");
    EXPECT_EQ(loaded.accounts[0].config.imap_host, "imap.example.test");
    EXPECT_EQ(store->active_id(accounts::email_account_type()), "ada@example.test");
}

TEST_F(ProgramTest, WithoutADisplayTheDefaultSceneIsRenderedAndItsPathPrinted) {
    ProgramRun run = run_program_env("TMPDIR=" + dir_.string() + " XDG_CONFIG_HOME=" + (dir_ / "config").string(), "");
    ASSERT_EQ(run.exit_code, 0) << run.output;
    const fs::path png = dir_ / "varo-mail-wide.png";
    EXPECT_NE(run.output.find(png.string()), std::string::npos) << run.output;
    EXPECT_EQ(png_size(png), (std::pair{1280, 800}));
    EXPECT_FALSE(fs::exists(dir_ / "config" / "varo-mail")) << "a scene never touches the user's files";
}

TEST_F(ProgramTest, ABadInputLineStopsTheRunNamingTheLine) {
    auto input = dir_ / "in.jsonl";
    std::ofstream(input) << "{\"wait_ms\":1}\n{\"semantic\":\"no.such.node\"}\n";
    auto run = run_program("--scene firstrun --input " + input.string() + " --screenshot " + (dir_ / "x.png").string());
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.output.find("input line 2"), std::string::npos) << run.output;

    std::ofstream(input) << "{\"key\":\n";
    run = run_program("--scene firstrun --input " + input.string());
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.output.find("input line 1"), std::string::npos) << run.output;
}

TEST_F(ProgramTest, WelcomeButtonOpensAccountSetup) {
    auto input = dir_ / "in.jsonl";
    std::ofstream(input) << "{\"semantic\":\"mail.add-account\"}\n";
    auto tree = dir_ / "tree.json";
    auto run = run_program("--scene firstrun --input " + input.string() + " --dump-accessibility " + tree.string());
    ASSERT_EQ(run.exit_code, 0) << run.output;
    auto json = json::parse_strict(read_all(tree));
    ASSERT_TRUE(json.ok());
    EXPECT_TRUE(json->contains("description")) << "the welcome screen should be gone";
}

}  // namespace
}  // namespace mail
