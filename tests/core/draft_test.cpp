#include "core/draft.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail {
namespace {

const std::string kHash(64, 'a');

DraftAttachment valid_attachment(std::string hash_digit = "a", std::uint64_t size = 10) {
    return DraftAttachment{attachment_content_id(std::string(64, hash_digit[0])), "report.pdf",
                           "application/pdf", size};
}

std::string hash_for(int n) {
    std::string hash(64, '0');
    std::string digits = std::to_string(n);
    hash.replace(64 - digits.size(), digits.size(), digits);
    return hash;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST(DraftAttachmentValidity, EachRuleAtItsBoundary) {
    struct Case {
        const char* what;
        DraftAttachment attachment;
        bool valid;
    };
    auto with = [](auto change) {
        DraftAttachment a = valid_attachment();
        change(a);
        return a;
    };
    const Case cases[] = {
        {"plain valid entry", valid_attachment(), true},
        {"180 two-byte characters", with([](auto& a) { a.filename = repeat("é", 180); }), true},
        {"181 characters", with([](auto& a) { a.filename = repeat("x", 181); }), false},
        {"empty name", with([](auto& a) { a.filename = ""; }), false},
        {"slash in name", with([](auto& a) { a.filename = "a/b.pdf"; }), false},
        {"backslash in name", with([](auto& a) { a.filename = "a\\b.pdf"; }), false},
        {"line feed in name", with([](auto& a) { a.filename = "a\nb.pdf"; }), false},
        {"DEL in name", with([](auto& a) { a.filename = "a\x7f" "b"; }), false},
        {"C1 control in name", with([](auto& a) { a.filename = "a\xc2\x85" "b"; }), false},
        {"malformed UTF-8 in name", with([](auto& a) { a.filename = "a\xff" "b"; }), false},
        {"upper-case hash", with([](auto& a) { a.content_id = attachment_content_id(std::string(64, 'A')); }), false},
        {"63 digits", with([](auto& a) { a.content_id = attachment_content_id(std::string(63, 'a')); }), false},
        {"65 digits", with([](auto& a) { a.content_id = attachment_content_id(std::string(65, 'a')); }), false},
        {"other prefix", with([](auto& a) { a.content_id = "mail-attachment:sha256:" + kHash; }), false},
        {"bare hash", with([](auto& a) { a.content_id = kHash; }), false},
        {"127-character MIME type", with([](auto& a) { a.mime = "a/" + std::string(125, 'b'); }), true},
        {"128-character MIME type", with([](auto& a) { a.mime = "a/" + std::string(126, 'b'); }), false},
        {"MIME type without slash", with([](auto& a) { a.mime = "pdf"; }), false},
        {"exactly 32 MiB", with([](auto& a) { a.size = 33554432; }), true},
        {"one byte over 32 MiB", with([](auto& a) { a.size = 33554433; }), false},
    };
    for (const Case& c : cases) EXPECT_EQ(attachment_is_valid(c.attachment), c.valid) << c.what;
}

TEST(DraftAttachmentList, KeepsTheFirstSixteenValidEntries) {
    std::vector<DraftAttachment> list;
    for (int i = 0; i < 17; ++i) list.push_back({attachment_content_id(hash_for(i)), "f.txt", "text/plain", 1});
    auto kept = normalise_attachments(list);
    ASSERT_EQ(kept.size(), 16u);
    EXPECT_EQ(kept.front(), list.front());
    EXPECT_EQ(kept.back(), list[15]);
}

TEST(DraftAttachmentList, DuplicatesAndInvalidEntriesAreSkippedWithoutEndingTheWalk) {
    DraftAttachment first = valid_attachment("b");
    DraftAttachment again = first;
    again.filename = "copy.pdf";
    DraftAttachment invalid = valid_attachment("c");
    invalid.filename = "../x";
    DraftAttachment later = valid_attachment("d");
    auto kept = normalise_attachments({first, again, invalid, later});
    EXPECT_EQ(kept, (std::vector<DraftAttachment>{first, later}));
}

TEST(DraftAttachmentList, TotalSizeLimitLetsALaterSmallerEntryIn) {
    const std::uint64_t mib = 1024 * 1024;
    std::vector<DraftAttachment> list = {
        valid_attachment("1", 32 * mib), valid_attachment("2", 32 * mib), valid_attachment("3", 32 * mib),
        valid_attachment("4", 31 * mib),
        valid_attachment("5", 2 * mib),  // 129 MiB in total: refused
        valid_attachment("6", 1 * mib),  // exactly 128 MiB: kept
        valid_attachment("7", 1),        // over by one byte
    };
    auto kept = normalise_attachments(list);
    ASSERT_EQ(kept.size(), 5u);
    EXPECT_EQ(kept[4], list[5]);
}

TEST(DraftNormalisation, TextFieldsAreTrimmedStrippedAndCut) {
    DraftData draft;
    draft.to = "  ann@example.org,\x01 bob@example.org \n";
    draft.cc = repeat("c", 9000);
    draft.bcc = "\t";
    draft.subject = "  " + repeat("é", 1200) + "  ";
    draft.body = "  Hello\tthere\r\nbye\x07\n  ";
    draft.html_body = "<p>\x1bhi</p>";
    DraftData n = normalise_draft(draft);
    EXPECT_EQ(n.to, "ann@example.org, bob@example.org");
    EXPECT_EQ(n.cc, repeat("c", 8192));
    EXPECT_EQ(n.bcc, "");
    EXPECT_EQ(n.subject, repeat("é", 998));
    EXPECT_EQ(n.body, "Hello\tthere\r\nbye");
    EXPECT_EQ(n.html_body, "<p>hi</p>");
    EXPECT_FALSE(normalise_draft(DraftData{}).html_body.has_value());
}

TEST(DraftNormalisation, LimitCountsCharactersLeftAfterControlsAreRemoved) {
    DraftData draft;
    draft.subject = repeat("a\n", 998) + "tail";
    EXPECT_EQ(normalise_draft(draft).subject, repeat("a", 998));
}

TEST(DraftNormalisation, MalformedUtf8BecomesReplacementCharacters) {
    DraftData draft;
    draft.subject = "caf\xc3 ok\xff";
    EXPECT_EQ(normalise_draft(draft).subject, "caf\xef\xbf\xbd ok\xef\xbf\xbd");
}

const std::string kInvite =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nUID:1@example.org\r\n"
    "SUMMARY:Planning\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

std::string with_lf(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return out;
}

// A passing payload padded with a comment-like property to exactly `bytes` bytes.
std::string invite_of_size(std::size_t bytes) {
    std::string head = "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nX-PAD:";
    std::string tail = "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    return head + std::string(bytes - head.size() - tail.size(), 'p') + tail;
}

TEST(BoundedInvitation, AcceptsOnlyTheBoundedForm) {
    struct Case {
        const char* what;
        std::string text;
        bool passes;
    };
    std::string two_events = kInvite;
    two_events.insert(two_events.find("END:VCALENDAR"), "BEGIN:VEVENT\r\nEND:VEVENT\r\n");
    std::string with_nul = kInvite;
    with_nul.insert(20, 1, '\0');
    const Case cases[] = {
        {"CRLF payload", kInvite, true},
        {"LF payload", with_lf(kInvite), false},
        {"two events", two_events, false},
        {"exactly 262144 bytes", invite_of_size(262144), true},
        {"262145 bytes", invite_of_size(262145), false},
        {"NUL inside", with_nul, false},
        {"method publish", std::string(kInvite).replace(kInvite.find("REQUEST"), 7, "PUBLISH"), false},
        {"method on a longer line", std::string(kInvite).insert(kInvite.find("REQUEST") + 7, "X"), false},
        {"no event", "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nEND:VCALENDAR\r\n", false},
        {"text after the end", kInvite + "X", false},
        {"leading blank line", "\r\n" + kInvite, false},
        {"empty", "", false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_bounded_invitation(c.text), c.passes) << c.what;
}

TEST(DraftNormalisation, InvitationKeptOnlyWhenBounded) {
    DraftData draft;
    draft.calendar_ics = kInvite;
    EXPECT_EQ(normalise_draft(draft).calendar_ics, kInvite);  // not trimmed: its CRLF end stays
    draft.calendar_ics = with_lf(kInvite);
    EXPECT_FALSE(normalise_draft(draft).calendar_ics.has_value());
}

TEST(RecipientText, SplitsAndReadsNames) {
    struct Case {
        const char* text;
        std::vector<MailAddress> expected;
    };
    const Case cases[] = {
        {"\"Ann Lee\" <ann@example.org>; bob@example.org",
         {{"ann@example.org", "Ann Lee"}, {"bob@example.org", std::nullopt}}},
        {"Ann <ann@example.org", {{"Ann <ann@example.org", std::nullopt}}},
        {" , ;; ", {}},
        {"<ann@example.org>", {{"ann@example.org", std::nullopt}}},
        {"\"\" < ann@example.org > trailing", {{"ann@example.org", std::nullopt}}},
        {"a@x.org,b@x.org;c@x.org", {{"a@x.org", {}}, {"b@x.org", {}}, {"c@x.org", {}}}},
        {"Lee, Ann <ann@example.org>", {{"Lee", {}}, {"ann@example.org", "Ann"}}},
        {"x > y <z@x.org>", {{"z@x.org", "x > y"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(parse_recipients(c.text), c.expected) << c.text;
}

TEST(RecipientText, FormatsNamedAndBareAddresses) {
    std::vector<MailAddress> list = {{"ann@example.org", "Ann Lee"}, {"bob@example.org", std::nullopt},
                                     {"cy@example.org", ""}};
    EXPECT_EQ(format_address(list[0]), "Ann Lee <ann@example.org>");
    EXPECT_EQ(format_address_list(list), "Ann Lee <ann@example.org>, bob@example.org, cy@example.org");
    EXPECT_EQ(parse_recipients(format_address_list(list)),
              (std::vector<MailAddress>{list[0], list[1], {"cy@example.org", std::nullopt}}));
}

TEST(DraftJson, WritesKeysInOrderAndLeavesOutAbsentTexts) {
    DraftData draft{"a@x.org", "", "", "Hi", "Body", std::nullopt, std::nullopt,
                    {{attachment_content_id(kHash), "r.pdf", "application/pdf", 3}}};
    EXPECT_EQ(write_draft_json(draft),
              R"({"to":"a@x.org","cc":"","bcc":"","subject":"Hi","body":"Body","attachments":)"
              R"([{"content_id":"mail-attachment:blake3:)" + kHash +
                  R"(","filename":"r.pdf","mime":"application/pdf","size":3}]})");
    draft.html_body = "<p>Body</p>";
    draft.calendar_ics = kInvite;
    std::string text = write_draft_json(draft);
    EXPECT_LT(text.find("\"body\""), text.find("\"html_body\""));
    EXPECT_LT(text.find("\"html_body\""), text.find("\"calendar_ics\""));
    EXPECT_LT(text.find("\"calendar_ics\""), text.find("\"attachments\""));
    auto back = read_draft_json(text);
    ASSERT_TRUE(back.ok()) << back.error_text();
    EXPECT_EQ(*back, draft);
}

TEST(DraftJson, ReadsDefaultsAndRejectsBadForms) {
    auto minimal = read_draft_json(
        R"({"to":"a","cc":"","bcc":"","subject":"s","body":"b","html_body":null,"extra":[1]})");
    ASSERT_TRUE(minimal.ok()) << minimal.error_text();
    EXPECT_FALSE(minimal->html_body.has_value());
    EXPECT_FALSE(minimal->calendar_ics.has_value());
    EXPECT_TRUE(minimal->attachments.empty());

    const std::string base = R"("to":"a","cc":"","bcc":"","subject":"s","body":"b")";
    const std::string bad[] = {
        R"({"cc":"","bcc":"","subject":"s","body":"b"})",
        R"({"to":"a","cc":"","bcc":"","subject":"s"})",
        "{" + base + R"(,"to":"again"})",
        "{" + base + R"(,"html_body":5})",
        "{" + base + R"(,"attachments":{}})",
        "{" + base + R"(,"attachments":null})",
        "{" + base + R"(,"attachments":[{"content_id":"c","filename":"f","mime":"m/x"}]})",
        "{" + base + R"(,"attachments":[{"content_id":"c","filename":"f","mime":"m/x","size":-1}]})",
        "{" + base + R"(,"attachments":[{"content_id":"c","filename":"f","mime":"m/x","size":1.5}]})",
        R"({"to":1,"cc":"","bcc":"","subject":"s","body":"b"})",
        "[]",
        "{" + base,
    };
    for (const std::string& text : bad) EXPECT_FALSE(read_draft_json(text).ok()) << text;
}

TEST(DraftJson, AttachmentListRoundTripsAsItsOwnText) {
    std::vector<DraftAttachment> list = {valid_attachment("e", 18446744073709551615ull), valid_attachment("f")};
    auto back = read_attachments_json(write_attachments_json(list));
    ASSERT_TRUE(back.ok()) << back.error_text();
    EXPECT_EQ(*back, list);
    EXPECT_EQ(write_attachments_json({}), "[]");
}

}  // namespace
}  // namespace mail
