#include "engine/offline_backend.h"

#include <string>

#include "engine/outgoing_message.h"

namespace mail::engine {

namespace {

constexpr const char* kLocalChangeKept = "Local change saved; it was not synchronized to IMAP";

struct Refusal {
    std::string stage;
    std::string message;
};

Refusal refuse(const Connect& r) {
    return {"offline", "IMAP is unavailable for " + r.account.email + "; rebuild with the live mail backend to connect"};
}
Refusal refuse(const RefreshFolder& r) {
    return {"offline", "Cannot refresh " + std::string(folder_display_name(r.role)) + " for " + r.account.email +
                           " while IMAP is offline"};
}
Refusal refuse(const SyncFlags&) { return {"offline", kLocalChangeKept}; }
Refusal refuse(const MoveMessage&) { return {"offline", kLocalChangeKept}; }
Refusal refuse(const PurgeMessage&) { return {"offline", kLocalChangeKept}; }

// Builds the message exactly as the live backend would, so a malformed one is found offline too.
Refusal refuse(const SendMessage& r) {
    auto built = build_message(sender_address(r.account), r.draft);
    if (!built) return {"send", built.error_text()};
    return {"send", "SMTP is offline; validated " + std::to_string(built->size()) + " MIME bytes locally but did not send"};
}

Refusal refuse(const OAuthSignIn& r) { return {"oauth", "OAuth sign-in for " + r.account_key + " requires the live build"}; }

}  // namespace

void OfflineBackend::handle(EngineRequest request, const Sender<EngineEvent>& events) {
    std::visit(
        [&](const auto& r) {
            Refusal refusal = refuse(r);
            events.send(event::Failed{r.kind, r.id, std::move(refusal.stage), std::move(refusal.message)});
        },
        request);
}

}  // namespace mail::engine
