#include "platform/services/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>

#include "platform/services/temp_dir.h"

namespace mail::services {
namespace {

using testing::TempDir;

unsigned mode_of(const std::filesystem::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<std::string> names_in(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicWrite, CreatesParentsReplacesContentAndAppliesTheModeDespiteUmask) {
    TempDir dir;
    auto file = dir / "a/b/c.json";
    mode_t old_umask = ::umask(0);  // a permissive umask must not widen a secret's mode
    ASSERT_TRUE(write_file_atomic(file, "first", 0600).ok());
    ::umask(0077);  // nor a strict one narrow an ordinary file's
    ASSERT_TRUE(write_file_atomic(dir / "plain.txt", "x").ok());
    ::umask(old_umask);
    EXPECT_EQ(mode_of(file), 0600u);
    EXPECT_EQ(mode_of(dir / "plain.txt"), 0644u);

    ASSERT_TRUE(write_file_atomic(file, std::string("second\0with nul", 15), 0600).ok());
    auto read = read_file(file);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(**read, std::string("second\0with nul", 15));
    EXPECT_EQ(names_in(dir / "a/b"), std::vector<std::string>{"c.json"}) << "no temporary file stays behind";
}

TEST(AtomicWrite, FailedRenameLeavesTheOldContentAndNoTemporaryFile) {
    TempDir dir;
    // A non-empty directory in the way: the temporary file is written, the rename fails.
    std::filesystem::create_directories(dir / "target");
    std::ofstream(dir / "target" / "old") << "old content";
    Status status = write_file_atomic(dir / "target", "new content");
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.error_text().find((dir / "target").string()), std::string::npos) << status.error_text();
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"target"});
    EXPECT_EQ(**read_file(dir / "target" / "old"), "old content");
}

TEST(AtomicWrite, FailedWriteMidwayLeavesTheOldFileIntact) {
    TempDir dir;
    auto file = dir / "registry.json";
    ASSERT_TRUE(write_file_atomic(file, "old content").ok());

    // The file size limit makes write() fail with EFBIG part way through the new content.
    auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    Status status = write_file_atomic(file, std::string(100000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous_handler);

    EXPECT_FALSE(status.ok());
    EXPECT_EQ(**read_file(file), "old content");
    EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"registry.json"});
}

TEST(ReadFile, TellsMissingFromUnreadable) {
    TempDir dir;
    auto missing = read_file(dir / "nothing-here");
    ASSERT_TRUE(missing.ok());
    EXPECT_FALSE(missing->has_value());

    auto directory = read_file(dir.path());
    ASSERT_FALSE(directory.ok());
    EXPECT_NE(directory.error_text().find(dir.path().string()), std::string::npos);

    std::ofstream(dir / "empty");
    auto empty = read_file(dir / "empty");
    ASSERT_TRUE(empty.ok());
    ASSERT_TRUE(empty->has_value());
    EXPECT_EQ(**empty, "");

    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(read_file(dir / "file" / "below").ok()) << "a path through a file is an error, not missing";
}

}  // namespace
}  // namespace mail::services
