#include "app/mail_search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "app/mail_app.h"

namespace mail::app {
namespace {

MailMessage message(std::string subject, std::string from_address, std::string body, FolderRole folder,
                    std::int64_t date = 1000) {
    MailMessage m;
    m.id = new_stable_id();
    m.subject = std::move(subject);
    m.from = MailAddress{std::move(from_address), std::nullopt};
    m.body = std::move(body);
    m.folder = folder;
    m.date = date;
    return m;
}

TEST(MailCatalogueEntries, FoldersFirstTrashLastAndNoTrashedMessages) {
    Mailbox mailbox;
    MailMessage named = message("Quarterly numbers", "ceo@example.com", "See attached.", FolderRole::Inbox);
    named.from.name = "Dana Ceo";
    named.labels = {"work", "urgent"};
    mailbox.insert(named);
    mailbox.insert(message("   ", "x@example.com", "", FolderRole::Archive));
    mailbox.insert(message("Trashed", "t@example.com", "gone", FolderRole::Trash));

    auto entries = catalogue_entries(mailbox);
    ASSERT_EQ(entries.size(), 9u);
    const char* folders[] = {"inbox", "starred", "sent", "drafts", "archive", "junk", "trash"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(entries[i].action_address, std::string("mail.folder:") + folders[i]);
        EXPECT_EQ(entries[i].section, "Mail folders");
        EXPECT_EQ(entries[i].subtitle, "Mail folder");
        EXPECT_EQ(entries[i].action, "open");
    }
    EXPECT_EQ(entries[6].title, "Trash");

    std::set<std::string> titles;
    for (std::size_t i = 7; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].section, "Mail");
        EXPECT_EQ(entries[i].action_address.rfind("mail.message:", 0), 0u);
        titles.insert(entries[i].title);
    }
    EXPECT_EQ(titles, (std::set<std::string>{"Quarterly numbers", "(no subject)"}));
    const auto& q = entries[7].title == "Quarterly numbers" ? entries[7] : entries[8];
    EXPECT_EQ(q.subtitle, "Dana Ceo");
    EXPECT_EQ(q.action_address, "mail.message:" + named.id.to_string());
    EXPECT_EQ(q.searchable_text, "Quarterly numbers\nDana Ceo\nceo@example.com\nSee attached.\nwork urgent");
}

TEST(MailCatalogue, RebuildsOnlyAfterAChangeAndRetriesAfterAFailure) {
    Mailbox mailbox;
    MailCatalogue catalogue;
    EXPECT_FALSE(catalogue.refresh(mailbox).has_value());
    EXPECT_TRUE(catalogue.rebuilding());
    EXPECT_FALSE(catalogue.wait_for_rebuild().has_value());
    const auto generation = catalogue.stats().generation;
    EXPECT_FALSE(catalogue.refresh(mailbox).has_value());
    EXPECT_FALSE(catalogue.rebuilding()) << "no change, no rebuild";
    EXPECT_EQ(catalogue.stats().generation, generation);

    mailbox.insert(message("Lunch", "a@example.com", "noon?", FolderRole::Inbox));
    catalogue.catalog()->set_replace_failure_for_testing("index too large");
    EXPECT_FALSE(catalogue.refresh(mailbox).has_value());
    auto failure = catalogue.wait_for_rebuild();
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(*failure, "Mail search could not replace its catalogue: index too large");
    ASSERT_TRUE(catalogue.status_resource().has_value());
    EXPECT_EQ(catalogue.status_resource()->text, "Search index unavailable: index too large");
    // Tried again although the mailbox did not change again; the old content stays meanwhile.
    EXPECT_FALSE(catalogue.refresh(mailbox).has_value());
    EXPECT_TRUE(catalogue.rebuilding());
    EXPECT_TRUE(catalogue.wait_for_rebuild().has_value());
    EXPECT_EQ(catalogue.stats().generation, generation);

    catalogue.catalog()->set_replace_failure_for_testing(std::nullopt);
    EXPECT_FALSE(catalogue.refresh(mailbox).has_value());
    EXPECT_FALSE(catalogue.wait_for_rebuild().has_value());
    EXPECT_GT(catalogue.stats().generation, generation);
    EXPECT_FALSE(catalogue.status_resource().has_value());
    EXPECT_EQ(catalogue.built_revision(), mailbox.revision());
}

TEST(MailCatalogue, AChangeDuringARebuildIsIndexedByTheNextOne) {
    Mailbox mailbox;
    MailCatalogue catalogue;
    (void)catalogue.refresh(mailbox);
    mailbox.insert(message("Late arrival", "late@example.com", "", FolderRole::Inbox));
    (void)catalogue.refresh(mailbox);  // a rebuild may still be running: nothing new starts
    (void)catalogue.wait_for_rebuild();
    (void)catalogue.refresh(mailbox);
    (void)catalogue.wait_for_rebuild();
    EXPECT_EQ(catalogue.built_revision(), mailbox.revision());
    auto page = catalogue.query_page("arrival", "", 10, 10);
    ASSERT_TRUE(page.ok());
    ASSERT_EQ(page->results.size(), 1u);
    EXPECT_EQ(page->results[0].title, "Late arrival");
}

TEST(MailCatalogue, QueriesFindBodyWordsAddressFragmentsAndSubjectPrefixes) {
    Mailbox mailbox;
    mailbox.insert(message("Réunion budget", "finance.team@northwind.example", "Les chiffres du trimestre", FolderRole::Inbox));
    mailbox.insert(message("Offsite planning", "maya@example.org", "The venue has a rooftop terrace", FolderRole::Inbox));
    mailbox.insert(message("Rooftop party", "trash@example.org", "hidden", FolderRole::Trash));
    MailCatalogue catalogue;
    ASSERT_FALSE(catalogue.refresh(mailbox).has_value());
    ASSERT_FALSE(catalogue.wait_for_rebuild().has_value());

    auto titles_for = [&](std::string_view q) {
        std::set<std::string> titles;
        auto page = catalogue.query_page(q, "", 50, 50);
        EXPECT_TRUE(page.ok()) << q;
        if (page.ok())
            for (const auto& r : page->results) titles.insert(r.title);
        return titles;
    };
    EXPECT_EQ(titles_for("rooftop"), (std::set<std::string>{"Offsite planning"}));
    EXPECT_EQ(titles_for("northwind"), (std::set<std::string>{"Réunion budget"}));
    EXPECT_EQ(titles_for("reunion"), (std::set<std::string>{"Réunion budget"}));
    EXPECT_EQ(titles_for("offs"), (std::set<std::string>{"Offsite planning"}));
    EXPECT_TRUE(titles_for("   ").empty());
    EXPECT_TRUE(catalogue.query_page("  ", "", 10, 10)->results.empty());
}

TEST(MailCatalogue, PagesAreCappedAndEveryResultComesOnce) {
    Mailbox mailbox;
    for (int i = 0; i < 600; ++i)
        mailbox.insert(message("Invoice " + std::to_string(i), "billing@example.com", "invoice", FolderRole::Inbox, i));
    MailCatalogue catalogue;
    ASSERT_FALSE(catalogue.refresh(mailbox).has_value());
    ASSERT_FALSE(catalogue.wait_for_rebuild().has_value());

    auto first = catalogue.query_page("invoice", "", 10'000, 10'000);
    ASSERT_TRUE(first.ok());
    EXPECT_LE(first->results.size(), MailCatalogue::kQueryCap);

    std::set<std::string> seen;
    std::string cursor;
    for (int pages = 0; pages < 100; ++pages) {
        auto page = catalogue.query_page("invoice", cursor, 50, 256);
        ASSERT_TRUE(page.ok());
        for (const auto& r : page->results) EXPECT_TRUE(seen.insert(r.action_address).second) << r.title;
        if (page->next_cursor.empty()) break;
        EXPECT_TRUE(catalogue.cursor_is_current(page->next_cursor));
        cursor = page->next_cursor;
    }
    EXPECT_GE(seen.size(), 256u);
}

TEST(MailAppSearch, AFailedRebuildReachesTheStatusLine) {
    auto state = std::make_shared<MailState>();
    MailApp app(state, std::nullopt, StorageRoot::none());
    app.catalogue_mut().catalog()->set_replace_failure_for_testing("out of memory");
    state->insert_message(message("New", "n@example.com", "", FolderRole::Inbox));
    for (int i = 0; i < 500 && !state->status; ++i) {
        app.sync(ui::FrameContext{});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(state->status.has_value());
    EXPECT_EQ(*state->status, "Mail search could not replace its catalogue: out of memory");
}

}  // namespace
}  // namespace mail::app
