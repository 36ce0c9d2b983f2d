// The mailbox's search catalogue: a full rebuild from the mailbox (what sync does after a change)
// and a query against it, at 10,000 and 100,000 messages.
#include <benchmark/benchmark.h>

#include <random>

#include "app/mail_search.h"

namespace {

using namespace mail;

const char* const kWords[] = {"budget",  "roadmap", "invoice", "meeting", "review",  "offsite", "release",
                              "spatial", "index",   "tile",    "glyph",   "cache",   "travel",  "contract",
                              "design",  "sync",    "build",   "failure", "coffee",  "lunch",   "agenda"};

Mailbox make_mailbox(int count) {
    std::mt19937 random(42);
    auto word = [&] { return std::string(kWords[random() % std::size(kWords)]); };
    Mailbox mailbox;
    for (int i = 0; i < count; ++i) {
        MailMessage m;
        m.id = new_stable_id();
        m.subject = word() + " " + word() + " " + std::to_string(i % 97);
        m.from = MailAddress{"person" + std::to_string(i % 500) + "@example" + std::to_string(i % 7) + ".com",
                             "Person " + std::to_string(i % 500)};
        const int body_words = 30 + static_cast<int>(random() % 300);  // about 200 to 2,000 characters
        for (int w = 0; w < body_words; ++w) m.body += word() + (w % 12 == 11 ? "\n" : " ");
        m.date = i;
        m.folder = i % 10 == 0 ? FolderRole::Archive : FolderRole::Inbox;
        mailbox.insert(std::move(m));
    }
    return mailbox;
}

void BM_CatalogueRebuild(benchmark::State& state) {
    Mailbox mailbox = make_mailbox(static_cast<int>(state.range(0)));
    app::MailCatalogue catalogue;
    for (auto _ : state) {
        // A new revision each round, as after a change.
        mailbox.set_seen(mailbox.ordered_messages().front()->id, state.iterations() % 2 == 0);
        benchmark::DoNotOptimize(catalogue.refresh(mailbox));
        benchmark::DoNotOptimize(catalogue.wait_for_rebuild());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CatalogueRebuild)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CatalogueQuery(benchmark::State& state) {
    Mailbox mailbox = make_mailbox(static_cast<int>(state.range(0)));
    app::MailCatalogue catalogue;
    (void)catalogue.refresh(mailbox);
    (void)catalogue.wait_for_rebuild();
    const char* queries[] = {"roadmap", "person42", "spat", "glyph cache", "example3"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(catalogue.query_page(queries[i++ % std::size(queries)], "", 50, 50));
}
BENCHMARK(BM_CatalogueQuery)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMicrosecond);

void BM_SyncWithoutChange(benchmark::State& state) {
    Mailbox mailbox = make_mailbox(static_cast<int>(state.range(0)));
    app::MailCatalogue catalogue;
    (void)catalogue.refresh(mailbox);
    (void)catalogue.wait_for_rebuild();
    for (auto _ : state) benchmark::DoNotOptimize(catalogue.refresh(mailbox));
}

// What the UI thread itself spends on a rebuild: collecting the entries (the index is built on
// the search thread).
void BM_CatalogueEntries(benchmark::State& state) {
    Mailbox mailbox = make_mailbox(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(app::catalogue_entries(mailbox));
}
BENCHMARK(BM_CatalogueEntries)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SyncWithoutChange)->Arg(100'000);

}  // namespace
