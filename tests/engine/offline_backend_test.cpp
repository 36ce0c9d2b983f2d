#include "engine/offline_backend.h"

#include <gtest/gtest.h>

namespace mail::engine {
namespace {

StoredConfig account() {
    StoredConfig config;
    config.email = "ada@example.test";
    return config;
}

TEST(OfflineBackend, RefusesEveryRequestWithOneLineNamingWhatDidNotHappen) {
    MailMessage message;
    message.folder = FolderRole::Trash;
    struct Case {
        EngineRequest request;
        const char* stage;
        const char* message;
    };
    const Case cases[] = {
        {Connect(account()), "offline",
         "IMAP is unavailable for ada@example.test; rebuild with the live mail backend to connect"},
        {RefreshFolder(account(), FolderRole::Starred), "offline",
         "Cannot refresh Starred for ada@example.test while IMAP is offline"},
        {RefreshFolder(account(), FolderRole::Inbox), "offline",
         "Cannot refresh Inbox for ada@example.test while IMAP is offline"},
        {SyncFlags(account(), message), "offline", "Local change saved; it was not synchronized to IMAP"},
        {MoveMessage(account(), message, FolderRole::Archive), "offline",
         "Local change saved; it was not synchronized to IMAP"},
        {PurgeMessage(account(), message), "offline", "Local change saved; it was not synchronized to IMAP"},
    };
    OfflineBackend backend;
    for (const auto& c : cases) {
        auto [tx, rx] = make_channel<EngineEvent>();
        backend.handle(c.request, tx);
        auto events = rx.drain();
        ASSERT_EQ(events.size(), 1u) << c.message;
        auto failed = std::get<event::Failed>(events[0]);
        EXPECT_EQ(failed.kind, request_kind(c.request));
        EXPECT_EQ(failed.id, request_id(c.request));
        EXPECT_EQ(failed.stage, c.stage);
        EXPECT_EQ(failed.message, c.message);
    }
}

}  // namespace
}  // namespace mail::engine
