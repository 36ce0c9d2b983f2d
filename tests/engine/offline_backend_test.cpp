#include "engine/offline_backend.h"
#include "engine/outgoing_message.h"

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

namespace mail::engine {
namespace {

std::vector<EngineEvent> handled(EngineRequest request) {
    auto [tx, rx] = make_channel<EngineEvent>();
    OfflineBackend().handle(std::move(request), tx);
    return rx.drain();
}

TEST(OfflineBackend, SendBuildsTheMessageAndReportsItsExactLengthOrItsError) {
    StoredConfig config = account();
    config.display_name = "Ada Lovelace";
    DraftData draft;
    draft.to = "bob@example.test";
    draft.subject = "Notes";
    draft.body = "See you at ten.";
    auto built = build_message(sender_address(config), draft);
    ASSERT_TRUE(built.ok()) << built.error_text();

    auto events = handled(SendMessage(config, draft));
    ASSERT_EQ(events.size(), 1u);
    auto failed = std::get<event::Failed>(events[0]);
    EXPECT_EQ(failed.kind, RequestKind::SendMessage);
    EXPECT_EQ(failed.stage, "send");
    // Each build draws its own Message-ID and Date, which may differ in length by a few bytes.
    const std::string prefix = "SMTP is offline; validated ", suffix = " MIME bytes locally but did not send";
    ASSERT_EQ(failed.message.rfind(prefix, 0), 0u) << failed.message;
    ASSERT_GT(failed.message.size(), prefix.size() + suffix.size());
    ASSERT_EQ(failed.message.substr(failed.message.size() - suffix.size()), suffix);
    const long reported = std::stol(failed.message.substr(prefix.size()));
    EXPECT_NEAR(reported, static_cast<long>(built->size()), 8);

    // An attachment whose stored content is missing: the build error, with the same stage.
    draft.attachments.push_back(DraftAttachment{std::string(kAttachmentContentIdPrefix) + std::string(64, 'a'),
                                                "missing.pdf", "application/pdf", 10});
    auto broken = build_message(sender_address(config), draft);
    ASSERT_FALSE(broken.ok());
    events = handled(SendMessage(config, draft));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::get<event::Failed>(events[0]).stage, "send");
    EXPECT_EQ(std::get<event::Failed>(events[0]).message, broken.error_text());
}

TEST(OfflineBackend, SignInNamesTheAccountKey) {
    auto events = handled(OAuthSignIn("ada@example.test", "ada@example.test", OAuthProvider::Google));
    ASSERT_EQ(events.size(), 1u);
    auto failed = std::get<event::Failed>(events[0]);
    EXPECT_EQ(failed.stage, "oauth");
    EXPECT_EQ(failed.message, "OAuth sign-in for ada@example.test requires the live build");
}

}  // namespace
}  // namespace mail::engine
