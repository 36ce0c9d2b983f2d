#pragma once
// The record a message being written travels in: composer, engine request, outgoing builder
// and the stored draft all use it, with the same limits on every path.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/mail_message.h"
#include "platform/base/result.h"

namespace mail {

inline constexpr std::string_view kAttachmentContentIdPrefix = "mail-attachment:blake3:";
inline constexpr std::size_t kMaxDraftAttachments = 16;
inline constexpr std::uint64_t kMaxAttachmentBytes = 33554432;        // 32 MiB
inline constexpr std::uint64_t kMaxDraftAttachmentBytes = 134217728;  // 128 MiB
inline constexpr std::size_t kMaxAttachmentNameChars = 180;
inline constexpr std::size_t kMaxMimeTypeChars = 127;
inline constexpr std::size_t kMaxRecipientChars = 8192;
inline constexpr std::size_t kMaxSubjectChars = 998;
inline constexpr std::size_t kMaxBodyChars = 262144;
inline constexpr std::size_t kMaxInvitationBytes = 262144;

struct DraftAttachment {
    std::string content_id;  // kAttachmentContentIdPrefix + 64 lower-case hex digits
    std::string filename;
    std::string mime;
    std::uint64_t size = 0;
    friend bool operator==(const DraftAttachment&, const DraftAttachment&) = default;
};

struct DraftData {
    std::string to;  // recipient texts as typed, comma or semicolon separated
    std::string cc;
    std::string bcc;
    std::string subject;
    std::string body;  // plain text, also for HTML drafts
    std::optional<std::string> html_body;
    std::optional<std::string> calendar_ics;  // an iCalendar METHOD:REQUEST payload
    std::vector<DraftAttachment> attachments;
    friend bool operator==(const DraftData&, const DraftData&) = default;
};

// Content id form, a file name of 1..180 characters without slashes or control characters
// (malformed UTF-8 counts as unusable), a MIME type of at most 127 characters with a "/",
// and at most 32 MiB.
bool attachment_is_valid(const DraftAttachment& attachment);

// Keeps, in order, each valid entry while fewer than 16 are kept, the kept total stays within
// 128 MiB and no kept entry has the same content id. A rejected entry does not end the walk.
std::vector<DraftAttachment> normalise_attachments(const std::vector<DraftAttachment>& list);

// Text fields trimmed, stripped of control characters (the bodies keep tab, LF and CR) and cut
// to their limits; an invitation that is not bounded is dropped; attachments normalised.
// Malformed UTF-8 becomes U+FFFD so the result is always valid text.
DraftData normalise_draft(DraftData draft);

// At most 262144 bytes, no NUL, starts with BEGIN:VCALENDAR, has METHOD:REQUEST on a line of
// its own, exactly one BEGIN:VEVENT and ends with END:VCALENDAR, all with CRLF line ends.
bool is_bounded_invitation(std::string_view text);

// The 64-digit hash after the content id prefix; nothing when the prefix is missing.
std::optional<std::string_view> attachment_hash(std::string_view content_id);
std::string attachment_content_id(std::string_view hash);

// Splits at every "," and ";". "Name <address>" gives a named address (quotes around the name
// dropped); any other piece is taken whole as the address. No syntax check is made.
std::vector<MailAddress> parse_recipients(std::string_view text);
// "Name <address>" when there is a non-empty name, else the bare address.
std::string format_address(const MailAddress& address);
// The formatted addresses joined with ", ".
std::string format_address_list(const std::vector<MailAddress>& addresses);

// JSON object with the keys to, cc, bcc, subject, body, html_body, calendar_ics, attachments in
// that order; absent optional texts are left out.
std::string write_draft_json(const DraftData& draft);
// Every text but html_body and calendar_ics is required (null or missing means absent for those
// two), a missing attachments list is empty, unknown keys are ignored; a repeated key or a wrong
// type is an error.
Result<DraftData> read_draft_json(std::string_view text);

// The attachment list as a JSON array of objects with content_id, filename, mime, size.
std::string write_attachments_json(const std::vector<DraftAttachment>& attachments);
// All four keys are required in each entry; size must be a non-negative integer.
Result<std::vector<DraftAttachment>> read_attachments_json(std::string_view text);

}  // namespace mail
