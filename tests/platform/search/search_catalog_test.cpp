#include "platform/search/search_catalog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace mail::search {
namespace {

using Strings = std::vector<std::string>;

// A message shaped the way the mail application lists one: five lines of searchable text.
Entry message(std::string address, std::string subject, std::string sender,
              std::string sender_address, std::string body) {
    Entry e;
    e.action_address = std::move(address);
    e.action = "open";
    e.title = subject;
    e.subtitle = sender;
    e.section = "Mail";
    e.kind = "mail.message";
    e.icon = "mail";
    e.searchable_text = subject + "\n" + sender + "\n" + sender_address + "\n" + body + "\n";
    return e;
}

Entry plain(std::string address, std::string title, std::string text) {
    Entry e;
    e.action_address = std::move(address);
    e.action = "open";
    e.title = std::move(title);
    e.searchable_text = std::move(text);
    return e;
}

// Every result of a query, walking all pages.
Strings all_addresses(const SearchCatalog& catalog, std::string_view query,
                      std::size_t page_size = 256, std::size_t limit = 100000) {
    Strings out;
    std::string cursor;
    for (;;) {
        auto page = catalog.query_page(query, cursor, page_size, limit);
        EXPECT_TRUE(page.ok()) << (page.ok() ? "" : page.error_text());
        if (!page.ok()) return out;
        for (const SearchResult& r : page->results) out.push_back(r.action_address);
        if (page->next_cursor.empty()) return out;
        cursor = page->next_cursor;
    }
}

std::vector<Entry> mailbox() {
    return {
        message("mail.message:1", "Budget review for Q3", "Alice Smith", "alice.smith@example.org",
                "Please read the quarterly numbers before Friday."),
        message("mail.message:2", "Réunion à Paris", "Élodie Dupont", "elodie@exemple.fr",
                "Nous nous retrouvons à la Gare de Lyon."),
        message("mail.message:3", "Straße gesperrt", "Jörg Müller", "joerg@beispiel.de",
                "Die Hauptstraße ist ab Montag gesperrt."),
        message("mail.message:4", "Встреча в МОСКВЕ", "Иван Петров", "ivan@primer.ru",
                "Приезжайте в пятницу."),
        message("mail.message:5", "Ταξίδι στην Αθήνα", "Νίκος", "nikos@paradeigma.gr",
                "Θα τα πούμε σύντομα."),
        message("mail.message:6", "Lunch", "Bob", "bob@example.com", "abazbab is not a word"),
    };
}

class SearchCatalogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(catalog->replace(mailbox()).ok()); }
    std::shared_ptr<SearchCatalog> catalog = SearchCatalog::create("Mail");
};

TEST_F(SearchCatalogTest, FindsWordsPrefixesAndFragmentsWhateverTheirCaseAndAccents) {
    struct Case {
        const char* query;
        Strings expected;
    } cases[] = {
        {"quarterly", {"mail.message:1"}},     // a body word
        {"mith@exampl", {"mail.message:1"}},   // a fragment of the sender's address
        {"BUDG", {"mail.message:1"}},          // a prefix of a subject word
        {"bu", {"mail.message:1"}},            // a prefix too short for grams
        {"smith budget", {"mail.message:1"}},  // every term, in any field
        {"reunion", {"mail.message:2"}},
        {"ELODIE", {"mail.message:2"}},
        {"strasse", {"mail.message:3"}},
        {"HAUPTSTRASSE", {"mail.message:3"}},
        {"muller", {"mail.message:3"}},
        {"москве", {"mail.message:4"}},
        {"ПЯТНИЦУ", {"mail.message:4"}},
        {"αθηνα", {"mail.message:5"}},
        {"ΣΥΝΤΟΜΑ", {"mail.message:5"}},
        {"example", {"mail.message:1", "mail.message:6"}},
        {"budget lunch", {}},  // no entry holds both
        {"abab", {}},          // both grams present, not in this order
        {"zebra", {}},
    };
    for (const Case& c : cases) {
        Strings found = all_addresses(*catalog, c.query);
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, c.expected) << c.query;
    }
}

TEST_F(SearchCatalogTest, ResultsCarryTheEntryFields) {
    auto page = catalog->query_page("gesperrt", "", 10, 10);
    ASSERT_TRUE(page.ok());
    ASSERT_EQ(page->results.size(), 1u);
    const SearchResult& r = page->results[0];
    EXPECT_EQ(r.action_address, "mail.message:3");
    EXPECT_EQ(r.action, "open");
    EXPECT_EQ(r.title, "Straße gesperrt");
    EXPECT_EQ(r.subtitle, "Jörg Müller");
    EXPECT_EQ(r.section, "Mail");
    EXPECT_EQ(r.kind, "mail.message");
    EXPECT_EQ(r.icon, "mail");
    EXPECT_EQ(page->matched, 1u);
    EXPECT_TRUE(page->next_cursor.empty());
}

TEST(SearchCatalogRanking, WholeAbovePrefixAboveFragmentAndTitleAboveBody) {
    auto catalog = SearchCatalog::create("Mail");
    ASSERT_TRUE(catalog
                    ->replace({
                        plain("fragment", "Notes", "an explanation"),
                        plain("prefix-body", "Notes", "planning ahead"),
                        plain("prefix-title", "Planning", "notes"),
                        plain("whole-body", "Notes", "the plan"),
                        plain("whole-title", "Plan", "notes"),
                        plain("whole-body-later", "Notes", "our plan"),
                        plain("unrelated", "Notes", "nothing"),
                    })
                    .ok());
    EXPECT_EQ(all_addresses(*catalog, "plan"),
              (Strings{"whole-title", "whole-body", "whole-body-later", "prefix-title",
                       "prefix-body", "fragment"}));
    // Every term must match, and the scores of the terms add up.
    ASSERT_TRUE(catalog
                    ->replace({plain("prefix", "x", "planning ahead"),
                               plain("whole", "x", "plan ahead"), plain("partial", "x", "plan")})
                    .ok());
    EXPECT_EQ(all_addresses(*catalog, "plan ahead"), (Strings{"whole", "prefix"}));
}

TEST(SearchCatalogPaging, EveryResultOnceAcrossPagesAndTheLimitHolds) {
    auto catalog = SearchCatalog::create("Mail");
    std::vector<Entry> entries;
    for (int i = 0; i < 57; ++i) {
        // Three score levels interleaved, so pages cut through runs of equal scores.
        const char* text = i % 3 == 0 ? "common" : i % 3 == 1 ? "commonplace" : "uncommon";
        entries.push_back(plain("e" + std::to_string(i), i % 5 == 0 ? "Common" : "x", text));
    }
    ASSERT_TRUE(catalog->replace(entries).ok());

    Strings one_page = all_addresses(*catalog, "common", 256);
    ASSERT_EQ(one_page.size(), 57u);
    for (std::size_t page_size : {1u, 7u, 10u, 56u, 57u}) {
        Strings paged = all_addresses(*catalog, "common", page_size);
        EXPECT_EQ(paged, one_page) << page_size;
    }

    // limit 25 in pages of 10: 10, 10, 5, then no cursor.
    std::vector<std::size_t> sizes;
    std::string cursor;
    do {
        auto page = catalog->query_page("common", cursor, 10, 25);
        ASSERT_TRUE(page.ok());
        EXPECT_EQ(page->matched, 57u);
        sizes.push_back(page->results.size());
        cursor = page->next_cursor;
    } while (!cursor.empty());
    EXPECT_EQ(sizes, (std::vector<std::size_t>{10, 10, 5}));
}

TEST_F(SearchCatalogTest, QueriesWithoutTermsOrRoomAnswerAnEmptyLastPage) {
    struct Case {
        const char* query;
        std::size_t page_size;
        std::size_t limit;
    } cases[] = {
        {"", 10, 10}, {"   ", 10, 10}, {"@@ -- !", 10, 10}, {"budget", 0, 10}, {"budget", 10, 0}};
    for (const Case& c : cases) {
        auto page = catalog->query_page(c.query, "", c.page_size, c.limit);
        ASSERT_TRUE(page.ok()) << c.query;
        EXPECT_TRUE(page->results.empty()) << c.query;
        EXPECT_TRUE(page->next_cursor.empty()) << c.query;
    }
}

TEST_F(SearchCatalogTest, CursorsAreCurrentUntilTheContentIsReplaced) {
    auto first = catalog->query_page("example", "", 1, 10);
    ASSERT_TRUE(first.ok());
    const std::string cursor = first->next_cursor;
    ASSERT_FALSE(cursor.empty());
    EXPECT_TRUE(catalog->cursor_is_current(cursor));

    // Not cursors of this catalogue.
    auto other = SearchCatalog::create("Mail");
    ASSERT_TRUE(other->replace(mailbox()).ok());
    EXPECT_FALSE(other->cursor_is_current(cursor));
    EXPECT_FALSE(other->query_page("example", cursor, 1, 10).ok());
    for (const char* text : {"", "garbage", "sc1.1.1", "sc1.1.1.1.1.1.1.1"}) {
        EXPECT_FALSE(catalog->cursor_is_current(text)) << text;
        if (*text) {
            EXPECT_FALSE(catalog->query_page("example", text, 1, 10).ok()) << text;
        }
    }
    // A cursor continues only the query it was made for.
    EXPECT_FALSE(catalog->query_page("budget", cursor, 1, 10).ok());

    // A failed replacement leaves the content and its cursors alone.
    catalog->set_replace_failure_for_testing("injected");
    EXPECT_FALSE(catalog->replace({}).ok());
    EXPECT_TRUE(catalog->cursor_is_current(cursor));
    catalog->set_replace_failure_for_testing(std::nullopt);

    ASSERT_TRUE(catalog->replace(mailbox()).ok());  // same entries, new content all the same
    EXPECT_FALSE(catalog->cursor_is_current(cursor));
    auto stale = catalog->query_page("example", cursor, 1, 10);
    ASSERT_FALSE(stale.ok());
    EXPECT_NE(stale.error_text().find("out of date"), std::string::npos);
}

TEST_F(SearchCatalogTest, AFailedReplacementKeepsTheOldContent) {
    const SearchStats before = catalog->stats();

    catalog->set_replace_failure_for_testing("disk on fire");
    Status forced = catalog->replace({plain("new", "Brand new", "fresh")});
    ASSERT_FALSE(forced.ok());
    EXPECT_EQ(forced.error_text(), "disk on fire");
    // The hook holds until it is cleared, so a retry fails the same way.
    EXPECT_FALSE(catalog->replace({plain("new", "Brand new", "fresh")}).ok());
    EXPECT_EQ(all_addresses(*catalog, "quarterly"), (Strings{"mail.message:1"}));
    EXPECT_EQ(catalog->stats().generation, before.generation);

    catalog->set_replace_failure_for_testing(std::nullopt);
    ASSERT_TRUE(catalog->replace({plain("new", "Brand new", "fresh")}).ok());
    EXPECT_EQ(all_addresses(*catalog, "fresh"), (Strings{"new"}));
    EXPECT_TRUE(all_addresses(*catalog, "quarterly").empty());
    EXPECT_EQ(catalog->stats().generation, before.generation + 1);
}

TEST(SearchCatalogLimits, ContentOverALimitIsRefusedAndTheOldStays) {
    struct Case {
        CatalogLimits limits;
        const char* error_part;
    } cases[] = {
        {{.max_entries = 2, .max_text_bytes = 1000}, "at most 2 entries"},
        {{.max_entries = 10, .max_text_bytes = 20}, "at most 20 bytes"},
    };
    for (const Case& c : cases) {
        auto catalog = SearchCatalog::create("Mail", c.limits);
        ASSERT_TRUE(catalog->replace({plain("old", "old", "kept")}).ok());
        Status refused =
            catalog->replace({plain("a", "a", "one two three"), plain("b", "b", "four five six"),
                              plain("c", "c", "seven")});
        ASSERT_FALSE(refused.ok());
        EXPECT_NE(refused.error_text().find(c.error_part), std::string::npos)
            << refused.error_text();
        EXPECT_EQ(all_addresses(*catalog, "kept"), (Strings{"old"}));
        EXPECT_EQ(catalog->stats().entries, 1u);
    }
}

TEST(SearchCatalogStats, CountsTheIndexAndItsGeneration) {
    auto catalog = SearchCatalog::create("Mail");
    EXPECT_EQ(catalog->name(), "Mail");
    SearchStats empty = catalog->stats();
    EXPECT_EQ(empty.entries, 0u);
    EXPECT_EQ(empty.generation, 0u);
    EXPECT_TRUE(all_addresses(*catalog, "anything").empty());

    ASSERT_TRUE(
        catalog->replace({plain("a", "Hello", "hello world"), plain("b", "", "world")}).ok());
    SearchStats s = catalog->stats();
    EXPECT_EQ(s.entries, 2u);
    EXPECT_EQ(s.tokens, 2u);    // hello, world
    EXPECT_EQ(s.grams, 6u);     // hel ell llo wor orl rld
    EXPECT_EQ(s.postings, 3u);  // hello:a, world:a, world:b
    EXPECT_EQ(s.gram_links, 6u);
    EXPECT_EQ(s.generation, 1u);
    EXPECT_GT(s.last_rebuild.count(), 0);
}

// Readers query while a writer swaps between two contents that share one word. Every answer must
// come wholly from one of them: the right count, and addresses of one kind only.
TEST(SearchCatalogConcurrency, QueriesSeeTheOldOrTheNewContentNeverAMix) {
    auto make = [](const char* prefix, int count, const char* word) {
        std::vector<Entry> entries;
        for (int i = 0; i < count; ++i) {
            entries.push_back(plain(std::string(prefix) + std::to_string(i), "Shared",
                                    std::string("shared ") + word));
        }
        return entries;
    };
    const std::vector<Entry> a = make("a", 300, "alpha");
    const std::vector<Entry> b = make("b", 200, "beta");

    auto catalog = SearchCatalog::create("Mail");
    ASSERT_TRUE(catalog->replace(a).ok());

    constexpr int readers = 3;
    std::atomic<int> mixed{0};
    std::atomic<int> failed{0};
    std::atomic<int> satisfied{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back([&] {
            bool saw_a = false;
            bool saw_b = false;
            bool counted = false;
            while (!stop) {
                auto page = catalog->query_page("shared", "", 1000, 1000);
                if (!page.ok()) {
                    ++failed;
                    continue;
                }
                const auto& results = page->results;
                char kind = results.empty() ? '?' : results.front().action_address[0];
                bool one_kind =
                    std::all_of(results.begin(), results.end(),
                                [&](const SearchResult& x) { return x.action_address[0] == kind; });
                std::size_t expected = kind == 'a' ? 300 : 200;
                if (!one_kind || results.size() != expected || page->matched != expected) ++mixed;
                saw_a |= kind == 'a';
                saw_b |= kind == 'b';
                if (saw_a && saw_b && !counted) {
                    counted = true;
                    ++satisfied;
                }
            }
        });
    }
    // Keep swapping until every reader has seen both contents (or give up after a while).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int swaps = 0;
    while ((satisfied < readers || swaps < 50) && std::chrono::steady_clock::now() < deadline) {
        if (!catalog->replace(swaps % 2 == 0 ? b : a).ok()) {
            ADD_FAILURE() << "replace failed";
            break;
        }
        ++swaps;
    }
    stop = true;
    for (auto& t : threads) t.join();

    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(satisfied, readers);
}

}  // namespace
}  // namespace mail::search
