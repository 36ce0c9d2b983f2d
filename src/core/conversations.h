#pragma once
// Views over a mailbox: one folder's messages, its conversations, and the subject-grouped
// messages the reading pane shows together.
#include <string>
#include <string_view>
#include <vector>

#include "core/folder_role.h"
#include "core/mailbox.h"

namespace mail {

struct Conversation {
    std::string key;               // the root's normalised Message-ID, else its stable id text
    std::vector<StableId> ids;     // in folder-list order, newest first
    friend bool operator==(const Conversation&, const Conversation&) = default;
};

// The messages of one folder view, newest first; equal dates keep arrival order. Starred shows
// the flagged messages of every folder but Trash.
std::vector<const MailMessage*> folder_list(const Mailbox& mailbox, FolderRole role);

// One row of the message list: a conversation shown by its oldest message, or a search hit.
struct VisibleRow {
    StableId id;
    std::size_t count = 1;
    friend bool operator==(const VisibleRow&, const VisibleRow&) = default;
};

// Threads the folder list by In-Reply-To within the view itself, newest conversation first.
// A reply cycle does not loop: every message on or leading into the cycle joins one
// conversation, rooted at the cycle's newest member.
std::vector<Conversation> conversations(const Mailbox& mailbox, FolderRole role);
// The same conversations as rows (oldest member, size), without building their keys and lists.
std::vector<VisibleRow> conversation_rows(const Mailbox& mailbox, FolderRole role);

// The subject without surrounding white space and without any run of "re:", "fwd:", "fw:"
// prefixes (ASCII case ignored); its letters are not case-folded.
std::string_view subject_key(std::string_view subject);

// The records of the selected message's folder with its subject key, oldest first; empty
// when the id is not in the mailbox.
std::vector<const MailMessage*> reader_conversation(const Mailbox& mailbox, const StableId& selected);

}  // namespace mail
