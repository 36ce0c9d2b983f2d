// The replica document at mailbox scale: seeding and projecting 100,000 messages (in memory and
// on disk), the projection a sync runs when nothing changed, when one action changed one
// message, and when the mailbox itself changed; reopening the file; one durable action.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "core/mail_action.h"
#include "core/mailbox.h"
#include "engine/mail_reducer.h"
#include "engine/replica_schema.h"
#include "platform/base/uuid.h"
#include "platform/replica/document.h"

namespace {

using namespace mail;

std::vector<MailMessage> make_messages(int count) {
    std::vector<MailMessage> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        MailMessage m;
        m.id = stable_id_from_message_id("<" + std::to_string(i) + "@bench.test>");
        m.subject = "Message " + std::to_string(i);
        m.date = i;
        m.seen = i % 3 != 0;
        m.flagged = i % 17 == 0;
        m.folder = i % 10 == 0 ? FolderRole::Archive : FolderRole::Inbox;
        out.push_back(std::move(m));
    }
    return out;
}

Mailbox make_mailbox(const std::vector<MailMessage>& messages) {
    Mailbox box;
    for (const MailMessage& m : messages) box.insert(m);
    return box;
}

class TempFile {
public:
    TempFile()
        : dir_(std::filesystem::temp_directory_path() /
               ("mail-replica-bench-" + std::to_string(::getpid()) + "-" + Uuid::random_v4().to_string())) {
        std::filesystem::create_directories(dir_);
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path path() const { return dir_ / "document.sqlite3"; }

private:
    std::filesystem::path dir_;
};

void BM_SeedAndProjectInMemory(benchmark::State& state) {
    const auto messages = make_messages(static_cast<int>(state.range(0)));
    const Mailbox template_box = make_mailbox(messages);
    // Made and dropped outside the timed part.
    std::optional<Mailbox> box;
    std::optional<persist::Document> doc;
    for (auto _ : state) {
        state.PauseTiming();
        doc.reset();
        box = template_box;
        doc = persist::open_in_memory();
        engine::ReplicaProjection projection;
        state.ResumeTiming();
        if (!engine::seed_messages(*doc, messages).ok()) state.SkipWithError("seed failed");
        benchmark::DoNotOptimize(projection.project(*doc, *box));
    }

    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SeedAndProjectInMemory)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SeedAndProjectOnDisk(benchmark::State& state) {
    const auto messages = make_messages(static_cast<int>(state.range(0)));
    const Mailbox template_box = make_mailbox(messages);
    std::optional<Mailbox> box;
    std::optional<persist::Document> doc;
    std::optional<TempFile> file;
    for (auto _ : state) {
        state.PauseTiming();
        doc.reset();
        file.reset();
        box = template_box;
        file.emplace();
        auto opened = persist::open(file->path());
        if (!opened.ok()) {
            state.SkipWithError("open failed");
            return;
        }
        doc = std::move(*opened);
        engine::ReplicaProjection projection;
        state.ResumeTiming();
        if (!engine::seed_messages(*doc, messages).ok()) state.SkipWithError("seed failed");
        benchmark::DoNotOptimize(projection.project(*doc, *box));
    }

    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SeedAndProjectOnDisk)->Arg(100000)->Unit(benchmark::kMillisecond);

struct Seeded {
    explicit Seeded(int count) : messages(make_messages(count)), box(make_mailbox(messages)) {
        (void)engine::seed_messages(doc, messages);
        projection.project(doc, box);
    }
    std::vector<MailMessage> messages;
    Mailbox box;
    persist::Document doc = persist::open_in_memory();
    engine::ReplicaProjection projection;
};

void BM_ProjectNothingToDo(benchmark::State& state) {
    Seeded s(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(s.projection.project(s.doc, s.box));
}
BENCHMARK(BM_ProjectNothingToDo)->Arg(100000);

// One SetRead changes one message: the projection visits only that entry.
void BM_ProjectAfterOneAction(benchmark::State& state) {
    Seeded s(static_cast<int>(state.range(0)));
    const std::string id = s.messages[4242].id.to_string();
    bool read = false;
    for (auto _ : state) {
        read = !read;
        (void)engine::apply_action(s.doc, MailAction::SetRead{{id}, read});
        benchmark::DoNotOptimize(s.projection.project(s.doc, s.box));
    }
}
BENCHMARK(BM_ProjectAfterOneAction)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The mailbox changed on its own (a refresh inserted records): the whole mailbox is walked.
void BM_ProjectAfterMailboxChange(benchmark::State& state) {
    Seeded s(static_cast<int>(state.range(0)));
    MailMessage again = s.messages[99];
    for (auto _ : state) {
        again.seen = !again.seen;
        s.box.insert(again);  // the server's copy replaces the record
        benchmark::DoNotOptimize(s.projection.project(s.doc, s.box));
    }
}
BENCHMARK(BM_ProjectAfterMailboxChange)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ReopenFile(benchmark::State& state) {
    TempFile file;
    {
        auto doc = persist::open(file.path());
        if (!doc.ok() || !engine::seed_messages(*doc, make_messages(static_cast<int>(state.range(0)))).ok()) {
            state.SkipWithError("seed failed");
            return;
        }
    }
    for (auto _ : state) {
        auto doc = persist::open(file.path());
        if (!doc.ok()) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(doc);
    }
}
BENCHMARK(BM_ReopenFile)->Arg(100000)->Unit(benchmark::kMillisecond);

// One acknowledged user action on disk: a WAL commit with its fsync.
void BM_DurableAction(benchmark::State& state) {
    TempFile file;
    auto doc = persist::open(file.path());
    const auto messages = make_messages(1000);
    if (!doc.ok() || !engine::seed_messages(*doc, messages).ok()) {
        state.SkipWithError("seed failed");
        return;
    }
    const std::string id = messages[7].id.to_string();
    bool read = false;
    for (auto _ : state) {
        read = !read;
        if (!engine::apply_action(*doc, MailAction::SetRead{{id}, read}).ok()) state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_DurableAction)->Unit(benchmark::kMicrosecond);

}  // namespace
