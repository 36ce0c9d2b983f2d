#include "engine/sample_mailbox.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mail::engine {
namespace {

TEST(SampleMailbox, FoldersHoldTheirMessagesWithTheirFlags) {
    MailState state = build_sample_state();
    ASSERT_EQ(state.mailbox.size(), 15u);
    EXPECT_EQ(state.now, kSampleNow);

    auto inbox = state.folder_list(FolderRole::Inbox);
    EXPECT_EQ(inbox.size(), 11u);
    EXPECT_EQ(std::count_if(inbox.begin(), inbox.end(), [](const MailMessage* m) { return !m->seen; }), 6);
    EXPECT_EQ(state.folder_list(FolderRole::Sent).size(), 2u);
    EXPECT_EQ(state.folder_list(FolderRole::Archive).size(), 1u);
    EXPECT_EQ(state.folder_list(FolderRole::Junk).size(), 1u);
    EXPECT_TRUE(state.folder_list(FolderRole::Trash).empty());
    EXPECT_TRUE(state.folder_list(FolderRole::Drafts).empty());
    // Starred is a view over the flag: two synthetic messages and the parsed newsletter.
    auto starred = state.folder_list(FolderRole::Starred);
    ASSERT_EQ(starred.size(), 3u);
    EXPECT_TRUE(std::any_of(starred.begin(), starred.end(), [](const MailMessage* m) { return m->html_body.has_value(); }));

    for (const MailMessage* m : inbox) {
        ASSERT_FALSE(m->to.empty());
        EXPECT_EQ(m->to.front().address, "you@example.com") << m->subject;
    }
    // Listed attachments carry no content, so nothing counts as downloaded.
    for (const MailMessage* m : state.folder_list(FolderRole::Inbox))
        for (const auto& a : m->attachments)
            if (a.content.empty()) EXPECT_FALSE(a.downloaded) << a.file_name;
}

TEST(SampleMailbox, StartsInsideTheThreeMessageConversationWithAccountOneSelected) {
    MailState state = build_sample_state();
    ASSERT_EQ(state.accounts.size(), 2u);
    EXPECT_EQ(state.selected_account, 0u);
    EXPECT_EQ(state.accounts[0].config.display_name, "You");
    EXPECT_EQ(state.accounts[1].config.smtp_port, 587);
    EXPECT_EQ(state.accounts[0].id, state.accounts[0].config.email);
    EXPECT_EQ(state.mailbox.account.email, state.accounts[0].config.email);

    ASSERT_TRUE(state.selected.has_value());
    const Conversation* holder = nullptr;
    auto conversations = state.conversations(FolderRole::Inbox);
    for (const auto& c : conversations)
        if (std::find(c.ids.begin(), c.ids.end(), *state.selected) != c.ids.end()) holder = &c;
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(holder->ids.size(), 3u);
}

TEST(SampleMailbox, ParsedSamplesHaveTheirExactSizesAndParse) {
    auto raw = sample_raw_messages();
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(raw[0].size(), 458u);
    EXPECT_EQ(raw[1].size(), 754u);
    EXPECT_EQ(raw[2].size(), 1073u);
    for (auto text : raw) EXPECT_NE(text.find("\r\n\r\n"), std::string_view::npos);

    MailState state = build_sample_state();
    const MailMessage* venue = nullptr;
    const MailMessage* newsletter = nullptr;
    for (const MailMessage* m : state.folder_list(FolderRole::Inbox)) {
        if (m->subject == "Signed venue contract") venue = m;
        if (m->html_body) newsletter = m;
    }
    ASSERT_NE(venue, nullptr);
    ASSERT_EQ(venue->attachments.size(), 1u);
    EXPECT_EQ(venue->attachments[0].mime_type, "application/pdf");
    EXPECT_EQ(venue->attachments[0].content.size(), 46u);
    EXPECT_EQ(venue->date, kSampleNow - 420);
    EXPECT_TRUE(venue->seen);
    ASSERT_NE(newsletter, nullptr);
    EXPECT_TRUE(newsletter->flagged);
    EXPECT_FALSE(newsletter->seen);
    EXPECT_EQ(newsletter->from.address, "newsletter@orbit-weekly.example");
}

}  // namespace
}  // namespace mail::engine
