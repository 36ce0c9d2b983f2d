#include "engine/offline_backend.h"

#include <string>

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
