#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/engine.h"
#include "platform/log/log.h"

namespace mail::engine {
namespace {

using namespace std::chrono_literals;

StoredConfig account() {
    StoredConfig config;
    config.email = "ada@example.test";
    return config;
}

// Collects events until the Finished of `count` requests arrived (or a generous time passed).
std::vector<EngineEvent> events_until_finished(EngineHandle& engine, int count) {
    std::vector<EngineEvent> seen;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    int finished = 0;
    while (finished < count && std::chrono::steady_clock::now() < deadline) {
        if (auto e = engine.events.recv_for(50ms)) {
            if (std::holds_alternative<event::Finished>(*e)) ++finished;
            seen.push_back(std::move(*e));
        }
    }
    return seen;
}

// A backend that answers as a successful live connect would, slowly enough for requests to queue.
class ScriptedBackend : public MailBackend {
public:
    void handle(EngineRequest request, const Sender<EngineEvent>& events) override {
        if (auto* c = std::get_if<Connect>(&request)) {
            events.send(event::Connected{c->id, c->account.email});
            std::this_thread::sleep_for(20ms);
            events.send(event::FoldersListed{c->id, c->account.email, {"INBOX", "Sent"}});
        }
        // Flag, move and purge succeed silently: Finished alone means success.
    }
};

TEST(EngineWorker, EventsOfOneRequestEndWithFinishedAndNeverInterleave) {
    EngineHandle engine = start_engine_with(std::make_unique<ScriptedBackend>());
    Connect first(account());
    Connect second(account());
    SyncFlags flags(account(), MailMessage{});
    ASSERT_TRUE(engine.send(first));
    ASSERT_TRUE(engine.send(second));
    ASSERT_TRUE(engine.send(flags));

    auto seen = events_until_finished(engine, 3);
    ASSERT_EQ(seen.size(), 7u);
    const RequestId expected_ids[] = {first.id, first.id, first.id, second.id, second.id, second.id, flags.id};
    for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(event_request_id(seen[i]), expected_ids[i]) << i;
    EXPECT_TRUE(std::holds_alternative<event::Connected>(seen[0]));
    EXPECT_TRUE(std::holds_alternative<event::FoldersListed>(seen[1]));
    auto done = std::get<event::Finished>(seen[2]);
    EXPECT_EQ(done.kind, RequestKind::Connect);
    EXPECT_EQ(std::get<event::Finished>(seen[6]).kind, RequestKind::SyncFlags);
}

// Blocks in handle until released, and says when it has been destroyed.
class BlockingBackend : public MailBackend {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool entered = false, released = false, destroyed = false;
    };
    explicit BlockingBackend(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
    ~BlockingBackend() override {
        std::lock_guard lock(shared_->mutex);
        shared_->destroyed = true;
        shared_->changed.notify_all();
    }
    void handle(EngineRequest, const Sender<EngineEvent>&) override {
        std::unique_lock lock(shared_->mutex);
        shared_->entered = true;
        shared_->changed.notify_all();
        shared_->changed.wait(lock, [&] { return shared_->released; });
    }

private:
    std::shared_ptr<Shared> shared_;
};

TEST(EngineWorker, DroppingTheHandleEndsTheWorkerAfterTheRequestInHand) {
    auto shared = std::make_shared<BlockingBackend::Shared>();
    {
        EngineHandle engine = start_engine_with(std::make_unique<BlockingBackend>(shared));
        engine.send(Connect(account()));
        engine.send(Connect(account()));  // never handled: the handle goes first
        std::unique_lock lock(shared->mutex);
        ASSERT_TRUE(shared->changed.wait_for(lock, 10s, [&] { return shared->entered; }));
    }
    {
        std::lock_guard lock(shared->mutex);
        shared->released = true;
        shared->changed.notify_all();
    }
    std::unique_lock lock(shared->mutex);
    EXPECT_TRUE(shared->changed.wait_for(lock, 10s, [&] { return shared->destroyed; }));
}

TEST(EngineWorker, SendingFailsOnceTheWorkerHasEnded) {
    auto shared = std::make_shared<BlockingBackend::Shared>();
    shared->released = true;
    EngineHandle engine = start_engine_with(std::make_unique<BlockingBackend>(shared));
    // Closing the event side is not enough to stop it; closing the request side is.
    engine.requests = Sender<EngineRequest>();
    std::unique_lock lock(shared->mutex);
    EXPECT_TRUE(shared->changed.wait_for(lock, 10s, [&] { return shared->destroyed; }));
    EXPECT_FALSE(engine.send(Connect(account())));
}

TEST(EngineWorker, StartsWithTheLiveBackendWhenItCanBeBuilt) {
    auto capture = log::capture();
    EngineHandle engine = start_engine();
    Connect connect(account());
    engine.send(connect);
    auto seen = events_until_finished(engine, 1);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::holds_alternative<event::Finished>(seen.back()));
    for (const auto& e : capture.events()) EXPECT_NE(e.message, "mail: live engine unavailable, using offline backend");
}

TEST(EngineWorker, FallsBackToOfflineWithOneWarningWhenTheLiveBackendCannotBeBuilt) {
    // An unreadable trust file makes the TLS configuration, and so the live backend, fail.
    setenv("SSL_CERT_FILE", "/nonexistent/ca.pem", 1);
    auto capture = log::capture();
    EngineHandle engine = start_engine();
    unsetenv("SSL_CERT_FILE");

    Connect connect(account());
    engine.send(connect);
    engine.send(RefreshFolder(account(), FolderRole::Starred));
    auto seen = events_until_finished(engine, 2);
    ASSERT_EQ(seen.size(), 4u);
    auto failed = std::get<event::Failed>(seen[0]);
    EXPECT_EQ(failed.stage, "offline");
    EXPECT_EQ(failed.id, connect.id);
    EXPECT_TRUE(std::holds_alternative<event::Finished>(seen[1]));

    int warnings = 0;
    for (const auto& e : capture.events()) {
        if (e.message == "mail: live engine unavailable, using offline backend") {
            ++warnings;
            EXPECT_EQ(e.target, "mail::engine");
        }
    }
    EXPECT_EQ(warnings, 1);
}

}  // namespace
}  // namespace mail::engine
