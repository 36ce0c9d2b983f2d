#include "platform/services/sync_reporter.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/services/temp_dir.h"

namespace mail::services {
namespace {

using testing::TempDir;

TEST(SyncReporter, BlankIdReportsNothing) {
    TempDir dir;
    for (const char* id : {"", " ", "\t\n  "}) {
        AccountSyncReporter reporter(id, dir.path());
        EXPECT_TRUE(reporter.started().ok());
        EXPECT_TRUE(reporter.failed("x").ok());
        EXPECT_TRUE(reporter.succeeded().ok());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(SyncReporter, PersistsTheLatestStateAndKeepsTheLastSuccess) {
    TempDir dir;
    AccountSyncReporter reporter("a@example.org", dir.path());
    ASSERT_TRUE(reporter.started().ok());
    auto status = read_sync_status(dir.path(), "a@example.org");
    ASSERT_TRUE(status.ok());
    ASSERT_TRUE(status->has_value());
    EXPECT_EQ((*status)->state, SyncState::Started);
    EXPECT_EQ((*status)->last_success_at, std::nullopt);
    EXPECT_GT((*status)->updated_at, 1'600'000'000);

    ASSERT_TRUE(reporter.succeeded().ok());
    auto succeeded_at = (*read_sync_status(dir.path(), "a@example.org"))->last_success_at;
    ASSERT_TRUE(succeeded_at.has_value());

    const std::pair<Status, SyncState> steps[] = {
        {reporter.offline(), SyncState::Offline},
        {reporter.needs_authentication(), SyncState::NeedsAuthentication},
        {reporter.failed("imap: login refused"), SyncState::Failed},
    };
    for (const auto& [result, state] : steps) EXPECT_TRUE(result.ok());
    status = read_sync_status(dir.path(), "a@example.org");
    ASSERT_TRUE(status.ok() && status->has_value());
    EXPECT_EQ((*status)->account, "a@example.org");
    EXPECT_EQ((*status)->state, SyncState::Failed);
    EXPECT_EQ((*status)->error, "imap: login refused");
    EXPECT_EQ((*status)->last_success_at, succeeded_at);

    EXPECT_FALSE(read_sync_status(dir.path(), "other@example.org")->has_value());
}

TEST(SyncReporter, AnIdNeverNamesAPath) {
    TempDir dir;
    auto root = dir / "root";
    AccountSyncReporter reporter("../../escape", root);
    ASSERT_TRUE(reporter.started().ok());
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].parent_path(), root / "sync-status");
    EXPECT_EQ((*read_sync_status(root, "../../escape"))->account, "../../escape");
}

TEST(SyncReporter, WriteFailureIsReturned) {
    TempDir dir;
    std::ofstream(dir / "sync-status") << "a file where the directory belongs";
    AccountSyncReporter reporter("a@example.org", dir.path());
    EXPECT_FALSE(reporter.started().ok());
    EXPECT_FALSE(AccountSyncReporter("a@example.org", "").started().ok());
}

}  // namespace
}  // namespace mail::services
