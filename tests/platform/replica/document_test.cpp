#include "platform/replica/document.h"

#include <gtest/gtest.h>

namespace mail::persist {
namespace {

Status write(Document& doc, const std::function<void(Transaction&)>& edit) {
    return doc.change([&](Transaction& tx) {
        edit(tx);
        return Status{};
    });
}

TEST(ReplicaDocument, MapsListsAndScalarsReadBack) {
    Document doc = open_in_memory();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView flags = tx.ensure_map(tx.root(), "flags");
        MapView one = tx.ensure_map(flags, "m1");
        tx.put_bool(one, "read", true);
        tx.put_int(one, "count", -7);
        tx.put_text(one, "folder", "inbox");
        ListView labels = tx.ensure_list(one, "labels");
        tx.push_text(labels, "work");
        tx.push_text(labels, "home");
        // Reads inside the change see its writes.
        EXPECT_EQ(tx.root().get_map("flags")->get_map("m1")->get_text("folder"), "inbox");
    }).ok());

    MapView one = *doc.root().get_map("flags")->get_map("m1");
    EXPECT_EQ(one.get_bool("read"), true);
    EXPECT_EQ(one.get_int("count"), -7);
    EXPECT_EQ(one.get_text("folder"), "inbox");
    EXPECT_EQ(one.get_list("labels")->texts(), (std::vector<std::string_view>{"work", "home"}));
    EXPECT_EQ(one.get_bool("folder"), std::nullopt);  // wrong kind reads as nothing
    EXPECT_EQ(one.get_text("missing"), std::nullopt);
    EXPECT_EQ(one.keys(), (std::vector<std::string_view>{"count", "folder", "labels", "read"}));
    EXPECT_EQ(doc.to_json(),
              R"({"flags":{"m1":{"count":-7,"folder":"inbox","labels":["work","home"],"read":true}}})");
}

TEST(ReplicaDocument, AnotherKindReplacesAContainerForGood) {
    Document doc = open_in_memory();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView draft = tx.ensure_map(tx.root(), "draft");
        tx.put_text(draft, "subject", "old");
    }).ok());
    ASSERT_TRUE(write(doc, [](Transaction& tx) { tx.put_text(tx.root(), "draft", "not a map"); }).ok());
    EXPECT_EQ(doc.root().kind("draft"), Kind::Text);
    EXPECT_EQ(doc.root().get_map("draft"), std::nullopt);

    // Making the map again starts empty: the replaced map's keys do not come back.
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView draft = tx.ensure_map(tx.root(), "draft");
        EXPECT_TRUE(draft.keys().empty());
        tx.put_text(draft, "body", "new");
    }).ok());
    EXPECT_EQ(doc.to_json(), R"({"draft":{"body":"new"}})");

    // ensure_map on an existing map keeps it.
    ASSERT_TRUE(write(doc, [](Transaction& tx) { tx.ensure_map(tx.root(), "draft"); }).ok());
    EXPECT_EQ(doc.to_json(), R"({"draft":{"body":"new"}})");
}

TEST(ReplicaDocument, RemovalsOfKeysAndListElements) {
    Document doc = open_in_memory();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        tx.put_text(tx.root(), "a", "x");
        ListView list = tx.ensure_list(tx.root(), "l");
        tx.push_text(list, "1");
        tx.push_text(list, "2");
        tx.push_text(list, "3");
    }).ok());
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        tx.remove(tx.root(), "a");
        tx.remove_at(*tx.root().get_list("l"), 1);
    }).ok());
    EXPECT_EQ(doc.to_json(), R"({"l":["1","3"]})");

    // Removing what is already absent writes nothing, so the generation stays.
    std::uint64_t before = doc.generation();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        tx.remove(tx.root(), "a");
        tx.remove(tx.root(), "never");
    }).ok());
    EXPECT_EQ(doc.generation(), before);
}

TEST(ReplicaDocument, FailedEditLeavesNothingBehind) {
    Document doc = open_in_memory();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        tx.put_text(tx.root(), "keep", "1");
        tx.push_text(tx.ensure_list(tx.root(), "l"), "a");
    }).ok());
    const std::string before = doc.state_text();
    const std::uint64_t generation = doc.generation();

    Status refused = doc.change([](Transaction& tx) {
        tx.put_text(tx.root(), "keep", "2");
        MapView m = tx.ensure_map(tx.root(), "new");
        tx.put_bool(m, "b", true);
        ListView l = *tx.root().get_list("l");
        tx.push_text(l, "b");
        tx.remove_at(l, 0);
        tx.put_text(tx.root(), "l", "replaced");
        return Status(make_error("refused"));
    });
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error_text(), "refused");
    EXPECT_EQ(doc.state_text(), before);
    EXPECT_EQ(doc.generation(), generation);

    // The stamps handed out inside the failed edit are handed out again without harm.
    ASSERT_TRUE(write(doc, [](Transaction& tx) { tx.put_text(tx.root(), "keep", "3"); }).ok());
    EXPECT_EQ(doc.to_json(), R"({"keep":"3","l":["a"]})");
}

TEST(ReplicaDocument, GenerationsAndChangedKeys) {
    Document doc = open_in_memory();
    Document other = open_in_memory();
    EXPECT_NE(doc.generation(), other.generation());  // one counter for the process

    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView flags = tx.ensure_map(tx.root(), "flags");
        for (int i = 0; i < 50; ++i) tx.put_bool(tx.ensure_map(flags, "m" + std::to_string(i)), "read", false);
    }).ok());
    const std::uint64_t g1 = doc.generation();
    EXPECT_TRUE(doc.root().get_map("flags")->changes_since(0).everything);
    EXPECT_TRUE(doc.root().get_map("flags")->changes_since(g1).keys.empty());

    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView flags = *tx.root().get_map("flags");
        tx.put_bool(*flags.get_map("m7"), "read", true);
        tx.push_text(tx.ensure_list(*flags.get_map("m30"), "labels"), "x");
    }).ok());
    const std::uint64_t g2 = doc.generation();
    EXPECT_GT(g2, g1);
    MapView::Changes changes = doc.root().get_map("flags")->changes_since(g1);
    EXPECT_FALSE(changes.everything);
    std::sort(changes.keys.begin(), changes.keys.end());
    EXPECT_EQ(changes.keys, (std::vector<std::string_view>{"m30", "m7"}));
    EXPECT_EQ(doc.root().changes_since(g1).keys, (std::vector<std::string_view>{"flags"}));

    // Replacing the map itself reports everything below it.
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        tx.put_int(tx.root(), "flags", 1);
        tx.ensure_map(tx.root(), "flags");
    }).ok());
    EXPECT_TRUE(doc.root().get_map("flags")->changes_since(g2).everything);
}

TEST(ReplicaDocument, ManyKeysStayFindable) {
    Document doc = open_in_memory();
    ASSERT_TRUE(write(doc, [](Transaction& tx) {
        MapView m = tx.ensure_map(tx.root(), "m");
        for (int i = 0; i < 1000; ++i) tx.put_int(m, std::to_string(i), i);
    }).ok());
    MapView m = *doc.root().get_map("m");
    for (int i = 0; i < 1000; i += 37) EXPECT_EQ(m.get_int(std::to_string(i)), i);
    EXPECT_EQ(m.keys().size(), 1000u);
}

}  // namespace
}  // namespace mail::persist
