// Refreshing the newest 50 messages of a 1,000-message INBOX on the loopback Dovecot, beside a
// plain one-shot fetch of the same 50 by mbsync in the same run. scripts/bench-imap.sh sets
// up the server and the mailbox and prints both medians and their ratio.
#include <benchmark/benchmark.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include <cstdlib>
#include <future>
#include <string>

#include "engine/imap_session.h"
#include "platform/services/net.h"

namespace {

const char* env(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

void BM_RefreshNewest50(benchmark::State& state) {
    const char* user = env("BENCH_IMAP_USER");
    const char* pass = env("BENCH_IMAP_PASS");
    const char* port = env("BENCH_IMAP_PORT");
    if (!user || !pass || !port) return state.SkipWithError("run through scripts/bench-imap.sh");
    auto tls = mail::net::client_config();
    if (!tls) return state.SkipWithError(tls.error_text().c_str());
    mail::StoredConfig account;
    account.email = user;
    account.imap_host = "localhost";
    account.imap_port = static_cast<std::uint16_t>(std::atoi(port));
    const mail::engine::Credentials credentials = mail::engine::PasswordCredentials{user, pass};
    for (auto _ : state) {
        asio::io_context io;
        std::promise<mail::Result<std::vector<mail::MailMessage>>> done;
        auto result = done.get_future();
        asio::co_spawn(
            io,
            [&]() -> asio::awaitable<void> {
                auto task = mail::engine::refresh_operation(account, mail::FolderRole::Inbox, credentials, *tls);
                done.set_value(co_await std::move(task));
            },
            asio::detached);
        io.run();
        auto messages = result.get();
        if (!messages) return state.SkipWithError(("refresh failed: " + messages.error_text()).c_str());
        if (messages->size() != 50) return state.SkipWithError("refresh did not return 50 messages");
        benchmark::DoNotOptimize(messages->data());
    }
}
BENCHMARK(BM_RefreshNewest50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

// The reference: mbsync pulling the same newest 50 into an empty local Maildir, whole process.
void BM_MbsyncOneShot(benchmark::State& state) {
    const char* rc = env("BENCH_MBSYNC_RC");
    const char* local = env("BENCH_MBSYNC_LOCAL");
    if (!rc || !local) return state.SkipWithError("run through scripts/bench-imap.sh");
    std::string reset = std::string("rm -rf '") + local + "' && mkdir -p '" + local + "'";
    std::string pull = std::string("mbsync -q -c '") + rc + "' pull >/dev/null 2>&1";
    for (auto _ : state) {
        state.PauseTiming();
        if (std::system(reset.c_str()) != 0) return state.SkipWithError("cannot reset the local Maildir");
        state.ResumeTiming();
        if (std::system(pull.c_str()) != 0) return state.SkipWithError("mbsync failed");
    }
}
BENCHMARK(BM_MbsyncOneShot)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

}  // namespace
