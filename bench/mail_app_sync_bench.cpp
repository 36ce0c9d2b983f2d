// One MailApp sync at 100,000 messages: the cost of a frame when nothing changed must not grow
// with the mailbox (the projection, the search index and the list are skipped), and the first
// sync, which seeds and projects every message, shows what loading costs.
#include <benchmark/benchmark.h>

#include "app/mail_actions.h"
#include "app/mail_app.h"

namespace {

using namespace mail;

std::shared_ptr<MailState> big_state(int count) {
    auto state = std::make_shared<MailState>();
    for (int i = 0; i < count; ++i) {
        MailMessage m;
        m.message_id = "<m" + std::to_string(i) + "@example.test>";
        m.id = stable_id_from_message_id(*m.message_id);
        m.subject = "Message " + std::to_string(i);
        m.from.address = "sender" + std::to_string(i % 300) + "@example.test";
        m.body = "A short body for message " + std::to_string(i);
        m.date = i;
        m.seen = i % 3 == 0;
        m.folder = i % 10 == 0 ? FolderRole::Archive : FolderRole::Inbox;
        state->insert_message(std::move(m));
    }
    return state;
}

struct Fixture {
    explicit Fixture(int count) : state(big_state(count)), app(state, std::nullopt, StorageRoot::none()) {
        app::register_mail_actions(registry);
    }
    ui::FrameContext frame() {
        ui::FrameContext f;
        f.replica = &replica;
        f.actions = &host;
        return f;
    }
    std::shared_ptr<MailState> state;
    actionfw::ActionRegistry registry;
    actionfw::ActionHost host{registry};
    persist::Document replica = persist::open_in_memory();
    app::MailApp app;
};

void BM_FirstSyncSeedsAndProjects(benchmark::State& s) {
    for (auto _ : s) {
        s.PauseTiming();
        Fixture f(static_cast<int>(s.range(0)));
        s.ResumeTiming();
        f.app.sync(f.frame());
    }
}
BENCHMARK(BM_FirstSyncSeedsAndProjects)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_IdleSync(benchmark::State& s) {
    Fixture f(static_cast<int>(s.range(0)));
    f.app.sync(f.frame());
    (void)f.app.catalogue_mut().wait_for_rebuild();
    f.app.sync(f.frame());
    for (auto _ : s) f.app.sync(f.frame());
}
BENCHMARK(BM_IdleSync)->Arg(1'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_SyncAfterOneLocalChange(benchmark::State& s) {
    Fixture f(static_cast<int>(s.range(0)));
    f.app.sync(f.frame());
    (void)f.app.catalogue_mut().wait_for_rebuild();
    const StableId id = f.state->mailbox.ordered_messages().front()->id;
    bool read = false;
    for (auto _ : s) {
        f.state->set_read(id, read = !read);
        f.app.sync(f.frame());
        s.PauseTiming();
        (void)f.app.catalogue_mut().wait_for_rebuild();
        s.ResumeTiming();
    }
}
BENCHMARK(BM_SyncAfterOneLocalChange)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
