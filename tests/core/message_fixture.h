#pragma once
// Small builders for message records in tests.
#include <string>

#include "core/mail_message.h"
#include "core/mailbox.h"

namespace mail::testing {

struct Msg {
    std::string subject = "Subject";
    std::int64_t date = 0;
    FolderRole folder = FolderRole::Inbox;
    std::string message_id = {};   // empty: none
    std::string in_reply_to = {};  // empty: none
    bool seen = false;
    bool flagged = false;
    std::string from = "someone@mail.test";
    std::string name = {};
    std::string body = {};
};

inline MailMessage make(const Msg& m) {
    MailMessage out;
    out.subject = m.subject;
    out.date = m.date;
    out.folder = m.folder;
    if (!m.message_id.empty()) out.message_id = m.message_id;
    if (!m.in_reply_to.empty()) out.in_reply_to = m.in_reply_to;
    out.seen = m.seen;
    out.flagged = m.flagged;
    out.from.address = m.from;
    if (!m.name.empty()) out.from.name = m.name;
    out.body = m.body;
    out.id = m.message_id.empty() ? new_stable_id() : stable_id_from_message_id(m.message_id);
    return out;
}

// Inserts and returns the id.
inline StableId add(Mailbox& box, const Msg& m) {
    MailMessage message = make(m);
    StableId id = message.id;
    box.insert(std::move(message));
    return id;
}

}  // namespace mail::testing
