#include <gtest/gtest.h>

#include "core/mailbox.h"
#include "message_fixture.h"

namespace mail {
namespace {

using testing::add;
using testing::make;
using testing::Msg;

TEST(Mailbox, EveryChangeTakesAHigherRevisionAndNoOpsDoNot) {
    Mailbox box;
    Mailbox other;
    EXPECT_GT(other.revision(), box.revision());  // one counter for the whole process

    std::uint64_t last = box.revision();
    auto expect_bump = [&](bool changed, const char* what) {
        EXPECT_TRUE(changed) << what;
        EXPECT_GT(box.revision(), last) << what;
        last = box.revision();
    };
    auto expect_same = [&](bool changed, const char* what) {
        EXPECT_FALSE(changed) << what;
        EXPECT_EQ(box.revision(), last) << what;
    };

    StableId id = add(box, {.subject = "a"});
    expect_bump(true, "insert");
    expect_bump(box.set_seen(id, true), "seen");
    expect_same(box.set_seen(id, true), "seen again");
    expect_bump(box.set_flagged(id, true), "flagged");
    expect_bump(box.set_folder(id, FolderRole::Archive), "folder");
    expect_same(box.set_folder(id, FolderRole::Archive), "same folder");
    expect_bump(box.update(id, [](MailMessage& m) { m.labels.push_back("work"); }), "update");
    StableId missing = new_stable_id();
    expect_same(box.set_seen(missing, true), "missing id");
    expect_same(box.update(missing, [](MailMessage&) {}), "update missing");
    expect_bump(box.remove(id).has_value(), "remove");
    expect_same(box.remove(id).has_value(), "remove again");
    EXPECT_TRUE(box.order().empty());
    EXPECT_EQ(box.size(), 0u);
}

TEST(Mailbox, ReplaceKeepsArrivalPosition) {
    Mailbox box;
    StableId a = add(box, {.subject = "a", .message_id = "a@x"});
    StableId b = add(box, {.subject = "b"});
    box.insert(make({.subject = "a again", .message_id = "a@x"}));
    ASSERT_EQ(box.order(), (std::vector<StableId>{a, b}));
    EXPECT_EQ(box.find(a)->subject, "a again");
}

TEST(Mailbox, UpdateCannotChangeTheKey) {
    Mailbox box;
    StableId a = add(box, {});
    box.update(a, [](MailMessage& m) { m.id = new_stable_id(); });
    ASSERT_NE(box.find(a), nullptr);
    EXPECT_EQ(box.find(a)->id, a);
}

TEST(Mailbox, OrderedRecordsFollowInsertRemoveAndCopies) {
    auto subjects = [](const Mailbox& box) {
        std::vector<std::string> out;
        for (const MailMessage* m : box.ordered_messages()) out.push_back(m->subject);
        return out;
    };
    Mailbox copy;
    {
        Mailbox box;
        add(box, {.subject = "a"});
        StableId b = add(box, {.subject = "b"});
        add(box, {.subject = "c"});
        box.remove(b);
        copy = box;
        add(box, {.subject = "only in the original"});
        Mailbox moved = std::move(box);
        EXPECT_EQ(subjects(moved), (std::vector<std::string>{"a", "c", "only in the original"}));
    }
    // The copy points into its own records, not the destroyed original's.
    EXPECT_EQ(subjects(copy), (std::vector<std::string>{"a", "c"}));
    Mailbox constructed(copy);
    EXPECT_EQ(subjects(constructed), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(constructed.revision(), copy.revision());
}

}  // namespace
}  // namespace mail
