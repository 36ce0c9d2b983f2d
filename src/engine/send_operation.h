#pragma once
// The live SendMessage: credentials, the sender from the account, the built message, delivery.
#include <cstdint>

#include "core/draft.h"
#include "core/engine_event.h"
#include "core/engine_request.h"
#include "core/stored_config.h"
#include "engine/credentials.h"
#include "engine/smtp_client.h"
#include "platform/base/channel.h"
#include "platform/base/result.h"

namespace mail::engine {

struct SendSources {
    CredentialSources credentials;
    SmtpOptions smtp;
};

// The byte count of the message delivered, or the one-line text a Failed "smtp" carries.
// Blocks the calling (engine) thread for the whole SMTP dialogue.
Result<std::uint64_t> send_message(const StoredConfig& account, const DraftData& draft,
                                   const SendSources& sources = {});

// Delivered with the byte count, or Failed "smtp"; the worker adds Finished.
void handle_send_message(const SendMessage& request, const Sender<EngineEvent>& events,
                         const SendSources& sources = {});

}  // namespace mail::engine
