// Replicas edited apart and merged: the merge must not care about order, grouping or repetition.
#include <gtest/gtest.h>

#include "platform/replica/document.h"
#include "platform/replica/random_edits.h"

namespace mail::persist {
namespace {

using testing::Editor;
using testing::write;

Document copy_of(const Document& doc) {
    Document copy = open_in_memory();
    EXPECT_TRUE(copy.merge(doc).ok());
    return copy;
}

void expect_same(const Document& a, const Document& b, std::uint32_t seed) {
    EXPECT_EQ(a.state_text(), b.state_text()) << "seed " << seed;
    EXPECT_EQ(a.to_json(), b.to_json()) << "seed " << seed;
}

TEST(ReplicaMerge, EitherOrderGivesTheSameDocumentAndRepeatingChangesNothing) {
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        Editor editor(seed);
        Document base = open_in_memory();
        editor.edit(base, 3);
        Document a = copy_of(base);
        Document b = copy_of(base);
        editor.edit(a, 1 + static_cast<int>(seed % 7));
        editor.edit(b, 1 + static_cast<int>(seed % 5));
        if (seed % 4 == 0) {  // part of the history already exchanged once
            ASSERT_TRUE(b.merge(a).ok());
            editor.edit(a, 2);
            editor.edit(b, 2);
        }

        Document ab = copy_of(a);
        ASSERT_TRUE(ab.merge(b).ok());
        Document ba = copy_of(b);
        ASSERT_TRUE(ba.merge(a).ok());
        expect_same(ab, ba, seed);

        // Merging again, either way, changes nothing and writes nothing.
        const std::uint64_t generation = ab.generation();
        ASSERT_TRUE(ab.merge(b).ok());
        ASSERT_TRUE(ab.merge(a).ok());
        ASSERT_TRUE(ab.merge(ba).ok());
        EXPECT_EQ(ab.generation(), generation) << "seed " << seed;
        expect_same(ab, ba, seed);

        // The merged replicas go on editing and merging as peers.
        editor.edit(ab, 2);
        editor.edit(ba, 2);
        ASSERT_TRUE(ab.merge(ba).ok());
        ASSERT_TRUE(ba.merge(ab).ok());
        expect_same(ab, ba, seed);
        if (HasFailure()) return;
    }
}

TEST(ReplicaMerge, GroupingDoesNotMatter) {
    for (std::uint32_t seed = 1; seed <= 100; ++seed) {
        Editor editor(seed * 7919);
        Document a = open_in_memory(), b = open_in_memory(), c = open_in_memory();
        editor.edit(a, 4);
        editor.edit(b, 4);
        editor.edit(c, 4);
        Document left = copy_of(a);  // (a + b) + c
        ASSERT_TRUE(left.merge(b).ok());
        ASSERT_TRUE(left.merge(c).ok());
        Document bc = copy_of(b);  // a + (b + c)
        ASSERT_TRUE(bc.merge(c).ok());
        Document right = copy_of(a);
        ASSERT_TRUE(right.merge(bc).ok());
        expect_same(left, right, seed);
        if (HasFailure()) return;
    }
}

TEST(ReplicaMerge, MapsMadeApartAtTheSameKeyKeepBothSides) {
    Document a = open_in_memory(), b = open_in_memory();
    ASSERT_TRUE(write(a, [](Transaction& tx) {
        tx.put_bool(tx.ensure_map(tx.ensure_map(tx.root(), "flags"), "m1"), "read", true);
    }).ok());
    ASSERT_TRUE(write(b, [](Transaction& tx) {
        MapView m1 = tx.ensure_map(tx.ensure_map(tx.root(), "flags"), "m1");
        tx.put_bool(m1, "starred", true);
        tx.push_text(tx.ensure_list(m1, "labels"), "b");
        tx.put_bool(tx.ensure_map(*tx.root().get_map("flags"), "m2"), "read", false);
    }).ok());
    ASSERT_TRUE(a.merge(b).ok());
    EXPECT_EQ(a.to_json(), R"({"flags":{"m1":{"labels":["b"],"read":true,"starred":true},"m2":{"read":false}}})");

    // Writes into the joined map land and read back.
    ASSERT_TRUE(write(a, [](Transaction& tx) {
        MapView m1 = *tx.root().get_map("flags")->get_map("m1");
        tx.put_bool(m1, "starred", false);
        tx.push_text(*m1.get_list("labels"), "a");
    }).ok());
    EXPECT_EQ(a.to_json(),
              R"({"flags":{"m1":{"labels":["b","a"],"read":true,"starred":false},"m2":{"read":false}}})");
}

TEST(ReplicaMerge, LastWriterWinsAndAnAddOutlivesAConcurrentRemoval) {
    Document a = open_in_memory();
    ASSERT_TRUE(write(a, [](Transaction& tx) {
        tx.put_bool(tx.root(), "read", false);
        tx.push_text(tx.ensure_list(tx.root(), "labels"), "x");
    }).ok());
    Document b = copy_of(a);

    // a writes later, having seen b's state: it wins.
    ASSERT_TRUE(write(b, [](Transaction& tx) { tx.put_bool(tx.root(), "read", true); }).ok());
    ASSERT_TRUE(a.merge(b).ok());
    ASSERT_TRUE(write(a, [](Transaction& tx) { tx.put_bool(tx.root(), "read", false); }).ok());
    ASSERT_TRUE(b.merge(a).ok());
    EXPECT_EQ(b.root().get_bool("read"), false);

    // a removes the label it saw while b adds it again: the new copy stays.
    ASSERT_TRUE(write(a, [](Transaction& tx) { tx.remove_at(*tx.root().get_list("labels"), 0); }).ok());
    ASSERT_TRUE(write(b, [](Transaction& tx) { tx.push_text(*tx.root().get_list("labels"), "x"); }).ok());
    ASSERT_TRUE(a.merge(b).ok());
    ASSERT_TRUE(b.merge(a).ok());
    EXPECT_EQ(a.root().get_list("labels")->texts(), (std::vector<std::string_view>{"x"}));
    expect_same(a, b, 0);
}

}  // namespace
}  // namespace mail::persist
