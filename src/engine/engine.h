#pragma once
// The engine worker: one background thread, "mail-engine", that takes requests in order and
// answers each with its events and a closing Finished. The window never waits for it.
#include <memory>
#include <vector>

#include "core/engine_event.h"
#include "core/engine_request.h"
#include "platform/base/channel.h"
#include "platform/base/result.h"

namespace mail::engine {

// Handles one request at a time on the worker thread. Sends zero or more events, never Finished.
class MailBackend {
public:
    virtual ~MailBackend() = default;
    virtual void handle(EngineRequest request, const Sender<EngineEvent>& events) = 0;
};

// What the application keeps: the request sender and the event receiver.
struct EngineHandle {
    Sender<EngineRequest> requests;
    Receiver<EngineEvent> events;

    // False when the worker has ended.
    bool send(EngineRequest request) const { return requests.send(std::move(request)); }
    // Every event already queued, in arrival order, without waiting. UI thread.
    std::vector<EngineEvent> drain_events() { return events.drain(); }
};

// The live backend, or the offline one (with a logged warning) when it cannot be built.
EngineHandle start_engine();

// The worker over a given backend; start_engine uses it, tests call it directly.
EngineHandle start_engine_with(std::unique_ptr<MailBackend> backend);

// The live backend: an asynchronous runtime of exactly 2 threads and the shared TLS
// configuration. Fails only when the runtime or the configuration cannot be made.
Result<std::unique_ptr<MailBackend>> build_live_backend();

}  // namespace mail::engine
