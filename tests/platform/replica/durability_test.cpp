// The document on disk: reopening, crashes at any moment, damaged and foreign files.
#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "platform/replica/document.h"
#include "platform/replica/random_edits.h"
#include "platform/services/temp_dir.h"

namespace mail::persist {
namespace {

using services::testing::TempDir;

using testing::write;

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ReplicaFile, ReopeningShowsTheSameStateAndReplica) {
    TempDir dir;
    const auto file = dir / "sub" / "document.sqlite3";
    std::string state;
    Uuid replica;
    {
        auto doc = open(file);
        ASSERT_TRUE(doc.ok()) << doc.error_text();
        EXPECT_TRUE(doc->durable());
        replica = doc->replica_id();
        ASSERT_TRUE(write(*doc, [](Transaction& tx) {
            MapView m = tx.ensure_map(tx.root(), "flags");
            tx.put_bool(tx.ensure_map(m, "one"), "read", true);
            tx.put_text(tx.root(), "text", std::string("line\nwith \0 nul", 15));
            tx.put_int(tx.root(), "n", -123456789012345);
            ListView l = tx.ensure_list(tx.root(), "l");
            tx.push_text(l, "a");
            tx.push_bool(l, true);
            tx.push_int(l, 3);
        }).ok());
        ASSERT_TRUE(write(*doc, [](Transaction& tx) {
            tx.remove_at(*tx.root().get_list("l"), 1);
            tx.put_text(tx.root(), "flags", "replaced");
            tx.put_bool(tx.ensure_map(tx.root(), "flags"), "again", true);
        }).ok());

        // What another replica brings is kept as well.
        Document other = open_in_memory();
        ASSERT_TRUE(write(other, [](Transaction& tx) {
            tx.push_text(tx.ensure_list(tx.ensure_map(tx.root(), "flags"), "labels"), "theirs");
        }).ok());
        ASSERT_TRUE(doc->merge(other).ok());
        state = doc->state_text();
    }
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    auto again = open(file);
    ASSERT_TRUE(again.ok()) << again.error_text();
    EXPECT_EQ(again->state_text(), state);
    EXPECT_EQ(again->replica_id(), replica);
    EXPECT_EQ(again->root().get_text("text")->size(), 15u);

    // New writes after reopening take stamps above the old ones, so they win.
    ASSERT_TRUE(write(*again, [](Transaction& tx) { tx.put_int(tx.root(), "n", 1); }).ok());
    EXPECT_EQ(again->root().get_int("n"), 1);
}

TEST(ReplicaFile, ReplayingTheLogRebuildsTheExactState) {
    TempDir dir;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const auto file = dir / ("d" + std::to_string(seed) + ".sqlite3");
        testing::Editor editor(seed);
        std::string state;
        {
            auto doc = open(file);
            ASSERT_TRUE(doc.ok()) << doc.error_text();
            Document peer = open_in_memory();
            for (int step = 0; step < 4; ++step) {
                editor.edit(*doc, 5);
                editor.edit(peer, 5);
                ASSERT_TRUE(doc->merge(peer).ok());
                if (step % 2 == 1) {
                    ASSERT_TRUE(peer.merge(*doc).ok());
                }
            }
            state = doc->state_text();
        }
        auto again = open(file);
        ASSERT_TRUE(again.ok()) << again.error_text();
        ASSERT_EQ(again->state_text(), state) << "seed " << seed;
    }
}

TEST(ReplicaFile, ACopiedFileEditedApartIsNotMergedBack) {
    TempDir dir;
    {
        auto doc = open(dir / "a.sqlite3");
        ASSERT_TRUE(doc.ok());
        ASSERT_TRUE(write(*doc, [](Transaction& tx) { tx.put_text(tx.root(), "k", "base"); }).ok());
    }
    std::filesystem::copy_file(dir / "a.sqlite3", dir / "b.sqlite3");
    auto a = open(dir / "a.sqlite3");
    auto b = open(dir / "b.sqlite3");
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_TRUE(write(*a, [](Transaction& tx) { tx.put_text(tx.root(), "k", "from a"); }).ok());
    ASSERT_TRUE(write(*b, [](Transaction& tx) { tx.put_text(tx.root(), "k", "from b"); }).ok());
    Status merged = a->merge(*b);
    ASSERT_FALSE(merged.ok());
    EXPECT_NE(merged.error_text().find("same replica id"), std::string::npos);
    EXPECT_EQ(a->root().get_text("k"), "from a");
}

TEST(ReplicaFile, ASecondOpenWhileHeldIsRefused) {
    TempDir dir;
    auto first = open(dir / "d.sqlite3");
    ASSERT_TRUE(first.ok()) << first.error_text();
    ASSERT_TRUE(write(*first, [](Transaction& tx) { tx.put_bool(tx.root(), "x", true); }).ok());
    auto second = open(dir / "d.sqlite3");
    ASSERT_FALSE(second.ok());
    EXPECT_NE(second.error_text().find("in use by another process"), std::string::npos) << second.error_text();
}

TEST(ReplicaFile, DamagedOrForeignFilesAreReportedAndLeftAlone) {
    TempDir dir;
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* expected;
    };
    auto sql = [](const std::filesystem::path& path, const char* statements) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
        sqlite3_close(db);
    };
    auto valid = [](const std::filesystem::path& path) {
        auto doc = open(path);
        ASSERT_TRUE(doc.ok());
        ASSERT_TRUE(write(*doc, [](Transaction& tx) { tx.put_bool(tx.ensure_map(tx.root(), "m"), "k", true); }).ok());
    };
    const Case cases[] = {
        {"garbage", [](const auto& p) { std::ofstream(p) << std::string(5000, 'x'); }, "is damaged"},
        {"foreign database", [&](const auto& p) { sql(p, "CREATE TABLE t(a); INSERT INTO t VALUES (1);"); },
         "is not a replica document"},
        {"newer format",
         [&](const auto& p) {
             valid(p);
             sql(p, "PRAGMA user_version=9;");
         },
         "newer version"},
        {"unknown change kind",
         [&](const auto& p) {
             valid(p);
             sql(p, "UPDATE changes SET op = 42 WHERE seq = 2;");
         },
         "is damaged: a change has an unknown kind 42"},
        {"dangling target",
         [&](const auto& p) {
             valid(p);
             sql(p, "DELETE FROM changes WHERE seq = 1;");
         },
         "is damaged: a change names a target that was never made"},
        {"wrong value type",
         [&](const auto& p) {
             valid(p);
             sql(p, "UPDATE changes SET value = 'yes' WHERE op = 0;");
         },
         "is damaged: a map write is malformed"},
        {"missing table",
         [&](const auto& p) {
             valid(p);
             sql(p, "DROP TABLE changes;");
         },
         "is damaged"},
    };
    for (const Case& c : cases) {
        const auto file = dir / (std::string(c.name) + ".sqlite3");
        c.make(file);
        const std::string bytes = read_file(file);
        auto doc = open(file);
        ASSERT_FALSE(doc.ok()) << c.name;
        EXPECT_NE(doc.error_text().find(c.expected), std::string::npos) << c.name << ": " << doc.error_text();
        EXPECT_NE(doc.error_text().find(file.string()), std::string::npos) << c.name;
        EXPECT_EQ(read_file(file), bytes) << c.name << " was changed";
    }
}

// The child writes numbered changes and reports each one after change() returned; the parent
// kills it at a random moment. Every reported change must be on disk, and every change must be
// whole: each one writes a map entry and a list element together.
void write_until_killed(const std::filesystem::path& file, int ack_fd, int start) {
    auto doc = open(file);
    if (!doc.ok()) _exit(3);
    for (int n = start;; ++n) {
        std::string key = std::to_string(n);
        Status st = write(*doc, [&](Transaction& tx) {
            MapView m = tx.ensure_map(tx.root(), "entries");
            tx.put_text(tx.ensure_map(m, key), "body", std::string(200 + n % 700, 'b'));
            tx.push_text(tx.ensure_list(tx.root(), "order"), key);
        });
        if (!st) _exit(4);
        if (::write(ack_fd, &n, sizeof n) != sizeof n) _exit(5);
    }
}

TEST(ReplicaFile, AcknowledgedChangesSurviveKillAtAnyMoment) {
    TempDir dir;
    const auto file = dir / "d.sqlite3";
    std::mt19937 rng(20240501);
    int next = 0;
    for (int round = 0; round < 25; ++round) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            write_until_killed(file, fds[1], next);
        }
        ::close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 40000)(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child stopped by itself with " << WEXITSTATUS(status);
        int acked = next - 1, n = 0;
        while (::read(fds[0], &n, sizeof n) == sizeof n) acked = n;
        ::close(fds[0]);

        auto doc = open(file);
        ASSERT_TRUE(doc.ok()) << doc.error_text();
        auto order = doc->root().get_list("order");
        std::vector<std::string_view> keys = order ? order->texts() : std::vector<std::string_view>{};
        auto entries = doc->root().get_map("entries");
        std::size_t entry_count = entries ? entries->keys().size() : 0;
        ASSERT_EQ(entry_count, keys.size()) << "a change was kept in part";
        ASSERT_GE(static_cast<int>(keys.size()), acked + 1) << "an acknowledged change was lost";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            ASSERT_EQ(keys[i], std::to_string(i));
            auto body = entries->get_map(keys[i])->get_text("body");
            ASSERT_TRUE(body);
            ASSERT_EQ(body->size(), 200 + i % 700);
        }
        next = static_cast<int>(keys.size());
    }
    EXPECT_GT(next, 0);
}

TEST(ReplicaFile, AFailedDiskWriteIsReportedAndUndone) {
    TempDir dir;
    const auto file = dir / "d.sqlite3";
    {
        auto doc = open(file);
        ASSERT_TRUE(doc.ok());
        ASSERT_TRUE(write(*doc, [](Transaction& tx) { tx.put_text(tx.root(), "small", "kept"); }).ok());
    }
    // In a child, since the limit applies to the whole process: a file size cap makes the
    // disk write of a large change fail.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto doc = open(file);
        if (!doc.ok()) _exit(10);
        const std::string before = doc->state_text();
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        Status st = write(*doc, [](Transaction& tx) { tx.put_text(tx.root(), "big", std::string(4 << 20, 'x')); });
        if (st.ok()) _exit(11);
        if (st.error_text().find("couldn\u2019t save the replica document") == std::string::npos) _exit(12);
        if (doc->state_text() != before) _exit(13);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    auto doc = open(file);
    ASSERT_TRUE(doc.ok()) << doc.error_text();
    EXPECT_EQ(doc->to_json(), R"({"small":"kept"})");
    ASSERT_TRUE(write(*doc, [](Transaction& tx) { tx.put_text(tx.root(), "after", "ok"); }).ok());
}

}  // namespace
}  // namespace mail::persist
