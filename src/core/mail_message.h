#pragma once
// The message record every subsystem shares. Times are whole minutes since the Unix epoch.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/folder_role.h"
#include "core/stable_id.h"

namespace mail {

struct MailAddress {
    std::string address;              // may be empty when a header names only a display name
    std::optional<std::string> name;  // absent when none or empty

    // The display name when present, otherwise the address.
    const std::string& shown() const { return name && !name->empty() ? *name : address; }
    friend bool operator==(const MailAddress&, const MailAddress&) = default;
};

struct AttachmentRef {
    std::string file_name;
    std::string mime_type;
    std::string content;  // bytes; may be empty when not downloaded
    std::optional<std::string> content_id;
    std::uint64_t size = 0;
    bool downloaded = false;
    friend bool operator==(const AttachmentRef&, const AttachmentRef&) = default;
};

struct MailMessage {
    MailAddress from;
    std::vector<MailAddress> to;
    std::vector<std::string> labels;
    std::string subject;
    std::string body;
    std::vector<MailAddress> cc;
    std::vector<AttachmentRef> attachments;
    std::optional<std::string> message_id;
    std::optional<std::string> in_reply_to;
    std::optional<std::string> html_body;
    StableId id;
    std::int64_t date = 0;
    bool seen = false;
    bool flagged = false;
    FolderRole folder = FolderRole::Inbox;
    friend bool operator==(const MailMessage&, const MailMessage&) = default;
};

}  // namespace mail
