#pragma once
// Answers of the engine worker; every event names the request it answers.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "core/engine_request.h"
#include "core/folder_role.h"
#include "core/mail_message.h"

namespace mail {

namespace event {

// Connect logged in and listed the folders; FoldersListed follows.
struct Connected {
    RequestId id;
    std::string account;
};

struct FoldersListed {
    RequestId id;
    std::string account;
    std::vector<std::string> folders;  // mailbox names as the server returned them
};

struct FolderSynced {
    FolderRole role = FolderRole::Inbox;
    RequestId id;
    std::string account;
    std::vector<MailMessage> messages;
};

struct Delivered {
    std::uint64_t bytes = 0;  // length of the MIME message sent
    RequestId id;
};

struct SignedIn {
    RequestId id;
    std::string account_key;
};

struct Failed {
    RequestKind kind = RequestKind::Connect;
    RequestId id;
    std::string stage;    // "connect", "fetch", "flag", "move", "purge", "smtp", "oauth", "offline", "send"
    std::string message;  // one line
};

// After every request, always last.
struct Finished {
    RequestId id;
    RequestKind kind = RequestKind::Connect;
};

}  // namespace event

using EngineEvent = std::variant<event::Connected, event::FoldersListed, event::FolderSynced, event::Delivered,
                                 event::SignedIn, event::Failed, event::Finished>;

inline const RequestId& event_request_id(const EngineEvent& e) {
    return std::visit([](const auto& v) -> const RequestId& { return v.id; }, e);
}

// The stage word a live failure of this kind reports.
inline const char* live_stage(RequestKind kind) {
    switch (kind) {
        case RequestKind::Connect: return "connect";
        case RequestKind::RefreshFolder: return "fetch";
        case RequestKind::SyncFlags: return "flag";
        case RequestKind::MoveMessage: return "move";
        case RequestKind::PurgeMessage: return "purge";
        case RequestKind::SendMessage: return "smtp";
        case RequestKind::OAuthSignIn: return "oauth";
    }
    return "connect";
}

}  // namespace mail
