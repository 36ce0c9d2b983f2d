#include "engine/message_parser.h"

#include "engine/html_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mail::engine {
namespace {

std::string read_fixture(const std::string& name) {
    std::ifstream in(std::string(ENGINE_TEST_DATA) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

MailMessage parse_ok(std::string_view raw, const ParseLimits& limits = {}) {
    Result<MailMessage> parsed = parse_message(raw, 1000, FolderRole::Inbox, limits);
    EXPECT_TRUE(parsed.ok()) << (parsed.ok() ? "" : parsed.error_text());
    return parsed.ok() ? std::move(parsed).value() : MailMessage{};
}

MailAddress named(std::string address, std::string name) { return {std::move(address), std::move(name)}; }
MailAddress bare(std::string address) { return {std::move(address), std::nullopt}; }

struct Attachment {
    std::string file_name;
    std::string mime_type;
    std::uint64_t size;
    std::optional<std::string> content_id;
    std::string starts_with;
};

struct Golden {
    const char* file = "";
    MailAddress from = {};
    std::vector<MailAddress> to = {};
    std::vector<MailAddress> cc = {};
    std::string subject = {};
    std::string body = {};
    std::optional<std::string> html_starts_with = {};
    std::optional<std::string> message_id = {};
    std::optional<std::string> in_reply_to = {};
    std::vector<Attachment> attachments = {};
};

TEST(ParseMessage, CorpusFieldsAsAReaderSeesThem) {
    const Golden corpus[] = {
        {.file = "alternative_utf8.eml",
         .from = named("zoe@example.org", "Zo\u00eb \u00c5ngstr\u00f6m"),
         .to = {bare("ann@example.com"), named("bob@example.com", "Bob B."), bare("carol@example.com")},
         .cc = {named("desiree@example.net", "D\u00e9sir\u00e9e")},
         .subject = "Quarterly numbers \u2014 final \u2713",
         .body = "Hello Zo\u00eb,\n\nthe numbers are here: https://example.com/q3 \u2014 with a line that is long "
                 "enough to be wrapped by quoted-printable soft breaks.\n",
         .html_starts_with = "<html><head><style>",
         .message_id = "q3-numbers.1738661400@example.org",
         .in_reply_to = "q3-request@example.com"},
        {.file = "latin1_references.eml",
         .from = named("francois@example.fr", "Fran\u00e7ois Dupr\u00e9"),
         .to = {bare("marie@example.fr")},
         .subject = "Re: Caf\u00e9 cr\u00e8me",
         .body = "Tr\u00e8s bien, \u00e0 demain.\n",
         .in_reply_to = "a3@example.fr"},
        {.file = "windows1252.eml",
         .from = named("billing@example.com", "Accounts"),
         .to = {bare("you@example.com")},
         .subject = "\u201cInvoice\u201d 5 \u20ac due",
         .body = "Total \u2013 5 \u20ac \u2026 thanks\n",
         .message_id = "inv-5@example.com"},
        {.file = "iso2022jp.eml",
         .from = named("taro@example.jp", "\u5c71\u7530\u592a\u90ce"),
         .to = {bare("hanako@example.jp")},
         .subject = "\u4f1a\u8b70\u306e\u8b70\u984c",
         .body = "\u660e\u65e5\u306e\u4f1a\u8b70\u306f\u5341\u6642\u304b\u3089\u3067\u3059\u3002\n",
         .message_id = "meeting@example.jp"},
        {.file = "koi8r.eml",
         .from = named("petr@example.ru", "\u041f\u0451\u0442\u0440 \u0418\u0432\u0430\u043d\u043e\u0432"),
         .to = {bare("team@example.ru")},
         .subject = "\u041e\u0442\u0447\u0451\u0442 \u0437\u0430 \u043c\u0430\u0439",
         .body = "\u041f\u0440\u0438\u0432\u0435\u0442, \u043e\u0442\u0447\u0451\u0442 \u0432\u043e "
                 "\u0432\u043b\u043e\u0436\u0435\u043d\u0438\u0438.\n",
         .message_id = "report-may@example.ru"},
        {.file = "rfc2231_attachments.eml",
         .from = named("sam@example.com", "Sam"),
         .to = {bare("lee@example.com")},
         .subject = "Files for the audit",
         .body = "See the four files.",
         .message_id = "audit-files@example.com",
         .attachments = {{"\u20ac rates 2025.pdf", "application/pdf", 272, std::nullopt, "%PDF-1.4\n"},
                         {"Pr\u00e9sentation finale.PDF", "application/pdf", 40, std::nullopt, "%PDF-1.4\n"},
                         {"scan.webp", "application/octet-stream", 33, "scan-1@example.com", "\x89PNG"},
                         {"attachment.bin", "application/octet-stream", 12, std::nullopt, "no name here"},
                         {"empty.csv", "text/csv", 0, std::nullopt, ""}}},
        {.file = "nested_forward.eml",
         .from = named("sam@example.com", "Sam"),
         .to = {bare("lee@example.com")},
         .subject = "Fwd: The original",
         .body = "Forwarding this, see below.",
         .html_starts_with = "<p>Forwarding this, see <img src=\"cid:logo@example.com\">",
         .message_id = "fwd-1@example.com",
         .attachments = {{"logo.png", "image/png", 33, "logo@example.com", "\x89PNG"},
                         {"original.eml", "application/octet-stream", 176, std::nullopt,
                          "From: Original Sender <orig@example.net>"}}},
        {.file = "broken_boundary.eml",
         .from = bare("list@example.org"),
         .to = {bare("you@example.com")},
         .subject = "Truncated digest",
         .body = "First item of the digest.",
         .message_id = "digest-42@example.org",
         .attachments = {{"items.zip", "application/zip", 10, std::nullopt, "PK\x03\x04"}}},
        {.file = "eight_bit_headers.eml",
         .from = named("juergen@example.de", "J\u00fcrgen Gro\u00df"),
         .to = {named("aerzte@example.de", "\u00c4rzte")},
         .subject = "Gr\u00fc\u00dfe aus M\u00fcnchen",
         .body = "Hallo!\n",
         .message_id = "gruesse@example.de"},
        {.file = "eight_bit_latin1_subject.eml",
         .from = bare("claire@example.fr"),
         .subject = "R\u00e9sum\u00e9 envoy\u00e9",
         .body = "Ci-joint.\n",
         .message_id = "cv@example.fr"},
        {.file = "bare_id_no_date.eml",
         .from = bare("unknown@unknown"),
         .to = {bare("someone@example.com")},
         .subject = "(no subject)",
         .body = "No sender, no subject, no date.\n",
         .message_id = "abc"},
        {.file = "html_only.eml",
         .from = named("news@example.com", "News"),
         .to = {bare("you@example.com")},
         .subject = "Weekly news",
         .body = "This week\n\nThree things happened:\n\n\u2022 Release 1.2 shipped\n\u2022 New office\n\n"
                 "1. First\n2. Second\n\nBye\nthe team",
         .html_starts_with = "<!DOCTYPE html>\r\n<html><head><title>Weekly</title>",
         .message_id = "news-7@example.com"},
        {.file = "blank_html_alternative.eml",
         .from = bare("a@example.com"),
         .to = {bare("b@example.com")},
         .subject = "Plain wins",
         .body = "Only the plain part has text.",
         .message_id = "blank-html@example.com"},
    };
    for (const Golden& g : corpus) {
        SCOPED_TRACE(g.file);
        MailMessage m = parse_ok(read_fixture(g.file));
        EXPECT_EQ(m.from, g.from);
        EXPECT_EQ(m.to, g.to);
        EXPECT_EQ(m.cc, g.cc);
        EXPECT_EQ(m.subject, g.subject);
        EXPECT_EQ(m.body, g.body);
        EXPECT_EQ(m.html_body.has_value(), g.html_starts_with.has_value());
        if (m.html_body && g.html_starts_with) {
            EXPECT_TRUE(m.html_body->starts_with(*g.html_starts_with)) << *m.html_body;
        }
        EXPECT_EQ(m.message_id, g.message_id);
        EXPECT_EQ(m.in_reply_to, g.in_reply_to);
        if (g.message_id) {
            EXPECT_EQ(m.id, stable_id_from_message_id(*g.message_id));
        }
        ASSERT_EQ(m.attachments.size(), g.attachments.size());
        for (std::size_t i = 0; i < g.attachments.size(); ++i) {
            const AttachmentRef& got = m.attachments[i];
            const Attachment& want = g.attachments[i];
            EXPECT_EQ(got.file_name, want.file_name);
            EXPECT_EQ(got.mime_type, want.mime_type);
            EXPECT_EQ(got.size, want.size) << want.file_name;
            EXPECT_EQ(got.size, got.content.size());
            EXPECT_EQ(got.downloaded, got.size != 0);
            EXPECT_EQ(got.content_id, want.content_id);
            EXPECT_TRUE(got.content.starts_with(want.starts_with)) << want.file_name;
        }
        EXPECT_TRUE(m.labels.empty());
    }
}

TEST(ParseMessage, CallerGivesTimeAndFolderAndFlagsStartClear) {
    Result<MailMessage> m = parse_message(read_fixture("koi8r.eml"), 29713805, FolderRole::Junk);
    ASSERT_TRUE(m.ok());
    EXPECT_EQ(m->date, 29713805);  // not the Date header's time
    EXPECT_EQ(m->folder, FolderRole::Junk);
    EXPECT_FALSE(m->seen);
    EXPECT_FALSE(m->flagged);
}

TEST(ParseMessage, MessageIdAbcInEveryFormGivesTheSameId) {
    for (const char* header : {"Message-ID: abc", "Message-ID: <abc>", "Message-ID:    <abc>   ", "Message-Id:  abc "}) {
        MailMessage m = parse_ok(std::string(header) + "\r\nSubject: x\r\n\r\nbody\r\n");
        EXPECT_EQ(m.message_id, "abc") << header;
        EXPECT_EQ(m.id.to_string(), "e71fa219-0541-574b-849d-e539a904eff8") << header;
    }
    EXPECT_EQ(stable_id_for_message("  <abc>  ").to_string(), "e71fa219-0541-574b-849d-e539a904eff8");
}

TEST(ParseMessage, WithoutUsableMessageIdEachMessageGetsItsOwnRandomId) {
    // "<>" normalises to nothing; hashing it would give every such message one shared record.
    for (const char* headers : {"Subject: x\r\n", "Message-ID: <>\r\nSubject: x\r\n", "Message-ID:   \r\nSubject: x\r\n"}) {
        std::string raw = std::string(headers) + "\r\nbody\r\n";
        MailMessage first = parse_ok(raw);
        MailMessage second = parse_ok(raw);
        EXPECT_NE(first.id, second.id) << headers;
        EXPECT_EQ(first.id.bytes[6] >> 4, 4) << headers;
        EXPECT_EQ(first.message_id, std::nullopt) << headers;
    }
    EXPECT_NE(stable_id_for_message(std::nullopt), stable_id_for_message(std::nullopt));
    EXPECT_NE(stable_id_for_message("<>"), stable_id_for_message("<>"));
}

TEST(ParseMessage, InReplyToFallsBackToTheLastReference) {
    struct Case {
        const char* headers;
        std::optional<std::string> in_reply_to;
    } cases[] = {
        {"In-Reply-To: <parent@x>\r\nReferences: <root@x> <parent@x>\r\n", "parent@x"},
        {"In-Reply-To: <first@x> <second@x>\r\n", "first@x"},
        {"References: <a@x>\r\n <b@x>\r\n <c@x>\r\n", "c@x"},
        // Some clients write the id without brackets.
        {"In-Reply-To: parent@x\r\n", "parent@x"},
        // An old-style phrase without any id does not hide the References.
        {"In-Reply-To: Your message of Monday\r\nReferences: <root@x> <parent@x>\r\n", "parent@x"},
        {"In-Reply-To: Message from John <parent@x>\r\n", "parent@x"},
        {"In-Reply-To: <>\r\nReferences: <root@x>\r\n", "root@x"},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        MailMessage m = parse_ok(std::string("Subject: re\r\n") + c.headers + "\r\nbody\r\n");
        EXPECT_EQ(m.in_reply_to, c.in_reply_to) << c.headers;
    }
}

TEST(ParseMessage, SplitBase64EncodedWordsKeepEveryWord) {
    // Senders cut long names, subjects and file names into several padded words.
    std::string raw =
        "From: =?UTF-8?B?Wm/DqyA=?= =?utf-8?B?w4VuZ3N0csO2bQ==?= <zoe@example.org>\r\n"
        "To: \"=?UTF-8?B?QW4=?= =?UTF-8?B?bg==?=\" <ann@example.com>, carol@example.com\r\n"
        "Subject: =?UTF-8?B?SGVsbG8=?=\r\n =?UTF-8?B?IHdvcmxk?= and\r\n =?ISO-8859-1?B?4Q==?= =?ISO-8859-1?B?6Q==?=\r\n"
        "Content-Type: multipart/mixed; boundary=X\r\n\r\n"
        "--X\r\nContent-Type: text/plain\r\n\r\nbody\r\n"
        "--X\r\nContent-Type: application/pdf; name=\"=?UTF-8?B?UmVwb3J0IOKCrCA=?= =?UTF-8?B?MjAyNS5wZGY=?=\"\r\n"
        "Content-Disposition: attachment\r\n\r\nabc\r\n"
        "--X\r\nContent-Type: application/pdf\r\n"
        "Content-Disposition: attachment; filename=\"=?UTF-8?B?bWluaQ==?= =?UTF-8?B?LnBkZg==?=\"\r\n\r\nabc\r\n"
        "--X--\r\n";
    MailMessage m = parse_ok(raw);
    EXPECT_EQ(m.from, named("zoe@example.org", "Zo\u00eb \u00c5ngstr\u00f6m"));
    EXPECT_EQ(m.to, (std::vector<MailAddress>{named("ann@example.com", "Ann"), bare("carol@example.com")}));
    EXPECT_EQ(m.subject, "Hello world and \u00e1\u00e9");
    ASSERT_EQ(m.attachments.size(), 2u);
    EXPECT_EQ(m.attachments[0].file_name, "Report \u20ac 2025.pdf");
    EXPECT_EQ(m.attachments[1].file_name, "mini.pdf");
}

TEST(ParseMessage, WhichPartsAreBodiesAndWhichAttachments) {
    struct Case {
        const char* name;
        std::string structure;  // everything after the top-level headers
        std::string body;
        bool has_html;
        std::vector<std::string> attachments;
    } cases[] = {
        {"a text part marked as attachment is not the body",
         "Content-Type: multipart/mixed; boundary=B\r\n\r\n"
         "--B\r\nContent-Type: text/plain\r\nContent-Disposition: attachment; filename=notes.txt\r\n\r\nnotes\r\n--B--\r\n",
         "", false, {"notes.txt"}},
        {"a named text part after the first one is an attachment",
         "Content-Type: multipart/mixed; boundary=B\r\n\r\n"
         "--B\r\nContent-Type: text/plain\r\n\r\nhello\r\n"
         "--B\r\nContent-Type: text/plain; name=log.txt\r\n\r\nline\r\n--B--\r\n",
         "hello", false, {"log.txt"}},
        {"an inline image between texts is kept as an attachment too",
         "Content-Type: multipart/mixed; boundary=B\r\n\r\n"
         "--B\r\nContent-Type: text/plain\r\n\r\nbefore\r\n"
         "--B\r\nContent-Type: image/gif\r\nContent-Disposition: inline\r\n\r\nGIF89a\r\n"
         "--B\r\nContent-Type: text/plain\r\n\r\nafter\r\n--B--\r\n",
         "before", false, {"attachment.bin"}},
        {"an HTML-only alternative serves both bodies",
         "Content-Type: multipart/alternative; boundary=B\r\n\r\n"
         "--B\r\nContent-Type: text/html\r\n\r\n<p>only <b>html</b></p>\r\n--B--\r\n",
         "only html", true, {}},
        {"a calendar part is an attachment, not a body",
         "Content-Type: multipart/alternative; boundary=B\r\n\r\n"
         "--B\r\nContent-Type: text/plain\r\n\r\ninvite\r\n"
         "--B\r\nContent-Type: text/calendar; method=REQUEST; name=invite.ics\r\n\r\nBEGIN:VCALENDAR\r\n--B--\r\n",
         "invite", false, {"invite.ics"}},
        {"a lone non-text part",
         "Content-Type: application/pdf; name=a.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERg==\r\n",
         "", false, {"a.pdf"}},
        {"no body at all", "Content-Type: text/plain\r\n\r\n", "", false, {}},
    };
    for (const Case& c : cases) {
        MailMessage m = parse_ok("From: a@example.com\r\nSubject: s\r\n" + c.structure);
        EXPECT_EQ(m.body, c.body) << c.name;
        EXPECT_EQ(m.html_body.has_value(), c.has_html) << c.name;
        std::vector<std::string> names;
        for (const AttachmentRef& a : m.attachments) names.push_back(a.file_name);
        EXPECT_EQ(names, c.attachments) << c.name;
    }
}

TEST(ParseMessage, TextIsAlwaysValidUtf8WithUnixNewlines) {
    // A body that claims UTF-8 but is Latin-1, and a subject word in a charset nobody knows.
    std::string raw =
        "Subject: =?x-unknown?Q?caf=E9?= \xE9t\xE9\r\n"
        "From: \"G\xFCnter\" <g@example.de>\r\n"
        "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        "caf\xE9\r\nline two\r\n";
    MailMessage m = parse_ok(raw);
    EXPECT_EQ(m.body, "caf\u00e9\nline two\n");
    EXPECT_TRUE(is_valid_utf8(m.subject)) << m.subject;
    ASSERT_TRUE(m.from.name.has_value());
    EXPECT_TRUE(is_valid_utf8(*m.from.name));
}

TEST(ParseMessage, BytesThatAreNotAMessageAreRefused) {
    for (std::string raw : {std::string(), std::string("just some words"), std::string("\0\xFF\xFE garbage", 11)}) {
        Result<MailMessage> m = parse_message(raw, 0, FolderRole::Inbox);
        ASSERT_FALSE(m.ok()) << raw;
        EXPECT_EQ(m.error_text(), "not a MIME message");
    }
}

std::string nested_multiparts(int depth) {
    std::string raw = "Subject: deep\r\nContent-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 1; i < depth; ++i)
        raw += "--b" + std::to_string(i - 1) + "\r\nContent-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n";
    raw += "--b" + std::to_string(depth - 1) + "\r\nContent-Type: text/plain\r\n\r\nleaf\r\n";
    return raw;
}

std::string many_parts(int count) {
    std::string raw = "Subject: wide\r\nContent-Type: multipart/mixed; boundary=z\r\n\r\n";
    for (int i = 0; i < count; ++i) raw += "--z\r\nContent-Type: application/octet-stream\r\n\r\nxyz\r\n";
    return raw + "--z--\r\n";
}

TEST(ParseMessage, LimitsRefuseWithOneLine) {
    ParseLimits small;
    small.max_message_bytes = 4096;
    small.max_header_bytes = 512;
    small.max_header_fields = 20;
    small.max_depth = 4;
    small.max_parts = 8;
    small.max_decoded_bytes = 1000;
    small.max_charsets = 3;

    std::string attached_message = "Subject: m\r\nContent-Type: message/rfc822\r\n\r\n";
    for (int i = 0; i < 6; ++i) attached_message += "Content-Type: message/rfc822\r\n\r\n";
    attached_message += "Subject: inner\r\n\r\nhi\r\n";

    struct Case {
        std::string raw;
        std::string error;
    } cases[] = {
        {std::string(5000, 'x'), "message is larger than 4096 bytes"},
        {"Subject: " + std::string(600, 'y') + "\r\n\r\nbody", "message headers exceed 512 bytes"},
        {[] { std::string h; for (int i = 0; i < 30; ++i) h += "X-A: b\r\n"; return h + "\r\nbody"; }(),
         "message has more than 20 header fields"},
        {nested_multiparts(6), "message nests parts more than 4 levels deep"},
        {attached_message, "message nests parts more than 4 levels deep"},
        {many_parts(9), "message has more than 8 parts"},
        {"Subject: big\r\nContent-Type: application/zip; name=a.zip\r\n\r\n" + std::string(1200, 'z'),
         "message decodes to more than 1000 bytes"},
        // The library keeps every charset name it meets, so one message may not name many.
        {"Subject: =?x-a?Q?1?= =?X-A?Q?2?= =?x-b?Q?3?=\r\nContent-Type: text/plain; charset=\"x-c\"\r\n"
         "Content-Disposition: inline; filename*=x-d''a.txt\r\n\r\nbody",
         "message names more than 3 charsets"},
    };
    for (const Case& c : cases) {
        Result<MailMessage> m = parse_message(c.raw, 0, FolderRole::Inbox, small);
        ASSERT_FALSE(m.ok()) << c.error;
        EXPECT_EQ(m.error_text(), c.error);
    }
    // Just inside every limit still parses.
    EXPECT_TRUE(parse_message(nested_multiparts(4), 0, FolderRole::Inbox, small).ok());
    EXPECT_TRUE(parse_message(many_parts(6), 0, FolderRole::Inbox, small).ok());
}

TEST(ParseMessage, HostileStructuresAreRefusedQuicklyWithDefaults) {
    struct Case {
        std::string raw;
        std::string error;
    } cases[] = {
        {nested_multiparts(20000), "message nests parts more than 32 levels deep"},
        {many_parts(50000), "message has more than 2000 parts"},
        {[] { std::string h; for (int i = 0; i < 200000; ++i) h += "X-H: v\r\n"; return h + "\r\nbody"; }(),
         "message has more than 10000 header fields"},
        {[] {
             std::string to = "To: a0@x.io";
             for (int i = 1; i < 100000; ++i) to += ", a" + std::to_string(i) + "@x.io";
             return to + "\r\n\r\nbody";
         }(),
         "message headers exceed 1048576 bytes"},
    };
    for (const Case& c : cases) {
        Result<MailMessage> m = parse_message(c.raw, 0, FolderRole::Inbox);
        ASSERT_FALSE(m.ok()) << c.error;
        EXPECT_EQ(m.error_text(), c.error);
    }
}

TEST(ParseMessage, LargeAttachmentSurvivesWhole) {
    std::string payload;
    for (int i = 0; i < 3 * 1024 * 1024; ++i) payload += static_cast<char>('a' + i % 26);
    std::string raw = "Subject: big\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\n"
                      "--q\r\nContent-Type: text/plain\r\n\r\nsee attached\r\n"
                      "--q\r\nContent-Type: text/plain; name=big.log\r\nContent-Disposition: attachment\r\n\r\n" +
                      payload + "\r\n--q--\r\n";
    MailMessage m = parse_ok(raw);
    ASSERT_EQ(m.attachments.size(), 1u);
    EXPECT_EQ(m.attachments[0].content, payload);
    EXPECT_EQ(m.attachments[0].mime_type, "text/plain");
}

TEST(ParseMessage, ThreadsParseAtTheSameTime) {
    // The engine parses on its worker while the sample mailbox may parse on the UI thread.
    const std::string raw = read_fixture("nested_forward.eml");
    const MailMessage expected = parse_ok(raw);
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                Result<MailMessage> m = parse_message(raw, 1000, FolderRole::Inbox);
                if (m.ok() && m->body == expected.body && m->attachments == expected.attachments && m->id == expected.id)
                    ++good[t];
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(good, std::vector<int>(4, 50));
}

}  // namespace
}  // namespace mail::engine
