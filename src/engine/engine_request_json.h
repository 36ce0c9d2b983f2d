#pragma once
// The JSON forms of engine requests and events that `--engine-request FILE.json` reads and
// prints, so scripts and tests can drive the engine without the window.
#include <string>
#include <string_view>

#include "core/engine_event.h"
#include "core/engine_request.h"
#include "core/mail_message.h"
#include "platform/base/result.h"

namespace mail::engine {

// {"request":"Connect"|"RefreshFolder"|…, "account":{settings…, "password":…}, "role":"inbox",
// "destination":"archive", "message":{…}}. A repeated key, a missing field or an unknown
// request is an error naming it. The request gets a fresh id.
Result<EngineRequest> request_from_json(std::string_view text);

// One line of JSON, no line break: {"event":"Connected","id":…,"account":…} and so on.
std::string event_to_json(const EngineEvent& event);

// A message with its field names; attachment content travels base64-encoded.
std::string message_to_json(const MailMessage& message);
Result<MailMessage> message_from_json(std::string_view text);

// Runs the request in FILE through the engine the application would start, printing every
// event on standard output as it arrives. 0 once Finished arrives; 2 when the file cannot be
// read or is not a request (the reason goes to standard error).
int run_engine_request_file(const std::string& path);

}  // namespace mail::engine
