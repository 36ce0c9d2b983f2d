#pragma once
// Requests the application sends to the engine worker. Each carries owned copies of what the
// worker needs and a fresh id, drawn when the request value is constructed.
#include <cstdint>
#include <string>
#include <variant>

#include "core/folder_role.h"
#include "core/draft.h"
#include "core/mail_message.h"
#include "core/stored_config.h"
#include "platform/base/uuid.h"

namespace mail {

using RequestId = Uuid;

// The number of the request variant; echoed in Failed and Finished.
enum class RequestKind : std::uint8_t {
    Connect = 0,
    RefreshFolder = 1,
    SyncFlags = 2,
    MoveMessage = 3,
    PurgeMessage = 4,
    SendMessage = 5,
    OAuthSignIn = 6,
};

struct Connect {
    static constexpr RequestKind kind = RequestKind::Connect;
    explicit Connect(StoredConfig account) : account(std::move(account)), id(Uuid::random_v4()) {}
    StoredConfig account;
    RequestId id;
};

struct RefreshFolder {
    static constexpr RequestKind kind = RequestKind::RefreshFolder;
    RefreshFolder(StoredConfig account, FolderRole role)
        : account(std::move(account)), id(Uuid::random_v4()), role(role) {}
    StoredConfig account;
    RequestId id;
    FolderRole role;
};

struct SyncFlags {
    static constexpr RequestKind kind = RequestKind::SyncFlags;
    SyncFlags(StoredConfig account, MailMessage message)
        : account(std::move(account)), message(std::move(message)), id(Uuid::random_v4()) {}
    StoredConfig account;
    MailMessage message;  // taken after the local flag change
    RequestId id;
};

struct MoveMessage {
    static constexpr RequestKind kind = RequestKind::MoveMessage;
    MoveMessage(StoredConfig account, MailMessage message, FolderRole destination)
        : account(std::move(account)), message(std::move(message)), id(Uuid::random_v4()), destination(destination) {}
    StoredConfig account;
    MailMessage message;  // taken before the local move: its folder is still the source
    RequestId id;
    FolderRole destination;
};

struct PurgeMessage {
    static constexpr RequestKind kind = RequestKind::PurgeMessage;
    PurgeMessage(StoredConfig account, MailMessage message)
        : account(std::move(account)), message(std::move(message)), id(Uuid::random_v4()) {}
    StoredConfig account;
    MailMessage message;  // as it stood in Trash when it was removed locally
    RequestId id;
};

// The sender is not part of the request: it is made from the account's name and address.
struct SendMessage {
    static constexpr RequestKind kind = RequestKind::SendMessage;
    SendMessage(StoredConfig account, DraftData draft)
        : account(std::move(account)), draft(std::move(draft)), id(Uuid::random_v4()) {}
    StoredConfig account;
    DraftData draft;
    RequestId id;
};

enum class OAuthProvider : std::uint8_t { Google, Microsoft };

struct OAuthSignIn {
    static constexpr RequestKind kind = RequestKind::OAuthSignIn;
    OAuthSignIn(std::string account_key, std::string login_hint, OAuthProvider provider)
        : account_key(std::move(account_key)), login_hint(std::move(login_hint)), id(Uuid::random_v4()),
          provider(provider) {}
    std::string account_key;  // the address the tokens are stored under
    std::string login_hint;
    RequestId id;
    OAuthProvider provider;
};

using EngineRequest =
    std::variant<Connect, RefreshFolder, SyncFlags, MoveMessage, PurgeMessage, SendMessage, OAuthSignIn>;

inline RequestKind request_kind(const EngineRequest& request) {
    return std::visit([](const auto& r) { return std::decay_t<decltype(r)>::kind; }, request);
}

inline const RequestId& request_id(const EngineRequest& request) {
    return std::visit([](const auto& r) -> const RequestId& { return r.id; }, request);
}

}  // namespace mail
