#include "engine/send_operation.h"

#include "engine/outgoing_message.h"

namespace mail::engine {

Result<std::uint64_t> send_message(const StoredConfig& account, const DraftData& draft, const SendSources& sources) {
    auto credentials = resolve_credentials(account, sources.credentials);
    if (!credentials) return credentials.error();
    auto message = build_message(sender_address(account), draft);
    if (!message) return message.error();
    MAIL_TRY(deliver(account, *credentials, draft, *message, sources.smtp));
    return static_cast<std::uint64_t>(message->size());
}

void handle_send_message(const SendMessage& request, const Sender<EngineEvent>& events, const SendSources& sources) {
    auto sent = send_message(request.account, request.draft, sources);
    if (sent) {
        events.send(event::Delivered{*sent, request.id});
    } else {
        events.send(event::Failed{request.kind, request.id, live_stage(request.kind), sent.error_text()});
    }
}

}  // namespace mail::engine
