// MailApp's exchange with the engine, its status line, its periodic refresh and the files it
// keeps: driven through sync with a scripted engine behind the real worker thread.
#include "app/mail_app.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "accounts/account_storage.h"
#include "app/preferences.h"
#include "platform/log/log.h"

namespace mail::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

MailAccount account(const std::string& email) {
    MailAccount a;
    a.id = email;
    a.config.email = email;
    a.config.imap_host = "imap.example.test";
    a.config.username = email;
    a.config.password = "secret";
    return a;
}

MailMessage message(FolderRole folder, std::int64_t date, std::string subject = "Hello") {
    MailMessage m;
    m.id = new_stable_id();
    m.folder = folder;
    m.date = date;
    m.subject = std::move(subject);
    return m;
}

// Answers each request with events the test scripts per kind, and records what it was asked.
class ScriptedBackend : public engine::MailBackend {
public:
    struct Script {
        std::mutex mutex;
        std::vector<EngineRequest> seen;
        std::function<void(const EngineRequest&, const Sender<EngineEvent>&)> answer;
    };
    explicit ScriptedBackend(std::shared_ptr<Script> script) : script_(std::move(script)) {}
    void handle(EngineRequest request, const Sender<EngineEvent>& events) override {
        std::function<void(const EngineRequest&, const Sender<EngineEvent>&)> answer;
        {
            std::lock_guard lock(script_->mutex);
            script_->seen.push_back(request);
            answer = script_->answer;
        }
        if (answer) answer(request, events);
    }

private:
    std::shared_ptr<Script> script_;
};

class MailAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("mail-app-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        script_ = std::make_shared<ScriptedBackend::Script>();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::unique_ptr<MailApp> make_app(std::vector<MailAccount> accounts, bool with_engine = true) {
        state_ = std::make_shared<MailState>(std::move(accounts), 0, 29'000'000);
        std::optional<engine::EngineHandle> engine;
        if (with_engine) engine = engine::start_engine_with(std::make_unique<ScriptedBackend>(script_));
        auto app = std::make_unique<MailApp>(state_, std::move(engine), StorageRoot::directory(dir_));
        app->set_minute_clock([this] { return minute_; });
        return app;
    }

    // Syncs until nothing is pending (the worker answers on its own thread).
    void settle(MailApp& app, ui::Instant now = ui::Clock::now()) {
        for (int i = 0; i < 1000; ++i) {
            app.sync(ui::FrameContext{now});
            if (app.pending().empty()) return;
            std::this_thread::sleep_for(2ms);
        }
        FAIL() << "requests still pending";
    }

    std::vector<EngineRequest> seen() {
        std::lock_guard lock(script_->mutex);
        return script_->seen;
    }

    fs::path dir_;
    std::shared_ptr<ScriptedBackend::Script> script_;
    std::shared_ptr<MailState> state_;
    std::int64_t minute_ = 29'000'000;
};

TEST(StatusTone, IsChosenFromTheWordsOfTheText) {
    struct Case {
        const char* text;
        ui::ToastTone tone;
    };
    const Case cases[] = {
        {"Syncing\u2026", ui::ToastTone::Progress},
        {"Send failed: could not sync", ui::ToastTone::Error},
        {"Couldn\u2019t save account: disk full", ui::ToastTone::Error},
        {"You\u2019re offline \u00b7 Showing downloaded mail", ui::ToastTone::Warning},
        {"Mail worker is unavailable", ui::ToastTone::Plain},
        {"Connecting to imap.example.test", ui::ToastTone::Progress},
        {"fetch: ERROR in response", ui::ToastTone::Error},
    };
    for (const auto& c : cases) EXPECT_EQ(status_tone(c.text), c.tone) << c.text;
}

TEST_F(MailAppTest, StartsWithOneConnectAndAnInboxRefreshAndTakesInTheirAnswers) {
    script_->answer = [](const EngineRequest& r, const Sender<EngineEvent>& events) {
        if (auto* c = std::get_if<Connect>(&r)) {
            events.send(event::Connected{c->id, c->account.email});
            events.send(event::FoldersListed{c->id, c->account.email, {"INBOX", "Sent", "Trash"}});
        } else if (auto* f = std::get_if<RefreshFolder>(&r)) {
            MailMessage m;
            m.id = new_stable_id();
            m.folder = FolderRole::Inbox;
            m.subject = "Welcome";
            events.send(event::FolderSynced{f->role, f->id, f->account.email, {m}});
        }
    };
    auto capture = log::capture();
    auto app = make_app({account("ada@example.test")});
    app->sync(ui::FrameContext{});
    EXPECT_EQ(state_->status, "Syncing\u2026");
    EXPECT_TRUE(app->busy());
    EXPECT_TRUE(app->needs_idle_sync());
    settle(*app);

    auto requests = seen();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<Connect>(requests[0]));
    EXPECT_EQ(std::get<RefreshFolder>(requests[1]).role, FolderRole::Inbox);
    EXPECT_EQ(state_->status, "Synced 1 messages");
    EXPECT_FALSE(app->busy());
    ASSERT_EQ(state_->mailbox.size(), 1u);
    EXPECT_TRUE(state_->selected.has_value()) << "the shown folder was synced and nothing was selected";
    EXPECT_EQ(capture.count("mail::app", log::Level::Info, "mail: server folders listed"), 1u);

    // The start-up work happens once per MailApp.
    app->sync(ui::FrameContext{});
    EXPECT_EQ(seen().size(), 2u);
}

TEST_F(MailAppTest, SyncOfAnotherFolderChangesNeitherSelectionNorList) {
    script_->answer = [](const EngineRequest& r, const Sender<EngineEvent>& events) {
        if (auto* f = std::get_if<RefreshFolder>(&r)) {
            std::vector<MailMessage> messages;
            if (f->role == FolderRole::Archive) messages.push_back(message(FolderRole::Archive, 5));
            events.send(event::FolderSynced{f->role, f->id, f->account.email, messages});
        }
    };
    auto app = make_app({account("ada@example.test")});
    settle(*app);
    EXPECT_EQ(state_->status, "Inbox up to date");
    EXPECT_FALSE(state_->selected.has_value());

    app->send_request(RefreshFolder(state_->mailbox.account, FolderRole::Archive));
    settle(*app);
    EXPECT_EQ(state_->status, "Synced 1 messages");
    EXPECT_EQ(state_->mailbox.size(), 1u);
    EXPECT_FALSE(state_->selected.has_value());
    EXPECT_TRUE(state_->visible_list().empty()) << "the Inbox list is unchanged";
}

TEST_F(MailAppTest, AnswersToNothingPendingOrOfTheWrongKindAreIgnoredWithAWarning) {
    RequestId stranger = Uuid::random_v4();
    script_->answer = [stranger](const EngineRequest& r, const Sender<EngineEvent>& events) {
        events.send(event::Finished{stranger, RequestKind::Connect});  // not ours
        if (auto* c = std::get_if<Connect>(&r))
            events.send(event::FolderSynced{FolderRole::Inbox, c->id, "x", {message(FolderRole::Inbox, 1)}});
    };
    auto capture = log::capture();
    auto app = make_app({account("ada@example.test")});
    settle(*app);
    EXPECT_EQ(capture.count("mail::app", log::Level::Warn, "mail: ignoring unmatched or wrong-kind engine event"),
              3u);  // a stranger after each request, and the sync that answers a Connect
    EXPECT_EQ(state_->mailbox.size(), 0u) << "a FolderSynced answering a Connect is not applied";
}

TEST_F(MailAppTest, FailuresReachTheStatusLineAndTheSyncStatus) {
    auto sync_status = [&] {
        std::string all;
        for (const auto& file : fs::directory_iterator(dir_ / "sync-status")) {
            std::ifstream in(file.path());
            all += std::string(std::istreambuf_iterator<char>(in), {});
        }
        return all;
    };
    // A sign-in stage counts as needing authentication, whatever the message says.
    script_->answer = [](const EngineRequest& r, const Sender<EngineEvent>& events) {
        if (auto* c = std::get_if<Connect>(&r)) events.send(event::Failed{c->kind, c->id, "oauth", "token expired"});
    };
    auto app = make_app({account("ada@example.test")});
    settle(*app);
    EXPECT_EQ(state_->status, "oauth: token expired");
    EXPECT_NE(sync_status().find("needs_authentication"), std::string::npos) << sync_status();

    // Any other failure is reported as failed, with the status text.
    script_->answer = [](const EngineRequest& r, const Sender<EngineEvent>& events) {
        std::visit([&](const auto& q) { events.send(event::Failed{q.kind, q.id, "fetch", "connection refused"}); }, r);
    };
    app->refresh_current_folder();
    settle(*app);
    EXPECT_EQ(state_->status, "fetch: connection refused");
    EXPECT_NE(sync_status().find("fetch: connection refused"), std::string::npos) << sync_status();
}

TEST_F(MailAppTest, StatusClearsThreeAndAHalfSecondsAfterItWasFirstSeen) {
    auto app = make_app({}, /*with_engine=*/false);
    (void)app->catalogue_mut().wait_for_rebuild();  // the index built at start is not what is measured
    const ui::Instant t0 = ui::Clock::now();
    state_->status = "Hello";
    app->sync(ui::FrameContext{t0});
    EXPECT_TRUE(app->needs_idle_sync());
    app->sync(ui::FrameContext{t0 + 3s});
    state_->status = "Another";  // a new text restarts the time
    app->sync(ui::FrameContext{t0 + 3s});
    app->sync(ui::FrameContext{t0 + 6s});
    EXPECT_EQ(state_->status, "Another");
    state_->status = "Another";  // the same text again does not
    app->sync(ui::FrameContext{t0 + 6500ms});
    EXPECT_FALSE(state_->status.has_value());
    EXPECT_FALSE(app->needs_idle_sync());
    EXPECT_FALSE(app->next_wake_up().has_value()) << "an idle window asks for nothing";
}

TEST_F(MailAppTest, RefreshesTheShownFolderOnceMoreThanFourMinutesPassed) {
    script_->answer = [](const EngineRequest& r, const Sender<EngineEvent>& events) {
        if (auto* f = std::get_if<RefreshFolder>(&r)) events.send(event::FolderSynced{f->role, f->id, "", {}});
    };
    auto app = make_app({account("ada@example.test")});
    settle(*app);
    const auto after_start = seen().size();
    minute_ += 4;
    settle(*app);
    EXPECT_EQ(seen().size(), after_start) << "exactly four minutes is not more than four";
    minute_ += 1;
    app->sync(ui::FrameContext{});
    EXPECT_EQ(state_->status, "Syncing\u2026");
    settle(*app);
    ASSERT_EQ(seen().size(), after_start + 1);
    EXPECT_EQ(std::get<RefreshFolder>(seen().back()).role, FolderRole::Inbox);
}

TEST_F(MailAppTest, WithoutAnEngineNothingIsSentAndNothingWaits) {
    auto app = make_app({account("ada@example.test")}, /*with_engine=*/false);
    app->sync(ui::FrameContext{});
    EXPECT_FALSE(app->refresh_current_folder());
    EXPECT_FALSE(app->busy());
    EXPECT_FALSE(state_->status.has_value());
}

TEST_F(MailAppTest, ActiveAccountIsSavedAndAFailureIsRetried) {
    auto app = make_app({account("ada@example.test"), account("bob@example.test")}, false);
    state_->selected_account = 1;
    app->sync(ui::FrameContext{});
    auto store = services::AccountStore::load_in(dir_);
    ASSERT_TRUE(store.ok());
    EXPECT_EQ(store->active_id(accounts::email_account_type()), "bob@example.test");

    // A storage root that is a file cannot hold the registry.
    std::ofstream(dir_ / "blocker") << "x";
    auto blocked = std::make_shared<MailState>(std::vector<MailAccount>{account("ada@example.test")}, 0, 0);
    MailApp other(blocked, std::nullopt, StorageRoot::directory(dir_ / "blocker"));
    other.sync(ui::FrameContext{});
    ASSERT_TRUE(blocked->status.has_value());
    EXPECT_EQ(blocked->status->rfind("Selected account, but could not save that preference: ", 0), 0u);
    blocked->status.reset();
    other.sync(ui::FrameContext{});
    EXPECT_TRUE(blocked->status.has_value()) << "tried again at the next sync";
}

TEST(Preferences, FileContentsDecideTheStartingFormat) {
    struct Case {
        const char* text;
        bool plain;
    };
    const Case cases[] = {
        {R"({"compose_format":"text"})", true},
        {R"({"compose_format":"html"})", false},
        {R"({"compose_format":"TEXT"})", false},
        {R"({"compose_format":"text","theme":"dark"})", true},
        {R"(["text"])", true},
        {R"({"compose_format":"text","compose_format":"text"})", false},
        {R"({"theme":"dark"})", false},
        {R"({"compose_format":1})", false},
        {"not json", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(parse_plain_text_preference(c.text), c.plain) << c.text;
}

TEST_F(MailAppTest, ComposeFormatIsWrittenOnlyWhenItChanges) {
    auto app = make_app({}, false);
    const fs::path file = dir_ / "mail-local.json";
    app->save_preferences_if_changed();
    EXPECT_FALSE(fs::exists(file));
    app->set_compose_plain_text(true);
    app->save_preferences_if_changed();
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "{\"compose_format\":\"text\"}");
    EXPECT_TRUE(load_plain_text_preference(StorageRoot::directory(dir_)));

    // A new MailApp over the same root starts in plain text.
    auto again = make_app({}, false);
    EXPECT_TRUE(again->compose_plain_text());

    // With no storage root nothing is written and nothing is said.
    auto state = std::make_shared<MailState>();
    MailApp nowhere(state, std::nullopt, StorageRoot::none());
    nowhere.set_compose_plain_text(true);
    nowhere.save_preferences_if_changed();
    EXPECT_FALSE(state->status.has_value());
}

TEST_F(MailAppTest, AFailedPreferenceWriteIsReportedAndRetried) {
    std::ofstream(dir_ / "blocker") << "x";
    auto state = std::make_shared<MailState>();
    MailApp app(state, std::nullopt, StorageRoot::directory(dir_ / "blocker" / "below"));
    app.set_compose_plain_text(true);
    app.save_preferences_if_changed();
    ASSERT_TRUE(state->status.has_value());
    EXPECT_EQ(state->status->rfind("Compose format changed, but could not save that preference: ", 0), 0u);
    state->status.reset();
    app.save_preferences_if_changed();
    EXPECT_TRUE(state->status.has_value());
    state->status.reset();
    app.set_compose_plain_text(false);  // back to the saved format: nothing to write
    app.save_preferences_if_changed();
    EXPECT_FALSE(state->status.has_value());
}

}  // namespace
}  // namespace mail::app
