// The live backend: an asynchronous runtime with exactly 2 threads that every network operation
// runs on, and the TLS client configuration shared by every connection.
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <pthread.h>

#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "platform/services/net.h"

namespace mail::engine {

namespace {

class LiveBackend : public MailBackend {
public:
    explicit LiveBackend(net::TlsClientConfig tls) : tls_(std::move(tls)), work_(asio::make_work_guard(io_)) {}

    // Both runtime threads start, or the backend is not built.
    Status start() {
        try {
            for (int i = 0; i < 2; ++i) {
                threads_.emplace_back([this] {
                    pthread_setname_np(pthread_self(), "mail-engine-io");
                    io_.run();
                });
            }
        } catch (const std::exception& e) {
            return make_error(e.what());
        }
        return {};
    }

    ~LiveBackend() override {
        work_.reset();
        io_.stop();
        for (auto& t : threads_) t.join();
    }

    void handle(EngineRequest request, const Sender<EngineEvent>& events) override {
        // The network operations join here one by one; until one exists its request is refused
        // in the words of its own stage, so the application shows what did not happen.
        std::visit(
            [&](const auto& r) {
                events.send(event::Failed{r.kind, r.id, live_stage(r.kind), "this operation is not available yet"});
            },
            request);
    }

private:
    net::TlsClientConfig tls_;
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    std::vector<std::thread> threads_;
};

}  // namespace

Result<std::unique_ptr<MailBackend>> build_live_backend() {
    auto tls = net::client_config();
    if (!tls) return tls.error();
    auto backend = std::make_unique<LiveBackend>(std::move(*tls));
    if (auto started = backend->start(); !started) return started.error();
    return std::unique_ptr<MailBackend>(std::move(backend));
}

}  // namespace mail::engine
