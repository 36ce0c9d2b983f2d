// Local decisions survive the server: every change is recorded in the replica document first,
// and refreshes only fill in what the document does not hold.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/mail_actions.h"
#include "app/mail_app.h"

namespace mail::app {
namespace {

using namespace std::chrono_literals;

// Answers every refresh with the same server copy of one message: read, in the Inbox.
class ServerCopy : public engine::MailBackend {
public:
    explicit ServerCopy(MailMessage message) : message_(std::move(message)) {}
    void handle(EngineRequest request, const Sender<EngineEvent>& events) override {
        if (auto* r = std::get_if<RefreshFolder>(&request))
            events.send(event::FolderSynced{r->role, r->id, r->account.email, {message_}});
    }

private:
    MailMessage message_;
};

class LocalFirst : public ::testing::Test {
protected:
    void SetUp() override {
        server_copy_.id = stable_id_from_message_id("<weekly-1@example.test>");
        server_copy_.message_id = "<weekly-1@example.test>";
        server_copy_.subject = "Weekly report";
        server_copy_.folder = FolderRole::Inbox;
        server_copy_.seen = true;
        register_mail_actions(registry_);

        MailAccount account;
        account.id = "ada@example.test";
        account.config.email = account.id;
        state_ = std::make_shared<MailState>(std::vector<MailAccount>{account}, 0, 1000);
        app_ = std::make_unique<MailApp>(state_, engine::start_engine_with(std::make_unique<ServerCopy>(server_copy_)),
                                         StorageRoot::none());
    }

    ui::FrameContext frame() {
        ui::FrameContext f;
        f.replica = &replica_;
        f.actions = &host_;
        return f;
    }
    void settle() {
        for (int i = 0; i < 1000; ++i) {
            app_->sync(frame());
            if (app_->pending().empty()) return;
            std::this_thread::sleep_for(2ms);
        }
        FAIL() << "requests still pending";
    }
    void refresh() {
        ASSERT_TRUE(app_->refresh_current_folder());
        settle();
    }

    MailMessage server_copy_;
    actionfw::ActionRegistry registry_;
    actionfw::ActionHost host_{registry_};
    persist::Document replica_ = persist::open_in_memory();
    std::shared_ptr<MailState> state_;
    std::unique_ptr<MailApp> app_;
};

TEST_F(LocalFirst, UnreadStaysUnreadAfterARefreshThatSaysSeen) {
    settle();  // the start-up refresh brings the message in
    const StableId id = server_copy_.id;
    ASSERT_NE(state_->mailbox.find(id), nullptr);
    ASSERT_TRUE(state_->mailbox.find(id)->seen);

    state_->set_read(id, false);
    app_->sync(frame());  // the change is recorded in the document
    EXPECT_TRUE(state_->pending_actions.empty());
    refresh();
    EXPECT_FALSE(state_->mailbox.find(id)->seen) << "the server's \\Seen does not override the local decision";
    EXPECT_EQ(state_->status, "Synced 1 messages");
}

TEST_F(LocalFirst, APurgedMessageNeverComesBack) {
    settle();
    const StableId id = server_copy_.id;
    ASSERT_TRUE(state_->delete_message(id));  // to Trash
    app_->sync(frame());
    ASSERT_TRUE(state_->delete_message(id));  // and for good
    app_->sync(frame());
    EXPECT_EQ(state_->mailbox.find(id), nullptr);
    refresh();
    refresh();
    EXPECT_EQ(state_->mailbox.find(id), nullptr) << "the refresh returned it, the document keeps it purged";
}

TEST_F(LocalFirst, AMovedMessageStaysWhereTheUserPutIt) {
    settle();
    const StableId id = server_copy_.id;
    ASSERT_TRUE(state_->move_message(id, FolderRole::Archive));
    app_->sync(frame());
    refresh();
    EXPECT_EQ(state_->mailbox.find(id)->folder, FolderRole::Archive);
}

TEST(MailActionRegistration, RefusesWhatDoesNotDecodeAndAppliesWhatDoes) {
    actionfw::ActionRegistry registry;
    register_mail_actions(registry);
    persist::Document replica = persist::open_in_memory();
    auto refused = registry.apply(replica, {"mail.action", R"({"Frobnicate":{"ids":[]}})"});
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error_text().rfind("mail.action", 0), 0u) << refused.error_text();
    EXPECT_TRUE(registry.apply(replica, {"mail.action", R"({"CreateFolder":{"id":"f1","name":"Receipts"}})"}).ok());
    auto folders = engine::list_user_folders(replica);
    ASSERT_EQ(folders.size(), 1u);
    // A purge of a message that is not in Trash is refused as a whole.
    auto purge = registry.apply(replica, {"mail.action", R"({"Purge":{"ids":["e71fa219-0541-574b-849d-e539a904eff8"]}})"});
    ASSERT_FALSE(purge.ok());
    EXPECT_EQ(purge.error_text(), "every message must still be present in Trash before permanent deletion");
}

}  // namespace
}  // namespace mail::app
