#include "engine/mail_reducer.h"

#include <gtest/gtest.h>

#include "core/message_fixture.h"
#include "engine/replica_schema.h"

namespace mail::engine {
namespace {

using persist::Document;
using testing::Msg;

// A document seeded with one message per folder role given.
struct Seeded {
    Document doc = persist::open_in_memory();
    std::vector<std::string> ids;

    explicit Seeded(std::initializer_list<FolderRole> folders) {
        std::vector<MailMessage> messages;
        for (FolderRole folder : folders) {
            messages.push_back(testing::make(Msg{.folder = folder}));
            ids.push_back(messages.back().id.to_string());
        }
        EXPECT_TRUE(seed_messages(doc, messages).ok());
    }

    persist::MapView flags(const std::string& id) const { return *doc.root().get_map("flags")->get_map(id); }
    persist::MapView entry(const std::string& id) const { return *doc.root().get_map("messages")->get_map(id); }
    std::vector<std::string_view> labels(const std::string& id) const {
        auto list = flags(id).get_list("labels");
        return list ? list->texts() : std::vector<std::string_view>{};
    }
};

Status apply(Document& doc, MailAction action) { return apply_action(doc, action); }

TEST(MailReducer, FlagActionsWriteOnlyForPresentIds) {
    Seeded s({FolderRole::Inbox, FolderRole::Trash});
    const std::string unknown = new_stable_id().to_string();
    ASSERT_TRUE(apply(s.doc, MailAction::SetRead{{"  " + s.ids[0] + "\n", unknown, "", s.ids[0]}, true}).ok());
    EXPECT_EQ(s.flags(s.ids[0]).get_bool("read"), true);
    EXPECT_EQ(s.doc.root().get_map("flags")->get_map(unknown), std::nullopt);

    ASSERT_TRUE(apply(s.doc, MailAction::SetStarred{{s.ids[1]}, true}).ok());
    EXPECT_EQ(s.flags(s.ids[1]).get_bool("starred"), true);

    const struct {
        const char* folder;
        const char* stored;
    } moves[] = {{"archive", "archive"}, {"Inbox", "archive"}, {"nowhere", "archive"}, {"", "archive"}, {"junk", "junk"}};
    for (const auto& m : moves) {
        ASSERT_TRUE(apply(s.doc, MailAction::Move{{s.ids[0]}, m.folder}).ok()) << m.folder;
        EXPECT_EQ(s.flags(s.ids[0]).get_text("folder"), m.stored) << m.folder;
    }
}

TEST(MailReducer, PresenceFollowsTheMessagesEntryThenTheFlagsEntry) {
    Document doc = persist::open_in_memory();
    ASSERT_TRUE(doc.change([](persist::Transaction& tx) {
        auto flags = tx.ensure_map(tx.root(), "flags");
        auto messages = tx.ensure_map(tx.root(), "messages");
        tx.ensure_map(flags, "flags-only");
        tx.put_bool(tx.ensure_map(messages, "present"), "present", true);
        tx.put_bool(tx.ensure_map(messages, "not-present"), "present", false);
        tx.put_bool(tx.ensure_map(flags, "not-present"), "read", false);
        tx.ensure_map(messages, "no-present-key");
        tx.ensure_map(flags, "no-present-key");
        auto purged = tx.ensure_map(messages, "purged");
        tx.put_bool(purged, "present", true);
        tx.put_bool(purged, "purged", true);
        return Status{};
    }).ok());
    const struct {
        const char* id;
        bool present;
    } cases[] = {{"flags-only", true},   {"present", true}, {"not-present", false},
                 {"no-present-key", false}, {"purged", false}, {"nothing", false}};
    for (const auto& c : cases) EXPECT_EQ(message_is_present(doc.root(), c.id), c.present) << c.id;

    ASSERT_TRUE(apply(doc, MailAction::SetRead{{"flags-only", "present", "not-present", "purged", "nothing"}, true}).ok());
    auto flags = *doc.root().get_map("flags");
    EXPECT_EQ(flags.get_map("flags-only")->get_bool("read"), true);
    EXPECT_EQ(flags.get_map("present")->get_bool("read"), true);  // flags entry made on the spot
    EXPECT_EQ(flags.get_map("not-present")->get_bool("read"), false);
    EXPECT_FALSE(flags.contains("purged"));
    EXPECT_FALSE(flags.contains("nothing"));
}

TEST(MailReducer, IdListsAreCutAt256AfterSkippingRepeats) {
    std::vector<MailMessage> messages;
    for (int i = 0; i < 300; ++i) messages.push_back(testing::make(Msg{}));
    Document doc = persist::open_in_memory();
    ASSERT_TRUE(seed_messages(doc, messages).ok());
    auto read = [&](int i) { return doc.root().get_map("flags")->get_map(messages[i].id.to_string())->get_bool("read"); };

    std::vector<std::string> distinct;
    for (const auto& m : messages) distinct.push_back(m.id.to_string());
    ASSERT_TRUE(apply(doc, MailAction::SetRead{distinct, true}).ok());
    EXPECT_EQ(read(0), true);
    EXPECT_EQ(read(255), true);
    EXPECT_EQ(read(256), false);
    EXPECT_EQ(read(299), false);

    std::vector<std::string> repeated(300, distinct[298]);
    repeated.push_back(distinct[299]);
    ASSERT_TRUE(apply(doc, MailAction::SetRead{repeated, true}).ok());
    EXPECT_EQ(read(298), true);
    EXPECT_EQ(read(299), true);

    const struct {
        std::vector<std::string> in;
        std::vector<std::string> out;
    } cleaning[] = {
        {{" a ", "a", "\tb", "", "   "}, {"a", "b"}},
        {{std::string(128, 'x'), std::string(129, 'y'), "\u00e9" + std::string(127, 'z')},
         {std::string(128, 'x'), "\u00e9" + std::string(127, 'z')}},
    };
    for (const auto& c : cleaning) EXPECT_EQ(clean_id_list(c.in), c.out);
}

TEST(MailReducer, PurgeIsAllOrNothing) {
    Seeded s({FolderRole::Trash, FolderRole::Inbox, FolderRole::Trash});
    const std::string before = s.doc.state_text();
    const std::vector<std::vector<std::string>> refused = {
        {s.ids[0], s.ids[1]},                        // one outside Trash
        {s.ids[0], new_stable_id().to_string()},     // one unknown
        {},                                          // nothing named
        {" ", ""},                                   // nothing left after cleaning
    };
    for (const auto& ids : refused) {
        Status st = apply(s.doc, MailAction::Purge{ids});
        ASSERT_FALSE(st.ok());
        EXPECT_EQ(st.error_text(), "every message must still be present in Trash before permanent deletion");
        EXPECT_EQ(s.doc.state_text(), before);
    }

    ASSERT_TRUE(apply(s.doc, MailAction::Purge{{s.ids[0], s.ids[2]}}).ok());
    for (const std::string& id : {s.ids[0], s.ids[2]}) {
        EXPECT_EQ(s.entry(id).get_bool("purged"), true);
        EXPECT_EQ(s.entry(id).get_bool("present"), false);
        EXPECT_FALSE(message_is_present(s.doc.root(), id));
    }
    EXPECT_TRUE(message_is_present(s.doc.root(), s.ids[1]));

    // Purged messages are skipped by later actions, and cannot be purged twice.
    ASSERT_TRUE(apply(s.doc, MailAction::SetRead{{s.ids[0]}, true}).ok());
    EXPECT_EQ(s.flags(s.ids[0]).get_bool("read"), false);
    EXPECT_FALSE(apply(s.doc, MailAction::Purge{{s.ids[0]}}).ok());
}

TEST(MailReducer, LabelsAreCleanedAndKeptOnce) {
    Seeded s({FolderRole::Inbox});
    const std::string id = s.ids[0];
    const std::string long_label(200, 'L');
    const struct {
        MailAction action;
        std::vector<std::string_view> labels;
    } steps[] = {
        {MailAction::AddLabel{{id}, "Work"}, {"Work"}},
        {MailAction::AddLabel{{id}, "  Work \t"}, {"Work"}},
        {MailAction::AddLabel{{id}, "Fa\x01mi\x7fly\u0085"}, {"Work", "Family"}},
        {MailAction::AddLabel{{id}, long_label}, {"Work", "Family", std::string_view(long_label).substr(0, 128)}},
        {MailAction::AddLabel{{id}, " \x02 "}, {"Work", "Family", std::string_view(long_label).substr(0, 128)}},
        {MailAction::RemoveLabel{{id}, "Family"}, {"Work", std::string_view(long_label).substr(0, 128)}},
        {MailAction::RemoveLabel{{id}, long_label}, {"Work"}},
        {MailAction::RemoveLabel{{id}, "absent"}, {"Work"}},
        {MailAction::AddLabel{{id}, "\u00e9t\u00e9"}, {"Work", "\u00e9t\u00e9"}},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(apply(s.doc, step.action).ok()) << write_mail_action_json(step.action);
        EXPECT_EQ(s.labels(id), step.labels) << write_mail_action_json(step.action);
    }
}

TEST(MailReducer, RemovingALabelRemovesCopiesAddedOnOtherReplicas) {
    Seeded s({FolderRole::Inbox});
    const std::string id = s.ids[0];
    Document other = persist::open_in_memory();
    ASSERT_TRUE(other.merge(s.doc).ok());
    ASSERT_TRUE(apply(s.doc, MailAction::AddLabel{{id}, "Work"}).ok());
    ASSERT_TRUE(apply(other, MailAction::AddLabel{{id}, "Work"}).ok());
    ASSERT_TRUE(s.doc.merge(other).ok());
    EXPECT_EQ(s.doc.root().get_map("flags")->get_map(id)->get_list("labels")->size(), 2u);

    Mailbox box;
    MailMessage message = testing::make(Msg{});
    message.id = *Uuid::parse(id);
    box.insert(message);
    project_onto(s.doc, box);
    EXPECT_EQ(box.find(message.id)->labels, (std::vector<std::string>{"Work"}));

    ASSERT_TRUE(apply(s.doc, MailAction::RemoveLabel{{id}, "Work"}).ok());
    EXPECT_TRUE(s.labels(id).empty());
}

TEST(MailReducer, UserFolders) {
    Document doc = persist::open_in_memory();
    const std::string long_id(129, 'i');
    const struct {
        MailAction action;
        std::vector<UserFolder> folders;
    } steps[] = {
        {MailAction::CreateFolder{"b", " Bills "}, {{"b", "Bills"}}},
        {MailAction::CreateFolder{"a", "Receipts\n2024"}, {{"a", "Receipts2024"}, {"b", "Bills"}}},
        {MailAction::CreateFolder{"c", "  "}, {{"a", "Receipts2024"}, {"b", "Bills"}}},
        {MailAction::CreateFolder{long_id, "Too long"}, {{"a", "Receipts2024"}, {"b", "Bills"}}},
        {MailAction::CreateFolder{"", "No id"}, {{"a", "Receipts2024"}, {"b", "Bills"}}},
        {MailAction::CreateFolder{"d", std::string(120, 'n')}, {{"a", "Receipts2024"}, {"b", "Bills"}, {"d", std::string(96, 'n')}}},
        {MailAction::RenameFolder{"b", "Invoices"}, {{"a", "Receipts2024"}, {"b", "Invoices"}, {"d", std::string(96, 'n')}}},
        {MailAction::RenameFolder{"zz", "Ghost"}, {{"a", "Receipts2024"}, {"b", "Invoices"}, {"d", std::string(96, 'n')}}},
        {MailAction::RenameFolder{"b", ""}, {{"a", "Receipts2024"}, {"b", "Invoices"}, {"d", std::string(96, 'n')}}},
        {MailAction::DeleteFolder{"d"}, {{"a", "Receipts2024"}, {"b", "Invoices"}}},
        {MailAction::DeleteFolder{"zz"}, {{"a", "Receipts2024"}, {"b", "Invoices"}}},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(apply(doc, step.action).ok());
        EXPECT_EQ(list_user_folders(doc), step.folders) << write_mail_action_json(step.action);
    }
}

TEST(MailReducer, StoredDraftIsNormalisedAndReplacedWhole) {
    Document doc = persist::open_in_memory();
    EXPECT_EQ(read_stored_draft(doc), DraftData{});

    const std::string ics = "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const DraftAttachment attachment{"mail-attachment:blake3:" + std::string(64, 'a'), "a.pdf", "application/pdf", 10};
    DraftData draft;
    draft.to = "  Ann <ann@mail.test>\x01 ";
    draft.subject = std::string(1200, 's');
    draft.body = "line 1\r\n\tline 2\x7f";
    draft.html_body = "<p>hi</p>";
    draft.calendar_ics = ics;
    draft.attachments = {attachment, attachment, DraftAttachment{"bad", "x", "y", 1}};
    ASSERT_TRUE(apply(doc, MailAction::SaveDraft{draft}).ok());

    DraftData stored = read_stored_draft(doc);
    EXPECT_EQ(stored, normalise_draft(draft));
    EXPECT_EQ(stored.to, "Ann <ann@mail.test>");
    EXPECT_EQ(stored.subject.size(), 998u);
    EXPECT_EQ(stored.body, "line 1\r\n\tline 2");
    EXPECT_EQ(stored.attachments, std::vector<DraftAttachment>{attachment});
    EXPECT_EQ(stored.calendar_ics, ics);

    // A second save without the optional parts removes them.
    DraftData plain;
    plain.to = "bob@mail.test";
    plain.calendar_ics = "BEGIN:VCALENDAR\nMETHOD:REQUEST\n";  // not bounded: dropped
    ASSERT_TRUE(apply(doc, MailAction::SaveDraft{plain}).ok());
    auto map = *doc.root().get_map("draft");
    EXPECT_FALSE(map.contains("html_body"));
    EXPECT_FALSE(map.contains("calendar_ics"));
    EXPECT_EQ(map.get_text("attachments"), "[]");
    EXPECT_EQ(read_stored_draft(doc), normalise_draft(plain));

    ASSERT_TRUE(apply(doc, MailAction::DiscardDraft{}).ok());
    EXPECT_TRUE(doc.root().get_map("draft")->keys().empty());
    EXPECT_EQ(read_stored_draft(doc), DraftData{});
    ASSERT_TRUE(apply(doc, MailAction::DiscardDraft{}).ok());  // nothing to discard
}

TEST(MailReducer, StoredDraftReadsWhatOthersWroteDefensively) {
    Document doc = persist::open_in_memory();
    ASSERT_TRUE(doc.change([](persist::Transaction& tx) {
        auto draft = tx.ensure_map(tx.root(), "draft");
        tx.put_text(draft, "subject", "kept");
        tx.put_int(draft, "to", 5);  // not text: reads as empty
        tx.put_text(draft, "calendar_ics", "BEGIN:VCALENDAR\r\n");
        tx.put_text(draft, "attachments", "{not json");
        return Status{};
    }).ok());
    DraftData draft = read_stored_draft(doc);
    EXPECT_EQ(draft.subject, "kept");
    EXPECT_EQ(draft.to, "");
    EXPECT_EQ(draft.calendar_ics, std::nullopt);
    EXPECT_TRUE(draft.attachments.empty());

    ASSERT_TRUE(doc.change([](persist::Transaction& tx) {
        tx.put_text(tx.root(), "draft", "not a map");
        return Status{};
    }).ok());
    EXPECT_EQ(read_stored_draft(doc), DraftData{});
    // Saving replaces the value of another kind with a map.
    DraftData fresh;
    fresh.subject = "new";
    ASSERT_TRUE(apply(doc, MailAction::SaveDraft{fresh}).ok());
    EXPECT_EQ(read_stored_draft(doc).subject, "new");
}

TEST(MailReducer, AnActionIsOneDurableChange) {
    Seeded s({FolderRole::Inbox, FolderRole::Inbox});
    const std::uint64_t before = s.doc.generation();
    ASSERT_TRUE(apply(s.doc, MailAction::SetRead{s.ids, true}).ok());
    EXPECT_GT(s.doc.generation(), before);
    const std::uint64_t after = s.doc.generation();
    ASSERT_TRUE(apply(s.doc, MailAction::Move{s.ids, "Inbox"}).ok());  // no-op: nothing written
    EXPECT_EQ(s.doc.generation(), after);
}

}  // namespace
}  // namespace mail::engine
