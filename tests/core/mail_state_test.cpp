#include <gtest/gtest.h>

#include "core/mail_state.h"
#include "message_fixture.h"

namespace mail {
namespace {

using testing::add;
using testing::Msg;

MailAccount account(const std::string& email) {
    MailAccount a;
    a.id = email;
    a.config.email = email;
    a.config.password = "pw";
    return a;
}

MailState with_account() { return MailState({account("me@example.com")}, 0, 1000); }

template <typename T>
std::vector<T> requests_of(const MailState& state) {
    std::vector<T> out;
    for (const auto& c : state.commands)
        if (const auto* engine = std::get_if<command::Engine>(&c))
            if (const auto* r = std::get_if<T>(&engine->request)) out.push_back(*r);
    return out;
}

TEST(MailState, ConstructionUsesTheSelectedAccount) {
    MailState state({account("a@x"), account("b@x")}, 1, 42);
    EXPECT_EQ(state.mailbox.account.email, "b@x");
    EXPECT_EQ(state.mailbox.account.password, "pw");
    EXPECT_EQ(state.folder, FolderRole::Inbox);
    EXPECT_EQ(state.now, 42);
    EXPECT_EQ(MailState({}, 0, 0).mailbox.account, StoredConfig{});
}

TEST(MailState, VisibleListShowsConversationsByTheirOldestMessage) {
    MailState state;
    StableId root = add(state.mailbox, {.subject = "root", .date = 1, .message_id = "r@x"});
    add(state.mailbox, {.subject = "reply", .date = 9, .in_reply_to = "r@x"});
    StableId single = add(state.mailbox, {.subject = "single", .date = 5});
    EXPECT_EQ(state.visible_list(), (std::vector<VisibleRow>{{root, 2}, {single, 1}}));

    state.search_query = "   ";  // blank: still the folder view
    EXPECT_EQ(state.visible_list().size(), 2u);
    state.search_query = "REPLY";
    ASSERT_EQ(state.visible_list().size(), 1u);
    EXPECT_EQ(state.visible_list()[0].count, 1u);
}

TEST(MailState, VisibleListIsCachedUntilRevisionFolderOrQueryChanges) {
    MailState state;
    add(state.mailbox, {.subject = "alpha", .date = 1});
    const auto* first = &state.visible_list();
    auto snapshot = *first;
    EXPECT_EQ(&state.visible_list(), first);
    EXPECT_EQ(state.visible_list(), snapshot);

    StableId b = add(state.mailbox, {.subject = "bravo", .date = 2});
    EXPECT_EQ(state.visible_list().size(), 2u);
    state.mailbox.set_folder(b, FolderRole::Archive);
    EXPECT_EQ(state.visible_list().size(), 1u);
    state.folder = FolderRole::Archive;
    ASSERT_EQ(state.visible_list().size(), 1u);
    EXPECT_EQ(state.visible_list()[0].id, b);
    state.search_query = "alpha";
    ASSERT_EQ(state.visible_list().size(), 1u);
    EXPECT_NE(state.visible_list()[0].id, b);

    // Swapping in another mailbox is seen too: revisions never repeat across mailboxes.
    state.search_query.clear();
    state.mailbox = Mailbox();
    EXPECT_TRUE(state.visible_list().empty());
}

TEST(MailState, SelectFirstPicksTheOldestOfTheNewestConversation) {
    MailState state;
    StableId oldest = add(state.mailbox, {.subject = "1", .date = 10, .message_id = "t1@x"});
    add(state.mailbox, {.subject = "2", .date = 20, .message_id = "t2@x", .in_reply_to = "t1@x"});
    add(state.mailbox, {.subject = "3", .date = 30, .in_reply_to = "t2@x"});
    add(state.mailbox, {.subject = "older single", .date = 15});
    state.select_first();
    EXPECT_EQ(state.selected, oldest);
    EXPECT_TRUE(state.changed);

    state.folder = FolderRole::Junk;
    state.select_first();
    EXPECT_EQ(state.selected, std::nullopt);
}

TEST(MailState, SelectFolderClearsSearchSelectsAndQueuesRefreshOnlyWithAnAccount) {
    MailState state = with_account();
    StableId archived = add(state.mailbox, {.subject = "a", .folder = FolderRole::Archive});
    state.search_query = "x";
    state.select_folder(FolderRole::Archive);
    EXPECT_EQ(state.folder, FolderRole::Archive);
    EXPECT_TRUE(state.search_query.empty());
    EXPECT_EQ(state.selected, archived);
    auto refreshes = requests_of<RefreshFolder>(state);
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(refreshes[0].role, FolderRole::Archive);
    EXPECT_EQ(refreshes[0].account.email, "me@example.com");

    state.select_folder(FolderRole::Sent);
    EXPECT_EQ(state.selected, std::nullopt);

    MailState no_account;
    no_account.select_folder(FolderRole::Sent);
    EXPECT_TRUE(no_account.commands.empty());
}

TEST(MailState, OpenMarksReadAndPreviewDoesNot) {
    MailState state = with_account();
    StableId id = add(state.mailbox, {.subject = "s", .folder = FolderRole::Archive});
    state.search_query = "s";

    ASSERT_TRUE(state.preview(id));
    EXPECT_EQ(state.previewing, id);
    EXPECT_EQ(state.selected, id);
    EXPECT_EQ(state.folder, FolderRole::Archive);
    EXPECT_TRUE(state.search_query.empty());
    EXPECT_FALSE(state.mailbox.find(id)->seen);
    EXPECT_TRUE(requests_of<SyncFlags>(state).empty());
    ASSERT_EQ(state.commands.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<command::ShowReadingPane>(state.commands[0]));
    state.take_commands();

    ASSERT_TRUE(state.open(id));
    EXPECT_EQ(state.previewing, std::nullopt);
    EXPECT_TRUE(state.mailbox.find(id)->seen);
    EXPECT_EQ(state.pending_actions, (std::vector<MailAction>{MailAction::SetRead{{id.to_string()}, true}}));
    auto syncs = requests_of<SyncFlags>(state);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_TRUE(syncs[0].message.seen);  // the copy is taken after the change
    EXPECT_TRUE(std::holds_alternative<command::ShowReadingPane>(state.commands.back()));

    // Opening a read message leaves its state alone.
    state.take_commands();
    state.pending_actions.clear();
    ASSERT_TRUE(state.open(id));
    EXPECT_TRUE(state.pending_actions.empty());
}

TEST(MailState, OperationsOnUnknownIdsDoNothing) {
    MailState state = with_account();
    StableId missing = new_stable_id();
    state.changed = false;
    EXPECT_FALSE(state.open(missing));
    EXPECT_FALSE(state.preview(missing));
    EXPECT_FALSE(state.set_read(missing, true));
    EXPECT_FALSE(state.toggle_bulk(missing));
    EXPECT_FALSE(state.changed);
    EXPECT_FALSE(state.bulk_mode);
    EXPECT_TRUE(state.commands.empty());
    EXPECT_TRUE(state.pending_actions.empty());
    EXPECT_EQ(state.selected, std::nullopt);
}

TEST(MailState, SetReadTakesARevisionOnlyWhenTheValueChanges) {
    MailState state = with_account();
    StableId id = add(state.mailbox, {.seen = true});
    auto before = state.mailbox.revision();
    ASSERT_TRUE(state.set_read(id, true));
    EXPECT_EQ(state.mailbox.revision(), before);
    ASSERT_TRUE(state.set_read(id, false));
    EXPECT_GT(state.mailbox.revision(), before);
    EXPECT_FALSE(state.mailbox.find(id)->seen);
    EXPECT_EQ(state.pending_actions.back(), MailAction(MailAction::SetRead{{id.to_string()}, false}));
}

TEST(MailState, ToggleBulkAddsAndRemovesInChoiceOrder) {
    MailState state;
    StableId a = add(state.mailbox, {});
    StableId b = add(state.mailbox, {});
    EXPECT_TRUE(state.toggle_bulk(b));
    EXPECT_TRUE(state.toggle_bulk(a));
    EXPECT_TRUE(state.bulk_mode);
    EXPECT_EQ(state.bulk_selection, (std::vector<StableId>{b, a}));
    EXPECT_TRUE(state.toggle_bulk(b));
    EXPECT_EQ(state.bulk_selection, (std::vector<StableId>{a}));
}

class MoveSelection : public ::testing::Test {
protected:
    void SetUp() override {
        // Rows, newest first: thread (root t, reply r), m, o.
        t = add(state.mailbox, {.subject = "t", .date = 10, .message_id = "t@x"});
        r = add(state.mailbox, {.subject = "r", .date = 40, .in_reply_to = "t@x"});
        m = add(state.mailbox, {.subject = "m", .date = 30});
        o = add(state.mailbox, {.subject = "o", .date = 20});
    }
    MailState state;
    StableId t, r, m, o;
};

TEST_F(MoveSelection, ClampsAndFollowsConversations) {
    struct Case {
        std::optional<StableId> from;
        std::ptrdiff_t delta;
        StableId to;
        const char* what;
    } cases[] = {
        {std::nullopt, 1, m, "nothing selected starts at the first row"},
        {t, 1, m, "down from the first row"},
        {m, -1, t, "up to the first row"},
        {t, -1, t, "up on the first row stays"},
        {o, 1, o, "down on the last row stays"},
        {r, 1, m, "a newer member counts as its conversation's row"},
        {t, 1000000, o, "a large delta clamps"},
        {o, PTRDIFF_MIN, t, "the smallest delta clamps without overflow"},
        {o, PTRDIFF_MAX, o, "the largest delta clamps without overflow"},
        {new_stable_id(), 1, m, "an unknown selection starts at the first row"},
    };
    for (const auto& c : cases) {
        state.selected = c.from;
        state.move_selection(c.delta);
        EXPECT_EQ(state.selected, c.to) << c.what;
    }
}

TEST_F(MoveSelection, EmptyListLeavesSelectionAlone) {
    state.folder = FolderRole::Junk;
    state.selected = m;
    state.move_selection(1);
    EXPECT_EQ(state.selected, m);
}

TEST(MailState, ReaderConversationFollowsTheSelection) {
    MailState state;
    EXPECT_TRUE(state.reader_conversation().empty());
    StableId a = add(state.mailbox, {.subject = "Lunch", .date = 1});
    add(state.mailbox, {.subject = "Re: Lunch", .date = 2});
    state.selected = a;
    EXPECT_EQ(state.reader_conversation().size(), 2u);
    state.selected = new_stable_id();
    EXPECT_TRUE(state.reader_conversation().empty());
}

TEST(MailState, InsertMessageReplacesByIdAndMarksChanged) {
    MailState state;
    state.insert_message(testing::make({.subject = "v1", .message_id = "x@y"}));
    state.insert_message(testing::make({.subject = "v2", .message_id = "x@y"}));
    EXPECT_TRUE(state.changed);
    ASSERT_EQ(state.mailbox.order().size(), 1u);
    EXPECT_EQ(state.mailbox.find(state.mailbox.order()[0])->subject, "v2");
}

TEST(PaneCommand, NumbersFollowTheCommandTable) {
    EXPECT_EQ(PaneCommand(command::ShowReadingPane{}).index(), 0u);
    EXPECT_EQ(PaneCommand(command::OpenSetup{SetupMode::Edit, 2}).index(), 9u);
    EXPECT_EQ(PaneCommand(command::Engine{Connect(StoredConfig{})}).index(), 11u);
    EXPECT_EQ(PaneCommand(command::ConfirmPurge{}).index(), 13u);
    EXPECT_EQ(std::variant_size_v<PaneCommand>, 14u);
}

TEST(EngineRequest, EachConstructionDrawsAFreshIdAndKnowsItsKind) {
    EngineRequest a = Connect(StoredConfig{});
    EngineRequest b = Connect(StoredConfig{});
    EXPECT_NE(request_id(a), request_id(b));
    EXPECT_FALSE(request_id(a).is_nil());
    EXPECT_EQ(request_kind(a), RequestKind::Connect);
    EXPECT_EQ(request_kind(EngineRequest(RefreshFolder(StoredConfig{}, FolderRole::Junk))), RequestKind::RefreshFolder);
    EXPECT_EQ(request_kind(EngineRequest(SyncFlags(StoredConfig{}, MailMessage{}))), RequestKind::SyncFlags);
    EXPECT_EQ(request_kind(EngineRequest(MoveMessage(StoredConfig{}, MailMessage{}, FolderRole::Trash))),
              RequestKind::MoveMessage);
    EXPECT_EQ(request_kind(EngineRequest(PurgeMessage(StoredConfig{}, MailMessage{}))), RequestKind::PurgeMessage);
}

}  // namespace
}  // namespace mail

namespace mail {
namespace {

using testing::add;

TEST(MailState, StarMoveAndDeleteRecordTheirActionsAndQueueTheServerChange) {
    MailState state({MailAccount{"me@example.com", [] {
                                     StoredConfig c;
                                     c.email = "me@example.com";
                                     return c;
                                 }(), false, 0}},
                    0, 1000);
    StableId first = add(state.mailbox, {.subject = "Older", .date = 10});
    StableId second = add(state.mailbox, {.subject = "Newer", .date = 20});
    state.selected = second;

    ASSERT_TRUE(state.toggle_star(first));
    EXPECT_TRUE(state.mailbox.find(first)->flagged);
    auto syncs = requests_of<SyncFlags>(state);
    ASSERT_EQ(syncs.size(), 1u);
    EXPECT_TRUE(syncs[0].message.flagged);

    ASSERT_TRUE(state.move_message(second, FolderRole::Archive));
    EXPECT_EQ(state.mailbox.find(second)->folder, FolderRole::Archive);
    auto moves = requests_of<MoveMessage>(state);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].message.folder, FolderRole::Inbox) << "the copy is taken before the move";
    EXPECT_EQ(moves[0].destination, FolderRole::Archive);
    EXPECT_EQ(state.selected, first) << "the selection starts again at the top of the folder";
    EXPECT_TRUE(std::holds_alternative<command::ShowList>(state.commands.back()));

    // Delete outside Trash moves there; in Trash it removes the record for good.
    ASSERT_TRUE(state.delete_message(first));
    EXPECT_EQ(state.mailbox.find(first)->folder, FolderRole::Trash);
    ASSERT_TRUE(state.delete_message(first));
    EXPECT_EQ(state.mailbox.find(first), nullptr);
    auto purges = requests_of<PurgeMessage>(state);
    ASSERT_EQ(purges.size(), 1u);
    EXPECT_EQ(purges[0].message.folder, FolderRole::Trash);

    const std::vector<MailAction> expected = {
        MailAction::SetStarred{{first.to_string()}, true},
        MailAction::Move{{second.to_string()}, "archive"},
        MailAction::Move{{first.to_string()}, "trash"},
        MailAction::Purge{{first.to_string()}},
    };
    EXPECT_EQ(state.pending_actions, expected);
    EXPECT_FALSE(state.toggle_star(first)) << "gone";
}

}  // namespace
}  // namespace mail
