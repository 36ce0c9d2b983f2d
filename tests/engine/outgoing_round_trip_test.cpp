// Built messages read back by the program's own parser, as the Sent copy on another device
// would be.
#include <gtest/gtest.h>

#include "engine/outgoing_message.h"
#include "engine/message_parser.h"
#include "platform/services/temp_dir.h"

namespace mail::engine {
namespace {

TEST(EngineRoundTrip, ParserSeesWhatTheDraftSaid) {
    services::testing::TempDir dir;
    services::blobstore::BlobStore blobs(dir.path());
    static const char raw[] = "\x89PNG\r\n\x1a\n\x00\x00 pixels";
    const std::string png(raw, sizeof raw - 1);
    auto hash = blobs.put(png, "Übersicht.png");
    ASSERT_TRUE(hash.ok());
    const std::string invite =
        "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nSUMMARY:Réunion\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";

    DraftData draft;
    draft.to = "\"Bob Stone\" <bob@example.org>; cy@example.org";
    draft.cc = "Zoë <zoe@example.org>";
    draft.bcc = "hidden@example.org";
    draft.subject = "Über den Plan — 第二版";
    draft.body = "Hallo Bob,\nsiehe Anhang.\n";
    draft.html_body = "<p>Hallo Bob,</p><p>siehe <b>Anhang</b>.</p>";
    draft.calendar_ics = invite;
    draft.attachments = {{attachment_content_id(*hash), "Übersicht.png", "image/png", png.size()}};

    auto bytes = build_message({"ann@example.org", "Ann Lee"}, draft, blobs);
    ASSERT_TRUE(bytes.ok()) << bytes.error_text();
    auto parsed = engine::parse_message(*bytes, 0, FolderRole::Sent);
    ASSERT_TRUE(parsed.ok()) << parsed.error_text();
    const MailMessage& m = *parsed;

    EXPECT_EQ(m.from, (MailAddress{"ann@example.org", "Ann Lee"}));
    EXPECT_EQ(m.to, (std::vector<MailAddress>{{"bob@example.org", "Bob Stone"}, {"cy@example.org", std::nullopt}}));
    EXPECT_EQ(m.cc, (std::vector<MailAddress>{{"zoe@example.org", "Zoë"}}));
    EXPECT_EQ(m.subject, draft.subject);
    EXPECT_EQ(m.body, draft.body);
    ASSERT_TRUE(m.html_body.has_value());
    EXPECT_NE(m.html_body->find("<b>Anhang</b>"), std::string::npos);
    ASSERT_TRUE(m.message_id.has_value());
    EXPECT_NE(m.message_id->find('@'), std::string::npos);

    ASSERT_GE(m.attachments.size(), 1u);
    EXPECT_EQ(m.attachments[0].file_name, "Übersicht.png");
    EXPECT_EQ(m.attachments[0].mime_type, "image/png");
    EXPECT_EQ(m.attachments[0].content, png);
    bool invitation_seen = false;
    for (const AttachmentRef& a : m.attachments)
        if (a.file_name == "invitation.ics") invitation_seen = a.content == invite;
    EXPECT_TRUE(invitation_seen);
}

}  // namespace
}  // namespace mail::engine
