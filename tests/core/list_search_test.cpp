#include <gtest/gtest.h>

#include "core/list_search.h"
#include "message_fixture.h"

namespace mail {
namespace {

using testing::add;
using testing::Msg;

TEST(ListSearch, MatchesSubjectSenderAddressAndBodyIgnoringCase) {
    Mailbox box;
    add(box, {.subject = "Quarterly Report", .date = 1});
    add(box, {.subject = "x", .date = 2, .from = "grace@hopper.example"});
    add(box, {.subject = "y", .date = 3, .from = "z@example.com", .name = "Ada Lovelace"});
    add(box, {.subject = "z", .date = 4, .body = "Meet at the CAFÉ"});
    add(box, {.subject = "nothing", .date = 5});

    struct Case {
        const char* query;
        std::vector<std::string> subjects;
    } cases[] = {
        {"REPORT", {"Quarterly Report"}},
        {"  GRACE@Hopper ", {"x"}},  // trimmed, upper case finds a lower-case address
        {"lovelace", {"y"}},
        {"café", {"z"}},
        {"example", {"y", "x"}},  // newest first by date
        {"absent", {}},
    };
    for (const auto& c : cases) {
        auto result = list_search(box, c.query, std::nullopt);
        std::vector<std::string> got;
        for (const auto* m : result.matches) got.push_back(m->subject);
        EXPECT_EQ(got, c.subjects) << c.query;
        EXPECT_FALSE(result.truncated);
    }
}

TEST(ListSearch, BlankQueryOrZeroLimitFindsNothing) {
    Mailbox box;
    add(box, {.subject = "a"});
    for (const char* q : {"", "   ", "\t\n"}) EXPECT_TRUE(list_search(box, q, std::nullopt).matches.empty());
    EXPECT_TRUE(list_search(box, "a", std::nullopt, 0, 10).matches.empty());
    EXPECT_TRUE(list_search(box, "a", std::nullopt, 10, 0).matches.empty());
}

TEST(ListSearch, TrashIsSkippedForAnyRoleButSearchableByRole) {
    Mailbox box;
    add(box, {.subject = "match inbox", .date = 1});
    add(box, {.subject = "match trash", .date = 2, .folder = FolderRole::Trash});
    auto any = list_search(box, "match", std::nullopt);
    ASSERT_EQ(any.matches.size(), 1u);
    EXPECT_EQ(any.matches[0]->subject, "match inbox");
    EXPECT_EQ(any.scanned, 1u);
    auto trash = list_search(box, "match", FolderRole::Trash);
    ASSERT_EQ(trash.matches.size(), 1u);
    EXPECT_EQ(trash.matches[0]->subject, "match trash");
}

TEST(ListSearch, KeepsTheMostRecentArrivalsUpToTheResultLimit) {
    Mailbox box;
    // Dates run against arrival so the two orders differ.
    for (int i = 0; i < 300; ++i) add(box, {.subject = "hit " + std::to_string(i), .date = 1000 - i});
    auto result = list_search(box, "hit", std::nullopt);
    ASSERT_EQ(result.matches.size(), 200u);
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(result.matches.front()->subject, "hit 100");  // newest date among arrivals 100..299
    EXPECT_EQ(result.matches.back()->subject, "hit 299");
}

TEST(ListSearch, TruncatedOnlyWhenALimitLeftRecordsUnscanned) {
    Mailbox box;
    for (int i = 0; i < 10; ++i) add(box, {.subject = i % 2 ? "odd" : "even", .date = i});
    struct Case {
        const char* query;
        std::size_t scan, keep;
        std::size_t matches, scanned;
        bool truncated;
    } cases[] = {
        {"odd", 10, 200, 5, 10, false},  // the scan limit equals the records: nothing left over
        {"odd", 8, 200, 4, 8, true},
        {"even", 100, 5, 5, 10, false},  // the fifth match is the oldest arrival
        {"odd", 100, 5, 5, 9, true},     // one record was left unconsidered
        {"odd", 100, 4, 4, 7, true},
    };
    for (const auto& c : cases) {
        auto result = list_search(box, c.query, std::nullopt, c.scan, c.keep);
        std::string where = std::string(c.query) + " " + std::to_string(c.scan) + "/" + std::to_string(c.keep);
        EXPECT_EQ(result.matches.size(), c.matches) << where;
        EXPECT_EQ(result.scanned, c.scanned) << where;
        EXPECT_EQ(result.truncated, c.truncated) << where;
    }
}

}  // namespace
}  // namespace mail
