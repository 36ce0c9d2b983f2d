#include "platform/services/blobstore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/services/blake3.h"
#include "platform/services/files.h"
#include "platform/services/paths.h"
#include "platform/services/temp_dir.h"

namespace mail::services::blobstore {
namespace {

using services::testing::TempDir;

TEST(BlobStore, PutGetVerifyRoundTrip) {
    TempDir dir;
    BlobStore store(dir.path());
    std::string bytes("attachment \0 bytes", 18);
    auto hash = store.put(bytes, "report.pdf");
    ASSERT_TRUE(hash.ok()) << hash.error_text();
    EXPECT_EQ(*hash, blake3_hex(bytes));

    auto path = dir / "blobs" / hash->substr(0, 2) / *hash;
    ASSERT_TRUE(std::filesystem::exists(path));
    struct stat info {};
    ::stat(path.c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_EQ(store.get(*hash), bytes);
    EXPECT_EQ(store.name_of(*hash), "report.pdf");
    EXPECT_TRUE(verify(*hash, bytes));
    EXPECT_FALSE(verify(*hash, bytes + "x"));
    EXPECT_EQ(store.get(blake3_hex("never stored")), std::nullopt);

    // The same bytes again are the same blob; the empty input is a blob too.
    EXPECT_EQ(store.put(bytes, "copy.pdf").value(), *hash);
    EXPECT_EQ(store.name_of(*hash), "copy.pdf");
    auto empty = store.put("", "");
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(store.get(*empty), "");
}

TEST(BlobStore, PutRepairsADamagedCopy) {
    TempDir dir;
    BlobStore store(dir.path());
    auto hash = store.put("original", "a.txt").value();
    std::ofstream(dir / "blobs" / hash.substr(0, 2) / hash, std::ios::trunc) << "bit rot";
    EXPECT_FALSE(verify(hash, *store.get(hash)));
    ASSERT_TRUE(store.put("original", "a.txt").ok());
    EXPECT_EQ(store.get(hash), "original");
}

TEST(BlobStore, HashesThatAreNotLowerCaseHexNeverReachTheFileSystem) {
    TempDir dir;
    auto root = dir / "store" / "inner";
    BlobStore store(root);
    const std::string good = blake3_hex("x");
    std::string upper = good;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string cases[] = {
        "../../planted", upper, good.substr(0, 63), good + "0", good.substr(0, 62) + "/a", good.substr(0, 63) + "g",
        std::string("ab") + std::string(61, '0') + std::string(1, '\0'), "", "../" + good.substr(3),
    };
    for (const std::string& hash : cases) {
        // Plant a file where a naive store would look for this hash.
        auto naive = root / "blobs" / hash.substr(0, std::min<std::size_t>(2, hash.size())) / hash;
        std::error_code ec;
        std::filesystem::create_directories(root / "blobs", ec);
        std::filesystem::create_directories(naive.parent_path(), ec);
        if (hash.find('\0') == std::string::npos) std::ofstream(naive) << "planted";

        EXPECT_FALSE(is_valid_hash(hash)) << hash;
        EXPECT_EQ(store.get(hash), std::nullopt) << hash;
        EXPECT_EQ(store.name_of(hash), std::nullopt) << hash;
        EXPECT_FALSE(verify(hash, "x")) << hash;
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "planted")) << "the traversal case planted outside the store";
    EXPECT_TRUE(is_valid_hash(good));
}

TEST(BlobStore, DefaultStoreLivesUnderTheDataRoot) {
    TempDir dir;
    set_root_override(dir.path());
    auto hash = put("content", "c.txt");
    auto back = hash.ok() ? get(*hash) : std::nullopt;
    clear_root_override();
    ASSERT_TRUE(hash.ok()) << hash.error_text();
    EXPECT_EQ(back, "content");
    EXPECT_TRUE(std::filesystem::exists(dir / "data" / "blobs" / hash->substr(0, 2) / *hash));
}

TEST(BlobStore, WriteFailureIsAnError) {
    TempDir dir;
    std::ofstream(dir / "blobs") << "a file where the directory belongs";
    EXPECT_FALSE(BlobStore(dir.path()).put("bytes", "n").ok());
}

}  // namespace
}  // namespace mail::services::blobstore
