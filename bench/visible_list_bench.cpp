// The message list is asked for on every frame; it must be computed once per mailbox change,
// not once per draw.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "core/mail_state.h"

namespace {

using namespace mail;

// A mailbox of n messages in three folders, about a quarter of them replies to the one before.
MailState& state_with(std::size_t n) {
    static std::map<std::size_t, std::unique_ptr<MailState>> states;
    auto& slot = states[n];
    if (slot) return *slot;
    slot = std::make_unique<MailState>();
    for (std::size_t i = 0; i < n; ++i) {
        MailMessage m;
        m.message_id = "<m" + std::to_string(i) + "@bench.example>";
        if (i % 4 == 3) m.in_reply_to = "<m" + std::to_string(i - 1) + "@bench.example>";
        m.id = stable_id_from_message_id(*m.message_id);
        m.subject = "Status report number " + std::to_string(i % 500);
        m.from.address = "sender" + std::to_string(i % 97) + "@example.com";
        m.body = "Hello, here is the weekly status with a few lines of text to search through.";
        m.date = static_cast<std::int64_t>(i * 7 % 100000);
        m.folder = i % 10 < 8 ? FolderRole::Inbox : (i % 10 == 8 ? FolderRole::Archive : FolderRole::Trash);
        slot->mailbox.insert(std::move(m));
    }
    return *slot;
}

// Every iteration follows a mailbox change, so the list is computed afresh.
void BM_VisibleListAfterChange(benchmark::State& bench) {
    MailState& state = state_with(static_cast<std::size_t>(bench.range(0)));
    state.search_query.clear();
    const StableId first = state.mailbox.order().front();
    bool seen = false;
    for (auto _ : bench) {
        seen = !seen;
        state.mailbox.set_seen(first, seen);
        benchmark::DoNotOptimize(state.visible_list().data());
    }
}

// Repeated queries within one revision, as the panes make them while drawing a frame.
void BM_VisibleListRepeated(benchmark::State& bench) {
    MailState& state = state_with(static_cast<std::size_t>(bench.range(0)));
    state.search_query.clear();
    state.visible_list();
    for (auto _ : bench) benchmark::DoNotOptimize(state.visible_list().data());
}

// Search mode after a change: bounded by the scan and result limits, whatever the mailbox size.
void BM_VisibleListSearchAfterChange(benchmark::State& bench) {
    MailState& state = state_with(static_cast<std::size_t>(bench.range(0)));
    state.search_query = "sender4";
    const StableId first = state.mailbox.order().front();
    bool seen = false;
    for (auto _ : bench) {
        seen = !seen;
        state.mailbox.set_seen(first, seen);
        benchmark::DoNotOptimize(state.visible_list().data());
    }
    state.search_query.clear();
}

BENCHMARK(BM_VisibleListAfterChange)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VisibleListRepeated)->Arg(1000)->Arg(100000)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_VisibleListSearchAfterChange)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
