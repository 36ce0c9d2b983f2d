#include <gtest/gtest.h>

#include "core/conversations.h"
#include "message_fixture.h"

namespace mail {
namespace {

using testing::add;
using testing::Msg;

std::vector<std::string> subjects(const std::vector<const MailMessage*>& list) {
    std::vector<std::string> out;
    for (const auto* m : list) out.push_back(m->subject);
    return out;
}

using Names = std::vector<std::string>;

TEST(FolderList, FilterByRoleAndStarredView) {
    Mailbox box;
    add(box, {.subject = "inbox", .date = 5});
    add(box, {.subject = "inbox flagged", .date = 4, .flagged = true});
    add(box, {.subject = "archive flagged", .date = 3, .folder = FolderRole::Archive, .flagged = true});
    add(box, {.subject = "trash flagged", .date = 2, .folder = FolderRole::Trash, .flagged = true});
    add(box, {.subject = "starred role", .date = 1, .folder = FolderRole::Starred});

    EXPECT_EQ(subjects(folder_list(box, FolderRole::Inbox)), (Names{"inbox", "inbox flagged"}));
    EXPECT_EQ(subjects(folder_list(box, FolderRole::Starred)), (Names{"inbox flagged", "archive flagged"}));
    EXPECT_EQ(subjects(folder_list(box, FolderRole::Trash)), (Names{"trash flagged"}));
    EXPECT_TRUE(folder_list(box, FolderRole::Junk).empty());
}

TEST(FolderList, NewestFirstAndEqualDatesKeepArrivalOrder) {
    Mailbox box;
    add(box, {.subject = "old", .date = 10});
    add(box, {.subject = "tie first", .date = 20});
    add(box, {.subject = "new", .date = 30});
    add(box, {.subject = "tie second", .date = 20});
    add(box, {.subject = "tie third", .date = 20});
    EXPECT_EQ(subjects(folder_list(box, FolderRole::Inbox)),
              (Names{"new", "tie first", "tie second", "tie third", "old"}));
}

// Conversation sizes and first subjects, for compact comparisons.
std::vector<std::pair<std::size_t, std::string>> shape(const Mailbox& box, FolderRole role) {
    std::vector<std::pair<std::size_t, std::string>> out;
    for (const auto& c : conversations(box, role)) out.emplace_back(c.ids.size(), box.find(c.ids.front())->subject);
    return out;
}

TEST(Conversations, ThreadsRepliesWithinTheView) {
    Mailbox box;
    StableId root = add(box, {.subject = "root", .date = 1, .message_id = "<r@x>"});
    add(box, {.subject = "reply", .date = 5, .message_id = "<a@x>", .in_reply_to = "r@x"});  // bare form
    add(box, {.subject = "reply to reply", .date = 6, .message_id = "b@x", .in_reply_to = " <a@x> "});
    add(box, {.subject = "other", .date = 3});
    add(box, {.subject = "case differs", .date = 2, .message_id = "c@x", .in_reply_to = "<R@X>"});

    auto list = conversations(box, FolderRole::Inbox);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].key, "r@x");
    ASSERT_EQ(list[0].ids.size(), 3u);
    EXPECT_EQ(list[0].ids.back(), root);  // newest first, so the root is last
    EXPECT_EQ(box.find(list[0].ids.front())->subject, "reply to reply");
    EXPECT_EQ(shape(box, FolderRole::Inbox),
              (std::vector<std::pair<std::size_t, std::string>>{{3, "reply to reply"}, {1, "other"}, {1, "case differs"}}));
}

TEST(Conversations, KeyFallsBackToStableIdText) {
    Mailbox box;
    StableId lone = add(box, {.subject = "no id"});
    auto list = conversations(box, FolderRole::Inbox);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].key, lone.to_string());
}

TEST(Conversations, ReplyToAnotherFolderStartsItsOwnConversation) {
    Mailbox box;
    add(box, {.subject = "sent original", .date = 1, .folder = FolderRole::Sent, .message_id = "s@x"});
    add(box, {.subject = "answer", .date = 2, .message_id = "i@x", .in_reply_to = "s@x"});
    auto list = conversations(box, FolderRole::Inbox);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].key, "i@x");
}

TEST(Conversations, ReplyCyclesFormOneConversationWithoutLooping) {
    Mailbox box;
    add(box, {.subject = "a", .date = 2, .message_id = "a@x", .in_reply_to = "b@x"});
    add(box, {.subject = "b", .date = 1, .message_id = "b@x", .in_reply_to = "a@x"});
    add(box, {.subject = "c into cycle", .date = 3, .message_id = "c@x", .in_reply_to = "b@x"});
    add(box, {.subject = "self", .date = 0, .message_id = "s@x", .in_reply_to = "<s@x>"});
    auto list = conversations(box, FolderRole::Inbox);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].ids.size(), 3u);
    EXPECT_EQ(list[0].key, "a@x");  // the cycle's newest member
    EXPECT_EQ(list[1].key, "s@x");
}

TEST(Conversations, OrderedByNewestMember) {
    Mailbox box;
    add(box, {.subject = "old thread root", .date = 1, .message_id = "o@x"});
    add(box, {.subject = "middle", .date = 5});
    add(box, {.subject = "old thread fresh reply", .date = 9, .in_reply_to = "o@x"});
    add(box, {.subject = "tie a", .date = 3});
    add(box, {.subject = "tie b", .date = 3});
    EXPECT_EQ(shape(box, FolderRole::Inbox), (std::vector<std::pair<std::size_t, std::string>>{
                                                 {2, "old thread fresh reply"}, {1, "middle"}, {1, "tie a"}, {1, "tie b"}}));
}

TEST(SubjectKey, StripsReplyAndForwardPrefixes) {
    struct Case {
        const char* subject;
        const char* key;
    } cases[] = {
        {"Lunch", "Lunch"},   {"  Lunch  ", "Lunch"},   {"RE: Fwd: Lunch", "Lunch"},
        {"re:fw:FW:  Lunch", "Lunch"}, {"Re: re: lunch", "lunch"}, {"Re Lunch", "Re Lunch"},
        {"Lunch re:", "Lunch re:"},   {"Re:", ""},              {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(subject_key(c.subject), c.key) << c.subject;
}

TEST(ReaderConversation, SameFolderAndExactSubjectKeyOldestFirst) {
    Mailbox box;
    StableId lunch = add(box, {.subject = "Lunch", .date = 10});
    add(box, {.subject = "RE: Fwd: Lunch", .date = 20});
    add(box, {.subject = "Fw: Lunch", .date = 5});
    add(box, {.subject = "lunch", .date = 15});
    add(box, {.subject = "Re: Lunch", .date = 12, .folder = FolderRole::Archive});
    add(box, {.subject = "Dinner", .date = 11});

    EXPECT_EQ(subjects(reader_conversation(box, lunch)), (Names{"Fw: Lunch", "Lunch", "RE: Fwd: Lunch"}));
    EXPECT_TRUE(reader_conversation(box, new_stable_id()).empty());
}

}  // namespace
}  // namespace mail
