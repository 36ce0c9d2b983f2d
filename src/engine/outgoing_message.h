#pragma once
// A draft turned into the bytes of an Internet message and into its SMTP envelope.
#include <string>
#include <string_view>
#include <vector>

#include "core/draft.h"
#include "core/mail_message.h"
#include "core/stored_config.h"
#include "platform/base/result.h"
#include "platform/services/blobstore.h"

namespace mail::engine {

// The account's display name when it is not empty, and its address.
MailAddress sender_address(const StoredConfig& account);

// The whole message with CRLF line ends: From, To and Cc (only when not empty; Bcc never),
// Subject, Date in UTC, Message-ID, MIME-Version, then a text/plain part, or text and HTML as
// multipart/alternative, wrapped with the attachments and the invitation in multipart/mixed
// when there are any. Attachment bytes come from the blob store under the data root, or from
// `blobs`. Fails with the text of the first attachment that cannot be loaded.
//
// Header texts never carry a line break into the message: control characters in a subject, a
// name or an address are written as spaces.
Result<std::string> build_message(const MailAddress& sender, const DraftData& draft);
Result<std::string> build_message(const MailAddress& sender, const DraftData& draft,
                                  const services::blobstore::BlobStore& blobs);

struct SmtpEnvelope {
    std::string sender;
    std::vector<std::string> recipients;  // To, Cc, Bcc in that order, each address once
    friend bool operator==(const SmtpEnvelope&, const SmtpEnvelope&) = default;
};

// The trimmed text when it is one mailbox address (local@domain, dot-atom or quoted local part,
// a host name or an address literal), else the reason it is not.
Result<std::string> parse_envelope_address(std::string_view text);

// Recipients that do not parse are skipped; none left is "no valid recipients".
Result<SmtpEnvelope> build_envelope(const MailAddress& sender, std::string_view to, std::string_view cc,
                                    std::string_view bcc);

}  // namespace mail::engine
