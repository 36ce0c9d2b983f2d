#pragma once
// The mail side of the replica document: its four root keys, how server state seeds it, how it
// is read back onto the local mailbox, the stored draft and the user folders.
//
//   "flags"    message id → {"read": bool, "starred": bool, "folder": role identifier,
//                            "labels": list of text}   the local decisions
//   "messages" message id → {"present": bool, "purged": bool}
//   "folders"  user folder id → display name
//   "draft"    the one stored draft: "to" … "calendar_ics" as text, "attachments" as JSON text
//
// Everything here runs on the UI thread, which alone holds the document.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/draft.h"
#include "core/mail_message.h"
#include "core/mailbox.h"
#include "platform/base/result.h"
#include "platform/replica/document.h"

namespace mail::engine {

inline constexpr std::string_view kFlagsKey = "flags";
inline constexpr std::string_view kMessagesKey = "messages";
inline constexpr std::string_view kFoldersKey = "folders";
inline constexpr std::string_view kDraftKey = "draft";

inline constexpr std::size_t kMaxActionIds = 256;
inline constexpr std::size_t kMaxIdChars = 128;
inline constexpr std::size_t kMaxLabelChars = 128;
inline constexpr std::size_t kMaxFolderNameChars = 96;

// Ids in their order, each trimmed of white space; empty ones, those over 128 characters and
// repeats are skipped, and the walk ends once 256 are kept.
std::vector<std::string> clean_id_list(const std::vector<std::string>& ids);
// Trimmed, control characters (U+0000–U+001F, U+007F–U+009F) removed, cut to limit characters.
// Malformed UTF-8 becomes U+FFFD, so what is stored is always text.
std::string clean_single_line(std::string_view text, std::size_t limit);
// The same, keeping tab, line feed and carriage return.
std::string clean_multi_line(std::string_view text, std::size_t limit);
// Unicode scalar values; a malformed byte counts as one.
std::size_t char_count(std::string_view text);

// Present: its "messages" entry says present and not purged, or, without such an entry, it
// has a "flags" entry.
bool message_is_present(const persist::MapView& root, std::string_view id);

// Seeds server state where the document holds no value yet: "present" unless purged, and
// "read", "starred", "folder" where absent ("labels" never). All messages go in one change.
Status seed_message(persist::Document& doc, const MailMessage& message);
Status seed_messages(persist::Document& doc, const std::vector<MailMessage>& messages);

// Removes purged messages and overwrites seen, flagged, folder and labels with the document's
// values. Each record that changes takes a new mailbox revision; true when any did. Walks the
// whole mailbox.
bool project_onto(const persist::Document& doc, Mailbox& mailbox);

// The projection the application runs on every sync. It remembers what it last projected:
// with neither the document nor the mailbox's records changed it does nothing, and when only
// the document (or a record's flags, which local actions mirror into it) changed it visits
// just the messages whose entries were written since.
class ReplicaProjection {
public:
    bool project(const persist::Document& doc, Mailbox& mailbox);

private:
    bool projected_ = false;
    Uuid replica_;
    std::uint64_t generation_ = 0;
    std::uint64_t records_revision_ = 0;
};

// The stored draft; missing texts read as empty, an invitation that is not bounded and an
// unreadable attachment list are dropped. Empty when there is no "draft" map.
DraftData read_stored_draft(const persist::Document& doc);
DraftData read_stored_draft(const persist::MapView& root);
// Replaces the stored draft as a whole with the normalised draft.
void write_stored_draft(persist::Transaction& tx, const DraftData& draft);
// Removes the eight draft entries.
void discard_stored_draft(persist::Transaction& tx);

struct UserFolder {
    std::string id;
    std::string name;
    friend bool operator==(const UserFolder&, const UserFolder&) = default;
};
// Sorted by id (byte order); entries that are not text are skipped.
std::vector<UserFolder> list_user_folders(const persist::Document& doc);

}  // namespace mail::engine
