// The live backend: an asynchronous runtime with exactly 2 threads that every network operation
// runs on, and the TLS client configuration shared by every connection.
#include <asio/co_spawn.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/strand.hpp>
#include <pthread.h>

#include <exception>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "engine/credentials.h"
#include "engine/engine.h"
#include "engine/imap_session.h"
#include "engine/oauth_signin.h"
#include "engine/send_operation.h"
#include "engine/server_operations.h"
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

    // Engine thread. Credentials first (a token refresh blocks here), then the operation as one
    // task on the runtime while this thread waits for it.
    void handle(EngineRequest request, const Sender<EngineEvent>& events) override {
        std::visit([&](auto& r) { handle_one(r, events); }, request);
    }

private:
    template <typename T>
    T run(asio::awaitable<T> task) {
        std::promise<T> done;
        std::future<T> result = done.get_future();
        // A strand keeps the operation's handlers and its inactivity timer off each other.
        asio::co_spawn(
            asio::make_strand(io_),
            [&done, task = std::move(task)]() mutable -> asio::awaitable<void> { done.set_value(co_await std::move(task)); },
            [&done](std::exception_ptr failure) {
                if (!failure) return;
                std::string text = "internal error";
                try {
                    std::rethrow_exception(failure);
                } catch (const std::exception& e) {
                    text += std::string(": ") + e.what();
                } catch (...) {
                }
                done.set_value(make_error(text));
            });
        return result.get();
    }

    template <typename R>
    std::optional<Credentials> credentials_for(const R& r, const Sender<EngineEvent>& events) {
        auto resolved = resolve_credentials(r.account);
        if (!resolved) {
            fail(r, resolved.error_text(), events);
            return std::nullopt;
        }
        return std::move(*resolved);
    }

    template <typename R>
    void fail(const R& r, std::string message, const Sender<EngineEvent>& events) {
        events.send(event::Failed{r.kind, r.id, live_stage(r.kind), std::move(message)});
    }

    void handle_one(Connect& r, const Sender<EngineEvent>& events) {
        auto credentials = credentials_for(r, events);
        if (!credentials) return;
        auto folders = run(connect_operation(r.account, std::move(*credentials), tls_));
        if (!folders) return fail(r, folders.error_text(), events);
        events.send(event::Connected{r.id, r.account.email});
        events.send(event::FoldersListed{r.id, r.account.email, std::move(*folders)});
    }

    void handle_one(RefreshFolder& r, const Sender<EngineEvent>& events) {
        auto credentials = credentials_for(r, events);
        if (!credentials) return;
        auto messages = run(refresh_operation(r.account, r.role, std::move(*credentials), tls_));
        if (!messages) return fail(r, messages.error_text(), events);
        events.send(event::FolderSynced{r.role, r.id, r.account.email, std::move(*messages)});
    }

    void handle_one(SyncFlags& r, const Sender<EngineEvent>& events) {
        auto credentials = credentials_for(r, events);
        if (!credentials) return;
        Status done = run(sync_flags_operation(r.account, std::move(r.message), std::move(*credentials), tls_));
        if (!done) fail(r, done.error_text(), events);
    }

    void handle_one(MoveMessage& r, const Sender<EngineEvent>& events) {
        auto credentials = credentials_for(r, events);
        if (!credentials) return;
        Status done = run(move_operation(r.account, std::move(r.message), r.destination, std::move(*credentials), tls_));
        if (!done) fail(r, done.error_text(), events);
    }

    void handle_one(PurgeMessage& r, const Sender<EngineEvent>& events) {
        auto credentials = credentials_for(r, events);
        if (!credentials) return;
        Status done = run(purge_operation(r.account, std::move(r.message), std::move(*credentials), tls_));
        if (!done) fail(r, done.error_text(), events);
    }

    // Blocking on this thread: curl's SMTP dialogue, and the browser sign-in's loopback wait.
    void handle_one(SendMessage& r, const Sender<EngineEvent>& events) { handle_send_message(r, events); }
    void handle_one(OAuthSignIn& r, const Sender<EngineEvent>& events) { handle_oauth_sign_in(r, events); }

    // Requests this backend does not serve yet are refused in the words of their own stage.
    template <typename R>
    void handle_one(R& r, const Sender<EngineEvent>& events) {
        fail(r, "this operation is not available yet", events);
    }

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
