#include <pthread.h>

#include <system_error>
#include <thread>

#include "engine/engine.h"
#include "engine/offline_backend.h"
#include "platform/base/fatal.h"
#include "platform/log/log.h"

namespace mail::engine {

namespace {

void worker_loop(std::unique_ptr<MailBackend> backend, Receiver<EngineRequest> requests, Sender<EngineEvent> events) {
    pthread_setname_np(pthread_self(), "mail-engine");
    // recv answers nothing once the application has dropped its handle: the loop ends after
    // the request in hand, and the backend goes with it.
    while (auto request = requests.recv()) {
        const RequestKind kind = request_kind(*request);
        const RequestId id = request_id(*request);
        backend->handle(std::move(*request), events);
        events.send(event::Finished{id, kind});  // lost when the application is gone: fine
    }
}

}  // namespace

EngineHandle start_engine_with(std::unique_ptr<MailBackend> backend) {
    auto request_channel = make_channel<EngineRequest>();
    auto event_channel = make_channel<EngineEvent>();
    try {
        std::thread worker(worker_loop, std::move(backend), std::move(request_channel.receiver),
                           std::move(event_channel.sender));
        worker.detach();  // never joined: it ends by itself when the requests stop
    } catch (const std::system_error&) {
        fatal("spawn mail engine worker");
    }
    return EngineHandle{std::move(request_channel.sender), std::move(event_channel.receiver)};
}

EngineHandle start_engine() {
    auto live = build_live_backend();
    if (live) return start_engine_with(std::move(*live));
    log::event("mail::engine", log::Level::Warn, "mail: live engine unavailable, using offline backend",
               {{"error", live.error_text()}});
    return start_engine_with(std::make_unique<OfflineBackend>());
}

}  // namespace mail::engine
