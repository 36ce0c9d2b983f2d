#include "engine/outgoing_message.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <fstream>

#include "engine/calendar_invite.h"
#include "engine/mime_reader.h"
#include "platform/services/paths.h"
#include "platform/services/temp_dir.h"

namespace mail::engine {
namespace {

using namespace testing;
using services::blobstore::BlobStore;

const std::string kInvite =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nUID:7@example.org\r\n"
    "SUMMARY:Café planning\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

class OutgoingMessage : public ::testing::Test {
protected:
    services::testing::TempDir dir;
    BlobStore blobs{dir.path()};
    MailAddress sender{"ann@example.org", "Ann Lee"};

    DraftAttachment stored(const std::string& bytes, std::string filename, std::string mime) {
        auto hash = blobs.put(bytes, filename);
        EXPECT_TRUE(hash.ok());
        return DraftAttachment{attachment_content_id(*hash), std::move(filename), std::move(mime), bytes.size()};
    }

    std::string build(const DraftData& draft) {
        auto bytes = build_message(sender, draft, blobs);
        EXPECT_TRUE(bytes.ok()) << bytes.error_text();
        return bytes.ok() ? *bytes : std::string();
    }
};

DraftData draft_to(std::string to, std::string subject = "Hello", std::string body = "Hi there.\n") {
    DraftData draft;
    draft.to = std::move(to);
    draft.subject = std::move(subject);
    draft.body = std::move(body);
    return draft;
}

std::string ascii_lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

TEST_F(OutgoingMessage, PlainDraftIsOneTextPartWithTheStandardHeaders) {
    DraftData draft = draft_to("Bob <bob@example.org>; cy@example.org", "Grüße — Plan", "Première ligne\nzweite\n");
    std::string bytes = build(draft);
    auto message = parse_message(bytes);
    ASSERT_TRUE(message);

    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    EXPECT_EQ(mime_type_of(top), "text/plain");
    EXPECT_EQ(ascii_lower(parameter(top, "charset")), "utf-8");
    EXPECT_EQ(transfer_encoding(top), "quoted-printable");
    EXPECT_EQ(decoded(top), "Première ligne\r\nzweite\r\n");

    EXPECT_STREQ(g_mime_message_get_subject(message.get()), "Grüße — Plan");
    EXPECT_NE(bytes.find("=?UTF-8?"), std::string::npos);  // encoded words, not raw 8-bit

    InternetAddressList* from = g_mime_message_get_from(message.get());
    ASSERT_EQ(internet_address_list_length(from), 1);
    EXPECT_STREQ(internet_address_get_name(internet_address_list_get_address(from, 0)), "Ann Lee");
    InternetAddressList* to = g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO);
    ASSERT_EQ(internet_address_list_length(to), 2);
    EXPECT_STREQ(internet_address_get_name(internet_address_list_get_address(to, 0)), "Bob");
    EXPECT_STREQ(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(internet_address_list_get_address(to, 1))),
                 "cy@example.org");

    std::vector<std::string> names = header_names(message.get());
    for (std::string& name : names) name = ascii_lower(name);
    for (const char* expected : {"from", "to", "subject", "date", "message-id", "mime-version"})
        EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
    EXPECT_EQ(std::find(names.begin(), names.end(), "cc"), names.end());
    EXPECT_EQ(header(GMIME_OBJECT(message.get()), "MIME-Version"), "1.0");
    EXPECT_TRUE(header(GMIME_OBJECT(message.get()), "Date").ends_with("+0000"));

    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, sizeof host - 1);
    std::string id = g_mime_message_get_message_id(message.get());
    std::string right = id.substr(id.find('@') + 1);
    EXPECT_TRUE(right == host || right == "localhost") << id;

    bool only_crlf = false;
    crlf_lines(bytes, only_crlf);
    EXPECT_TRUE(only_crlf);
}

TEST_F(OutgoingMessage, SenderWithoutNameUsesItsAddressAsThePhrase) {
    sender = MailAddress{"ann@example.org", std::nullopt};
    auto message = parse_message(build(draft_to("bob@example.org")));
    InternetAddress* from = internet_address_list_get_address(g_mime_message_get_from(message.get()), 0);
    EXPECT_STREQ(internet_address_get_name(from), "ann@example.org");
    EXPECT_STREQ(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(from)), "ann@example.org");
}

TEST_F(OutgoingMessage, HtmlWithAnAttachmentIsMixedAroundAlternative) {
    static const char raw[] = "%PDF-1.4\n\x00\x01\xff\xfe binary";
    const std::string pdf(raw, sizeof raw - 1);
    DraftData draft = draft_to("bob@example.org", "Report", "See *this*.");
    draft.html_body = "<p>See <b>this</b>.</p>";
    draft.attachments = {stored(pdf, "Report.pdf", "application/pdf")};
    auto message = parse_message(build(draft));

    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    ASSERT_EQ(mime_type_of(top), "multipart/mixed");
    auto parts = children(top);
    ASSERT_EQ(parts.size(), 2u);
    ASSERT_EQ(mime_type_of(parts[0]), "multipart/alternative");
    auto alternatives = children(parts[0]);
    ASSERT_EQ(alternatives.size(), 2u);
    EXPECT_EQ(mime_type_of(alternatives[0]), "text/plain");
    EXPECT_EQ(decoded(alternatives[0]), "See *this*.");
    EXPECT_EQ(mime_type_of(alternatives[1]), "text/html");
    EXPECT_EQ(ascii_lower(parameter(alternatives[1], "charset")), "utf-8");
    EXPECT_EQ(decoded(alternatives[1]), "<p>See <b>this</b>.</p>");

    EXPECT_EQ(mime_type_of(parts[1]), "application/pdf");
    EXPECT_STREQ(g_mime_object_get_disposition(parts[1]), "attachment");
    EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(parts[1])), "Report.pdf");
    EXPECT_EQ(transfer_encoding(parts[1]), "base64");
    EXPECT_EQ(decoded(parts[1]), pdf);
}

TEST_F(OutgoingMessage, TransferEncodingFollowsTheContent) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* mime;  // nullptr: the body text
        const char* encoding;
    };
    const Case cases[] = {
        {"ASCII body", "plain words\nsecond line\n", nullptr, "7bit"},
        {"body with a 1200-octet line", std::string(1200, 'x'), nullptr, "quoted-printable"},
        {"body with accents", "déjà vu", nullptr, "quoted-printable"},
        {"ASCII text attachment", "a,b\r\n1,2\r\n", "text/csv", "7bit"},
        {"UTF-8 text attachment", "naïve\n", "text/plain", "base64"},
        {"text attachment with NUL", std::string("a\0b", 3), "text/plain", "base64"},
        {"ASCII bytes typed as an image", "GIF89a", "image/gif", "base64"},
    };
    for (const Case& c : cases) {
        DraftData draft = draft_to("bob@example.org");
        if (c.mime) {
            draft.attachments = {stored(c.bytes, "file", c.mime)};
        } else {
            draft.body = c.bytes;
        }
        auto message = parse_message(build(draft));
        GMimeObject* top = g_mime_message_get_mime_part(message.get());
        GMimeObject* part = c.mime ? children(top).at(1) : top;
        EXPECT_EQ(transfer_encoding(part), c.encoding) << c.what;
        if (c.mime) {
            EXPECT_EQ(decoded(part), c.bytes) << c.what;
        }
    }
}

TEST_F(OutgoingMessage, BccRecipientsAppearOnlyInTheEnvelope) {
    DraftData draft = draft_to("");
    draft.bcc = "Hidden <hidden@example.org>";
    std::string bytes = build(draft);
    auto message = parse_message(bytes);
    for (std::string name : header_names(message.get())) {
        name = ascii_lower(name);
        EXPECT_NE(name, "to");
        EXPECT_NE(name, "bcc");
    }
    EXPECT_EQ(bytes.find("hidden@example.org"), std::string::npos);

    auto envelope = build_envelope(sender, draft.to, draft.cc, draft.bcc);
    ASSERT_TRUE(envelope.ok()) << envelope.error_text();
    EXPECT_EQ(envelope->recipients, std::vector<std::string>{"hidden@example.org"});
}

TEST_F(OutgoingMessage, HostileHeaderValuesCannotStartAHeader) {
    sender = MailAddress{"ann@example.org\r\nX-Evil: from-address", "Ann\nX-Evil: from-name"};
    DraftData draft = draft_to("\"Eve\r\nBcc: spy@example.org\" <eve@example.org>, bob@example.org\r\nX-Evil: to",
                               "Hi\r\nBcc: spy@example.org\r\n\r\nbody injection");
    draft.cc = "cy@example.org\rX-Evil: cc";
    draft.attachments = {stored("abc", "notes.txt", "text/plain; charset=\"x\r\nX-Evil: mime\"\r\nBcc: spy@example.org")};
    draft.html_body = "<p>fine</p>";
    std::string bytes = build(draft);

    bool only_crlf = false;
    for (const std::string& line : crlf_lines(bytes, only_crlf)) {
        std::string lower = ascii_lower(line);
        EXPECT_FALSE(lower.starts_with("x-evil") || lower.starts_with("bcc")) << line;
        EXPECT_LE(line.size(), 998u);
    }
    EXPECT_TRUE(only_crlf);

    auto message = parse_message(bytes);
    for (std::string name : header_names(message.get())) {
        name = ascii_lower(name);
        EXPECT_NE(name, "bcc");
        EXPECT_NE(name, "x-evil");
    }
    std::string subject = g_mime_message_get_subject(message.get());
    EXPECT_EQ(subject.find_first_of("\r\n"), std::string::npos) << subject;
    EXPECT_NE(subject.find("body injection"), std::string::npos);
    GMimeObject* attachment = children(g_mime_message_get_mime_part(message.get())).at(1);
    EXPECT_EQ(mime_type_of(attachment), "text/plain");
    EXPECT_EQ(decoded(attachment), "abc");
}

TEST_F(OutgoingMessage, ContentTypeThatIsNotTokenSlashTokenIsSentAsOctetStream) {
    for (const char* mime : {"/pdf", "application/", "app lication/pdf", "a/b/c"}) {
        DraftData draft = draft_to("bob@example.org");
        draft.attachments = {stored("x", "f.bin", mime)};
        auto message = parse_message(build(draft));
        EXPECT_EQ(mime_type_of(children(g_mime_message_get_mime_part(message.get())).at(1)), "application/octet-stream")
            << mime;
    }
}

TEST_F(OutgoingMessage, FileNamesOutsideAsciiTravelAsUtf8) {
    for (const std::string name : {"Bericht für März.pdf", "naïve \"quoted\"; x=y.pdf", "日本語の資料.pdf"}) {
        DraftData draft = draft_to("bob@example.org");
        draft.attachments = {stored("%PDF", name, "application/pdf")};
        std::string bytes = build(draft);
        auto message = parse_message(bytes);
        EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(children(g_mime_message_get_mime_part(message.get())).at(1))),
                     name.c_str());
        EXPECT_EQ(ascii_lower(bytes).find("iso-8859"), std::string::npos) << name;
    }
}

TEST_F(OutgoingMessage, LongSubjectStaysWithinTheLineLimit) {
    std::string subject(998, 'S');
    std::string bytes = build(draft_to("bob@example.org", subject));
    bool only_crlf = false;
    for (const std::string& line : crlf_lines(bytes, only_crlf)) EXPECT_LE(line.size(), 998u);
    EXPECT_EQ(g_mime_message_get_subject(parse_message(bytes).get()), subject);
}

TEST_F(OutgoingMessage, InvitationIsTheLastPartAndKeepsItsPayload) {
    DraftData draft = draft_to("bob@example.org", "Planning", "Join us.");
    draft.attachments = {stored("data", "a.bin", "application/octet-stream")};
    draft.calendar_ics = kInvite;
    auto message = parse_message(build(draft));
    auto parts = children(g_mime_message_get_mime_part(message.get()));
    ASSERT_EQ(parts.size(), 3u);
    GMimeObject* invite = parts[2];
    EXPECT_EQ(mime_type_of(invite), "text/calendar");
    EXPECT_EQ(parameter(invite, "method"), "REQUEST");
    EXPECT_STREQ(g_mime_object_get_disposition(invite), "attachment");
    EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(invite)), "invitation.ics");
    EXPECT_EQ(decoded(invite), kInvite);

    DraftData only_invite = draft_to("bob@example.org");
    only_invite.calendar_ics = kInvite;
    auto alone = parse_message(build(only_invite));
    auto alone_parts = children(g_mime_message_get_mime_part(alone.get()));
    ASSERT_EQ(alone_parts.size(), 2u);
    EXPECT_EQ(mime_type_of(alone_parts[0]), "text/plain");
    EXPECT_EQ(mime_type_of(alone_parts[1]), "text/calendar");
}

TEST_F(OutgoingMessage, UnboundedInvitationIsRefused) {
    DraftData draft = draft_to("bob@example.org");
    std::string lf;
    for (char c : kInvite)
        if (c != '\r') lf.push_back(c);
    draft.calendar_ics = lf;
    auto built = build_message(sender, draft, blobs);
    ASSERT_FALSE(built.ok());
    EXPECT_EQ(built.error_text(), "calendar invitation is not a bounded METHOD:REQUEST VCALENDAR");
}

TEST_F(OutgoingMessage, AttachmentThatCannotBeLoadedFailsTheWholeBuild) {
    DraftAttachment good = stored("real bytes", "good.txt", "text/plain");
    auto with = [&](auto change) {
        DraftAttachment a = good;
        change(a);
        return a;
    };
    DraftAttachment tampered = stored("original", "t.txt", "text/plain");
    {
        std::string hash(*attachment_hash(tampered.content_id));
        std::ofstream(dir.path() / "blobs" / hash.substr(0, 2) / hash, std::ios::trunc) << "forgery!";
    }
    struct Case {
        DraftAttachment attachment;
        std::string error;
    };
    const Case cases[] = {
        {with([](auto& a) { a.filename = "dir/good.txt"; }), "attachment dir/good.txt has invalid metadata"},
        {with([](auto& a) { a.size = 33554433; }), "attachment good.txt has invalid metadata"},
        {with([](auto& a) { a.content_id = std::string(64, 'a'); }), "attachment good.txt has invalid metadata"},
        {with([](auto& a) { a.content_id = attachment_content_id(std::string(64, 'b')); }),
         "attachment good.txt is not available on this device yet"},
        {with([](auto& a) { a.size += 1; }), "attachment good.txt failed integrity validation"},
        {tampered, "attachment t.txt failed integrity validation"},
    };
    for (const Case& c : cases) {
        DraftData draft = draft_to("bob@example.org");
        draft.attachments = {good, c.attachment};
        auto built = build_message(sender, draft, blobs);
        ASSERT_FALSE(built.ok()) << c.error;
        EXPECT_EQ(built.error_text(), c.error);
    }
}

TEST_F(OutgoingMessage, WithoutAStoreTheBlobsUnderTheDataRootAreRead) {
    services::set_root_override(dir.path() / "launch");
    auto hash = services::blobstore::put("shared bytes", "s.txt");
    ASSERT_TRUE(hash.ok()) << hash.error_text();
    DraftData draft = draft_to("bob@example.org");
    draft.attachments = {{attachment_content_id(*hash), "s.txt", "text/plain", 12}};
    auto built = build_message(sender, draft);
    draft.attachments[0].content_id = attachment_content_id(std::string(64, 'c'));
    auto missing = build_message(sender, draft);
    services::clear_root_override();
    ASSERT_TRUE(built.ok()) << built.error_text();
    EXPECT_EQ(decoded(children(g_mime_message_get_mime_part(parse_message(*built).get())).at(1)), "shared bytes");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error_text(), "attachment s.txt is not available on this device yet");
}

TEST_F(OutgoingMessage, MoreAttachmentsThanADraftMayHoldAreRefused) {
    DraftData draft = draft_to("bob@example.org");
    for (int i = 0; i < 17; ++i) draft.attachments.push_back(stored("file " + std::to_string(i), "f.txt", "text/plain"));
    const std::string limits = "the attachments exceed Mail's limits of 16 files and 128 MiB per message";
    auto seventeen = build_message(sender, draft, blobs);
    ASSERT_FALSE(seventeen.ok());
    EXPECT_EQ(seventeen.error_text(), limits);
    draft.attachments.pop_back();
    EXPECT_TRUE(build_message(sender, draft, blobs).ok());

    // Declared sizes decide before any blob is read.
    draft.attachments.clear();
    for (char digit : std::string("12345"))
        draft.attachments.push_back({attachment_content_id(std::string(64, digit)), "big.bin", "application/zip", 33554432});
    auto oversized = build_message(sender, draft, blobs);
    ASSERT_FALSE(oversized.ok());
    EXPECT_EQ(oversized.error_text(), limits);
}

TEST(EnvelopeAddress, AcceptsMailboxesAndGivesReasons) {
    struct Case {
        const char* text;
        const char* result;  // the address, or the reason
        bool ok;
    };
    const Case cases[] = {
        {"  ann@example.org ", "ann@example.org", true},
        {"first.last+tag@sub.example.org", "first.last+tag@sub.example.org", true},
        {"\"odd person\"@example.org", "\"odd person\"@example.org", true},
        {"root@[192.0.2.1]", "root@[192.0.2.1]", true},
        {"jörg@bücher.example", "jörg@bücher.example", true},
        {"", "the address is empty", false},
        {"ann.example.org", "the address has no @", false},
        {"@example.org", "the address has no local part", false},
        {"ann@", "the address has no domain", false},
        {"ann@example.org\r\nRCPT TO:<x@y.z>", "the address contains a control character", false},
        {"ann..lee@example.org", "the local part is not valid", false},
        {"ann lee@example.org", "the local part is not valid", false},
        {"ann@exa mple.org", "the domain is not valid", false},
        {"ann@-example.org", "the domain is not valid", false},
        {"ann@example..org", "the domain is not valid", false},
        {"ann@example.org>", "the domain is not valid", false},
        {"a\xff@example.org", "the address is not valid UTF-8", false},
    };
    for (const Case& c : cases) {
        auto parsed = parse_envelope_address(c.text);
        ASSERT_EQ(parsed.ok(), c.ok) << c.text;
        EXPECT_EQ(parsed.ok() ? *parsed : parsed.error_text(), c.result) << c.text;
    }
    EXPECT_FALSE(parse_envelope_address(std::string(65, 'a') + "@example.org").ok());
    EXPECT_FALSE(parse_envelope_address("a@" + std::string(250, 'b') + ".org").ok());
}

// Domains are compared without case; local parts may be case-sensitive and are not.
TEST(Envelope, ListsEveryRecipientOnceInFieldOrder) {
    auto envelope = build_envelope({"ann@example.org", "Ann"}, "Bob <bob@example.org>, not an address; cy@example.org",
                                   "bob@EXAMPLE.org, dee@example.org", "\"Eve\" <eve@example.org>; cy@example.org");
    ASSERT_TRUE(envelope.ok()) << envelope.error_text();
    EXPECT_EQ(envelope->sender, "ann@example.org");
    EXPECT_EQ(envelope->recipients, (std::vector<std::string>{"bob@example.org", "cy@example.org", "dee@example.org",
                                                              "eve@example.org"}));
}

TEST(Envelope, RefusesABadSenderOrNoRecipients) {
    auto bad_sender = build_envelope({"ann", std::nullopt}, "bob@example.org", "", "");
    ASSERT_FALSE(bad_sender.ok());
    EXPECT_EQ(bad_sender.error_text(), "invalid From address: the address has no @");

    auto none = build_envelope({"ann@example.org", std::nullopt}, "nobody, <>; Bob <bob>", "  ", "x@y\nz");
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error_text(), "no valid recipients");
}

TEST(SenderAddress, NameOnlyWhenTheAccountHasOne) {
    StoredConfig account;
    account.email = "ann@example.org";
    EXPECT_EQ(sender_address(account), (MailAddress{"ann@example.org", std::nullopt}));
    account.display_name = "Ann Lee";
    EXPECT_EQ(sender_address(account), (MailAddress{"ann@example.org", "Ann Lee"}));
}

TEST(InvitationPart, CarriesTheBoundedPayloadWithLfLines) {
    auto part = invitation_part(kInvite);
    ASSERT_TRUE(part.ok());
    EXPECT_EQ(part->media_type + "/" + part->media_subtype, "text/calendar");
    EXPECT_EQ(part->parameters.front(), (std::pair<std::string, std::string>{"method", "REQUEST"}));
    EXPECT_EQ(part->filename, "invitation.ics");
    EXPECT_EQ(part->body.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(part->body.begin(), part->body.end(), '\n'), 8);
    EXPECT_FALSE(invitation_part("BEGIN:VCALENDAR\r\n").ok());
}

}  // namespace
}  // namespace mail::engine
