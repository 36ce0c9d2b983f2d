#pragma once
// Every change to the mailbox, whoever makes it, travels as a MailAction and is applied to the
// replica document by the reducer. The JSON form is the externally tagged one: a variant without
// fields is the string of its name, any other is {"Name": {fields in order}}.
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "core/draft.h"
#include "platform/actionfw/action_host.h"
#include "platform/base/result.h"

namespace mail {

inline constexpr std::string_view kMailActionType = "mail.action";
inline constexpr std::string_view kMailOperationType = "mail.operation";

// The action framework's envelope: what kind of value the payload is, and its JSON text.
using EncodedAction = actionfw::EncodedAction;

// The variants, in their fixed order. Ids are stable id texts (hyphenated, lower case); they
// stay texts here because the reducer cleans whatever arrives.
namespace mail_action {
struct SetRead {
    std::vector<std::string> ids;
    bool read = false;
    friend bool operator==(const SetRead&, const SetRead&) = default;
};
struct SetStarred {
    std::vector<std::string> ids;
    bool starred = false;
    friend bool operator==(const SetStarred&, const SetStarred&) = default;
};
struct Move {
    std::vector<std::string> ids;
    std::string folder;  // a role identifier
    friend bool operator==(const Move&, const Move&) = default;
};
struct Purge {
    std::vector<std::string> ids;
    friend bool operator==(const Purge&, const Purge&) = default;
};
struct AddLabel {
    std::vector<std::string> ids;
    std::string label;
    friend bool operator==(const AddLabel&, const AddLabel&) = default;
};
struct RemoveLabel {
    std::vector<std::string> ids;
    std::string label;
    friend bool operator==(const RemoveLabel&, const RemoveLabel&) = default;
};
struct CreateFolder {
    std::string id;  // user folder id
    std::string name;
    friend bool operator==(const CreateFolder&, const CreateFolder&) = default;
};
struct RenameFolder {
    std::string id;
    std::string name;
    friend bool operator==(const RenameFolder&, const RenameFolder&) = default;
};
struct DeleteFolder {
    std::string id;
    friend bool operator==(const DeleteFolder&, const DeleteFolder&) = default;
};
struct SaveDraft {
    DraftData draft;
    friend bool operator==(const SaveDraft&, const SaveDraft&) = default;
};
struct DiscardDraft {
    friend bool operator==(const DiscardDraft&, const DiscardDraft&) = default;
};
}  // namespace mail_action

struct MailAction {
    using SetRead = mail_action::SetRead;
    using SetStarred = mail_action::SetStarred;
    using Move = mail_action::Move;
    using Purge = mail_action::Purge;
    using AddLabel = mail_action::AddLabel;
    using RemoveLabel = mail_action::RemoveLabel;
    using CreateFolder = mail_action::CreateFolder;
    using RenameFolder = mail_action::RenameFolder;
    using DeleteFolder = mail_action::DeleteFolder;
    using SaveDraft = mail_action::SaveDraft;
    using DiscardDraft = mail_action::DiscardDraft;
    using Variant = std::variant<SetRead, SetStarred, Move, Purge, AddLabel, RemoveLabel, CreateFolder, RenameFolder,
                                 DeleteFolder, SaveDraft, DiscardDraft>;

    template <typename T>
        requires std::is_constructible_v<Variant, T&&> && (!std::is_same_v<std::decay_t<T>, MailAction>)
    MailAction(T&& action) : value(std::forward<T>(action)) {}

    Variant value;
    friend bool operator==(const MailAction&, const MailAction&) = default;
};

// "SetRead", "SetStarred", … "DiscardDraft".
std::string_view mail_action_name(const MailAction& action);

// The JSON text; never fails (malformed UTF-8 in a text is written as U+FFFD).
std::string write_mail_action_json(const MailAction& action);
// Every field is required and must have its JSON type; an unknown variant name, a second key
// beside the variant, or a repeated key is an error. Unknown fields inside a variant are ignored.
Result<MailAction> read_mail_action_json(std::string_view text);

// ("mail.action", JSON).
EncodedAction encode_mail_action(const MailAction& action);
// The error names the operation type, then the decoder's text.
Result<MailAction> decode_mail_action(const EncodedAction& encoded);

}  // namespace mail
