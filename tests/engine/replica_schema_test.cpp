#include "engine/replica_schema.h"

#include <gtest/gtest.h>

#include <random>

#include "core/message_fixture.h"
#include "engine/mail_reducer.h"

namespace mail::engine {
namespace {

using persist::Document;
using testing::Msg;

std::string id_of(const MailMessage& m) { return m.id.to_string(); }

TEST(ReplicaSchema, SeedingFillsOnlyWhatIsMissing) {
    Document doc = persist::open_in_memory();
    MailMessage m = testing::make(Msg{.folder = FolderRole::Archive, .seen = true, .flagged = false});
    m.labels = {"server label"};
    ASSERT_TRUE(seed_message(doc, m).ok());
    auto flags = *doc.root().get_map("flags")->get_map(id_of(m));
    EXPECT_EQ(flags.get_bool("read"), true);
    EXPECT_EQ(flags.get_bool("starred"), false);
    EXPECT_EQ(flags.get_text("folder"), "archive");
    EXPECT_FALSE(flags.contains("labels"));
    EXPECT_EQ(doc.root().get_map("messages")->get_map(id_of(m))->get_bool("present"), true);

    // Seeding again writes nothing at all.
    const std::uint64_t generation = doc.generation();
    ASSERT_TRUE(seed_messages(doc, {m, m}).ok());
    EXPECT_EQ(doc.generation(), generation);

    // A partly known message gets only its missing values.
    ASSERT_TRUE(doc.change([&](persist::Transaction& tx) {
        auto f = *tx.root().get_map("flags")->get_map(id_of(m));
        tx.remove(f, "starred");
        tx.put_text(f, "folder", "trash");
        return Status{};
    }).ok());
    m.flagged = true;
    m.folder = FolderRole::Inbox;
    ASSERT_TRUE(seed_message(doc, m).ok());
    flags = *doc.root().get_map("flags")->get_map(id_of(m));
    EXPECT_EQ(flags.get_bool("starred"), true);
    EXPECT_EQ(flags.get_text("folder"), "trash");
}

TEST(ReplicaSchema, LocalDecisionsOutliveLaterRefreshes) {
    Document doc = persist::open_in_memory();
    Mailbox box;
    MailMessage unread = testing::make(Msg{.message_id = "<a@mail.test>", .seen = true});
    MailMessage purged = testing::make(Msg{.folder = FolderRole::Trash, .message_id = "<b@mail.test>"});
    for (const MailMessage& m : {unread, purged}) {
        ASSERT_TRUE(seed_message(doc, m).ok());
        box.insert(m);
    }
    project_onto(doc, box);

    // Marked unread here, purged from Trash here.
    ASSERT_TRUE(apply_action(doc, MailAction::SetRead{{id_of(unread)}, false}).ok());
    ASSERT_TRUE(apply_action(doc, MailAction::Purge{{id_of(purged)}}).ok());
    EXPECT_TRUE(project_onto(doc, box));
    EXPECT_FALSE(box.find(unread.id)->seen);
    EXPECT_FALSE(box.contains(purged.id));

    // The next refresh reports the first as \Seen and brings the second again: the same ids,
    // since both come from their Message-IDs.
    MailMessage again_unread = testing::make(Msg{.message_id = "<a@mail.test>", .seen = true});
    MailMessage again_purged = testing::make(Msg{.folder = FolderRole::Trash, .message_id = "<b@mail.test>"});
    ASSERT_EQ(again_unread.id, unread.id);
    for (const MailMessage& m : {again_unread, again_purged}) {
        ASSERT_TRUE(seed_message(doc, m).ok());
        box.insert(m);
    }
    EXPECT_TRUE(project_onto(doc, box));
    EXPECT_FALSE(box.find(unread.id)->seen);
    EXPECT_FALSE(box.contains(purged.id));
    EXPECT_EQ(doc.root().get_map("messages")->get_map(id_of(purged))->get_bool("present"), false);
    EXPECT_FALSE(message_is_present(doc.root(), id_of(purged)));
}

TEST(ReplicaSchema, ProjectionTakesARevisionOnlyWhenSomethingChanged) {
    Document doc = persist::open_in_memory();
    Mailbox box;
    MailMessage m = testing::make(Msg{});
    MailMessage untouched = testing::make(Msg{.seen = true});
    for (const MailMessage& x : {m, untouched}) {
        ASSERT_TRUE(seed_message(doc, x).ok());
        box.insert(x);
    }
    std::uint64_t revision = box.revision();
    EXPECT_FALSE(project_onto(doc, box));
    EXPECT_EQ(box.revision(), revision);

    const struct {
        MailAction action;
        bool changes;
    } steps[] = {
        {MailAction::SetRead{{id_of(m)}, true}, true},
        {MailAction::SetRead{{id_of(m)}, true}, false},  // written again, same value
        {MailAction::SetStarred{{id_of(m)}, true}, true},
        {MailAction::Move{{id_of(m)}, "archive"}, true},
        {MailAction::AddLabel{{id_of(m)}, "Work"}, true},
        {MailAction::AddLabel{{id_of(m)}, "Work"}, false},
        {MailAction::CreateFolder{"f", "Folder"}, false},
        {MailAction::RemoveLabel{{id_of(m)}, "Work"}, true},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(apply_action(doc, step.action).ok());
        EXPECT_EQ(project_onto(doc, box), step.changes) << write_mail_action_json(step.action);
        EXPECT_EQ(box.revision() != revision, step.changes) << write_mail_action_json(step.action);
        revision = box.revision();
    }
    const MailMessage& projected = *box.find(m.id);
    EXPECT_TRUE(projected.seen);
    EXPECT_TRUE(projected.flagged);
    EXPECT_EQ(projected.folder, FolderRole::Archive);
    EXPECT_TRUE(projected.labels.empty());
    EXPECT_EQ(*box.find(untouched.id), untouched);
}

TEST(ReplicaSchema, ProjectionIgnoresValuesItCannotUse) {
    Document doc = persist::open_in_memory();
    Mailbox box;
    MailMessage m = testing::make(Msg{.folder = FolderRole::Sent, .seen = true});
    box.insert(m);
    ASSERT_TRUE(doc.change([&](persist::Transaction& tx) {
        auto f = tx.ensure_map(tx.ensure_map(tx.root(), "flags"), id_of(m));
        tx.put_text(f, "folder", "Inbox");  // not a role identifier
        tx.put_text(f, "read", "no");       // not a boolean
        auto labels = tx.ensure_list(f, "labels");
        tx.push_text(labels, "b");
        tx.push_int(labels, 3);
        tx.push_text(labels, "a");
        tx.push_text(labels, "b");
        return Status{};
    }).ok());
    EXPECT_TRUE(project_onto(doc, box));
    const MailMessage& projected = *box.find(m.id);
    EXPECT_EQ(projected.folder, FolderRole::Sent);
    EXPECT_TRUE(projected.seen);
    EXPECT_EQ(projected.labels, (std::vector<std::string>{"b", "a"}));
}

// The remembering projection must always end where a whole walk ends.
TEST(ReplicaSchema, RememberingProjectionMatchesAWholeWalk) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Document doc = persist::open_in_memory();
    Mailbox box;
    std::vector<MailMessage> messages;
    for (int i = 0; i < 40; ++i) {
        messages.push_back(testing::make(Msg{.folder = kFolderRoles[static_cast<std::size_t>(pick(7))],
                                             .seen = pick(2) == 1}));
    }
    ASSERT_TRUE(seed_messages(doc, messages).ok());
    for (const auto& m : messages) box.insert(m);
    ReplicaProjection projection;
    projection.project(doc, box);

    for (int step = 0; step < 400; ++step) {
        std::vector<std::string> ids;
        for (int n = 1 + pick(3); n > 0; --n) ids.push_back(id_of(messages[static_cast<std::size_t>(pick(40))]));
        switch (pick(8)) {
        case 0: (void)apply_action(doc, MailAction::SetRead{ids, pick(2) == 1}); break;
        case 1: (void)apply_action(doc, MailAction::SetStarred{ids, pick(2) == 1}); break;
        case 2: (void)apply_action(doc, MailAction::Move{ids, std::string(folder_identifier(kFolderRoles[static_cast<std::size_t>(pick(7))]))}); break;
        case 3: (void)apply_action(doc, MailAction::AddLabel{ids, "L" + std::to_string(pick(3))}); break;
        case 4: (void)apply_action(doc, MailAction::RemoveLabel{ids, "L" + std::to_string(pick(3))}); break;
        case 5: (void)apply_action(doc, MailAction::Purge{ids}); break;
        case 6: {  // a refresh: the server's state replaces records, seeding fills gaps
            MailMessage again = messages[static_cast<std::size_t>(pick(40))];
            again.seen = pick(2) == 1;
            ASSERT_TRUE(seed_message(doc, again).ok());
            box.insert(again);
            break;
        }
        default: {  // the application's own change: the record, and the action it records
            const MailMessage& m = messages[static_cast<std::size_t>(pick(40))];
            const bool starred = pick(2) == 1;
            box.set_flagged(m.id, starred);
            (void)apply_action(doc, MailAction::SetStarred{{id_of(m)}, starred});
            break;
        }
        }
        if (pick(3) == 0) continue;  // not every step syncs
        Mailbox expected = box;
        project_onto(doc, expected);
        projection.project(doc, box);
        ASSERT_EQ(box.order(), expected.order()) << "step " << step;
        for (const StableId& id : box.order()) ASSERT_EQ(*box.find(id), *expected.find(id)) << "step " << step;
    }

    // Nothing changed since the last projection: nothing to do, no new revision.
    projection.project(doc, box);
    const std::uint64_t revision = box.revision();
    EXPECT_FALSE(projection.project(doc, box));
    EXPECT_EQ(box.revision(), revision);

    // Another document is projected whole.
    Document other = persist::open_in_memory();
    MailMessage first = *box.find(box.order().front());
    MailMessage flipped = first;
    flipped.seen = !first.seen;
    ASSERT_TRUE(seed_message(other, flipped).ok());
    EXPECT_TRUE(projection.project(other, box));
    EXPECT_EQ(box.find(first.id)->seen, flipped.seen);
}

TEST(ReplicaSchema, TextCleaning) {
    const struct {
        std::string in;
        std::size_t limit;
        std::string single;
        std::string multi;
    } cases[] = {
        {"  plain  ", 10, "plain", "plain"},
        {"a\tb\nc\rd\x01" "e\x7f\u0085", 10, "abcde", "a\tb\nc\rde"},
        {"\u00e9\u00e9\u00e9\u00e9", 3, "\u00e9\u00e9\u00e9", "\u00e9\u00e9\u00e9"},  // characters, not bytes
        {"\x01\x02" "abc", 2, "ab", "ab"},     // the cut counts what remains
        {"\u3000wide\u00a0", 10, "wide", "wide"},  // Unicode white space
        {"bad\xff" "byte", 20, "bad\xef\xbf\xbd" "byte", "bad\xef\xbf\xbd" "byte"},
        {"", 5, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(clean_single_line(c.in, c.limit), c.single) << c.in;
        EXPECT_EQ(clean_multi_line(c.in, c.limit), c.multi) << c.in;
    }
}

TEST(ReplicaSchema, UserFoldersSkipValuesThatAreNotText) {
    Document doc = persist::open_in_memory();
    ASSERT_TRUE(doc.change([](persist::Transaction& tx) {
        auto folders = tx.ensure_map(tx.root(), "folders");
        tx.put_text(folders, "z", "Last");
        tx.put_text(folders, "B", "Upper");
        tx.put_int(folders, "n", 1);
        tx.put_text(folders, "a", "First");
        return Status{};
    }).ok());
    EXPECT_EQ(list_user_folders(doc), (std::vector<UserFolder>{{"B", "Upper"}, {"a", "First"}, {"z", "Last"}}));
}

}  // namespace
}  // namespace mail::engine
