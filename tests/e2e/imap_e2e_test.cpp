// The live backend against a real Dovecot on loopback, checked with a separate IMAP session, and
// against a scripted peer for what a real server will not do.
#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>

#include "e2e/mail_env.h"
#include "engine/engine.h"
#include "engine/imap_session.h"
#include "engine/server_operations.h"
#include "engine/oauth_refresh.h"
#include "platform/services/net.h"
#include "platform/services/paths.h"
#include "platform/services/secret_vault.h"

namespace mail::e2e {
namespace {

using engine::Credentials;
using engine::PasswordCredentials;

class ImapEndToEnd : public MailEnvTest {
protected:

    StoredConfig account_for(const std::string& user) {
        StoredConfig account;
        account.email = user;
        account.imap_host = " localhost ";  // trimmed; names the certificate's host
        account.imap_port = static_cast<std::uint16_t>(env.imaps_port());
        account.imap_tls = false;  // not consulted: IMAP is always implicit TLS
        account.password = MailEnv::password_of(user);
        return account;
    }

    // The request through the live backend and the worker, every event up to Finished.
    std::vector<EngineEvent> run_request(EngineRequest request) {
        auto backend = engine::build_live_backend();
        EXPECT_TRUE(backend.ok());
        if (!backend) return {};
        auto handle = engine::start_engine_with(std::move(*backend));
        handle.send(std::move(request));
        std::vector<EngineEvent> events;
        while (auto e = handle.events.recv_for(std::chrono::seconds(60))) {
            events.push_back(std::move(*e));
            if (std::holds_alternative<event::Finished>(events.back())) break;
        }
        return events;
    }

    // Exactly one Failed (then Finished); its message.
    std::string failure_of(const std::vector<EngineEvent>& events, const char* stage) {
        EXPECT_EQ(events.size(), 2u);
        if (events.size() != 2 || !std::holds_alternative<event::Failed>(events[0])) return "(no failure)";
        EXPECT_EQ(std::get<event::Failed>(events[0]).stage, stage);
        return std::get<event::Failed>(events[0]).message;
    }

    void expect_only_finished(const std::vector<EngineEvent>& events) {
        ASSERT_EQ(events.size(), 1u) << (events.size() > 1 && std::holds_alternative<event::Failed>(events[0])
                                             ? std::get<event::Failed>(events[0]).message
                                             : "");
        EXPECT_TRUE(std::holds_alternative<event::Finished>(events[0]));
    }

    // One operation on a private runtime, for the options the engine does not expose.
    template <typename T>
    T run_direct(asio::awaitable<T> task) {
        asio::io_context io;
        std::promise<T> done;
        auto result = done.get_future();
        asio::co_spawn(io, [&]() -> asio::awaitable<void> { done.set_value(co_await std::move(task)); }, asio::detached);
        io.run();
        return result.get();
    }

    net::TlsClientConfig tls() {
        auto config = net::client_config();
        EXPECT_TRUE(config.ok());
        return *config;
    }

    static MailMessage message_with_id(const std::string& id, FolderRole folder) {
        MailMessage m;
        m.message_id = id;
        m.folder = folder;
        return m;
    }
};

TEST_F(ImapEndToEnd, ConnectListsTheFolders) {
    std::string user = env.add_user("connect");
    auto events = run_request(Connect(account_for(user)));
    ASSERT_EQ(events.size(), 3u);
    ASSERT_TRUE(std::holds_alternative<event::Connected>(events[0]));
    EXPECT_EQ(std::get<event::Connected>(events[0]).account, user);
    ASSERT_TRUE(std::holds_alternative<event::FoldersListed>(events[1]));
    auto folders = std::get<event::FoldersListed>(events[1]).folders;
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"Archive", "Drafts", "INBOX", "Junk", "Sent", "Trash"}));
    EXPECT_TRUE(std::holds_alternative<event::Finished>(events[2]));
}

TEST_F(ImapEndToEnd, RefreshFetchesTheNewestFiftyWithFlagsAndServerTimes) {
    std::string user = env.add_user("refresh");
    env.seed(user, "INBOX", 120);
    env.doveadm_flags(user, "INBOX", "add", "\\Seen", "100:120");
    env.doveadm_flags(user, "INBOX", "add", "\\Flagged", "110:115,30");

    engine::imap::ConnectionOptions options;
    options.transcript = std::make_shared<std::vector<std::string>>();
    auto messages = run_direct(engine::refresh_operation(account_for(user), FolderRole::Inbox,
                                                         PasswordCredentials{user, MailEnv::password_of(user)}, tls(),
                                                         options));
    ASSERT_TRUE(messages.ok()) << messages.error_text();
    std::string uids;
    for (int uid = 120; uid >= 71; --uid) uids += (uids.empty() ? "" : ",") + std::to_string(uid);
    const auto& sent = *options.transcript;
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[1], "SELECT \"INBOX\"");
    EXPECT_EQ(sent[2], "UID SEARCH ALL");
    EXPECT_EQ(sent[3], "UID FETCH " + uids + " (UID FLAGS INTERNALDATE BODY.PEEK[])");
    EXPECT_EQ(sent[4], "LOGOUT");

    ASSERT_EQ(messages->size(), 50u);
    for (const MailMessage& m : *messages) {
        int n = std::stoi(m.subject.substr(std::string("Test message ").size()));
        EXPECT_GE(n, 71);
        EXPECT_EQ(m.message_id, "seed-" + std::to_string(n) + "@example.test");
        EXPECT_EQ(m.seen, n >= 100) << n;
        EXPECT_EQ(m.flagged, n >= 110 && n <= 115) << n;
        EXPECT_EQ(m.folder, FolderRole::Inbox);
        EXPECT_EQ(m.date, 1704067200 / 60 + n);  // INTERNALDATE: the corpus dates, one minute apart
        EXPECT_FALSE(m.body.empty());
    }
    // BODY.PEEK: fetching set no \Seen on the server.
    for (const ProbeRow& row : env.probe(user, "INBOX")) EXPECT_EQ(row.has("\\Seen"), row.uid >= 100) << row.uid;
}

TEST_F(ImapEndToEnd, StarredReturnsTheFlaggedInboxMessagesAsStarred) {
    std::string user = env.add_user("starred");
    env.seed(user, "INBOX", 10);
    env.doveadm_flags(user, "INBOX", "add", "\\Flagged", "2,5");
    auto events = run_request(RefreshFolder(account_for(user), FolderRole::Starred));
    ASSERT_EQ(events.size(), 2u);
    ASSERT_TRUE(std::holds_alternative<event::FolderSynced>(events[0]));
    const auto& synced = std::get<event::FolderSynced>(events[0]);
    EXPECT_EQ(synced.role, FolderRole::Starred);
    EXPECT_EQ(synced.account, user);
    std::vector<std::string> ids;
    for (const auto& m : synced.messages) {
        ids.push_back(*m.message_id);
        EXPECT_EQ(m.folder, FolderRole::Starred);
        EXPECT_TRUE(m.flagged);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"seed-2@example.test", "seed-5@example.test"}));

    // An empty folder answers an empty list.
    auto empty = run_request(RefreshFolder(account_for(user), FolderRole::Junk));
    ASSERT_EQ(empty.size(), 2u);
    ASSERT_TRUE(std::holds_alternative<event::FolderSynced>(empty[0]));
    EXPECT_TRUE(std::get<event::FolderSynced>(empty[0]).messages.empty());
}

TEST_F(ImapEndToEnd, SyncFlagsSetsExactlyTheLocalState) {
    std::string user = env.add_user("flags");
    env.seed(user, "INBOX", 3);
    env.doveadm_flags(user, "INBOX", "add", "\\Flagged", "1");
    MailMessage first = message_with_id("seed-1@example.test", FolderRole::Inbox);
    first.seen = true;   // was unread
    first.flagged = false;  // was starred
    expect_only_finished(run_request(SyncFlags(account_for(user), first)));
    MailMessage second = message_with_id("\"seed-2@example.test\"", FolderRole::Starred);  // quotes removed; Starred is INBOX
    second.flagged = true;
    expect_only_finished(run_request(SyncFlags(account_for(user), second)));

    auto rows = env.probe(user, "INBOX");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows[0].has("\\Seen"));
    EXPECT_FALSE(rows[0].has("\\Flagged"));
    EXPECT_FALSE(rows[1].has("\\Seen"));
    EXPECT_TRUE(rows[1].has("\\Flagged"));
    EXPECT_FALSE(rows[2].has("\\Seen") || rows[2].has("\\Flagged"));

    EXPECT_EQ(failure_of(run_request(SyncFlags(account_for(user), message_with_id("nowhere@x", FolderRole::Inbox))), "flag"),
              "message not found on the server");
    EXPECT_EQ(failure_of(run_request(SyncFlags(account_for(user), message_with_id("", FolderRole::Inbox))), "flag"),
              "message has no Message-ID to locate it on the server");
}

TEST_F(ImapEndToEnd, MoveTakesTheMessageToTheDestination) {
    std::string user = env.add_user("move");
    env.seed(user, "INBOX", 3);
    expect_only_finished(run_request(
        MoveMessage(account_for(user), message_with_id("seed-2@example.test", FolderRole::Inbox), FolderRole::Archive)));
    auto inbox = env.probe(user, "INBOX");
    auto archive = env.probe(user, "Archive");
    ASSERT_EQ(inbox.size(), 2u);
    EXPECT_EQ(inbox[0].message_id, "<seed-1@example.test>");
    EXPECT_EQ(inbox[1].message_id, "<seed-3@example.test>");
    ASSERT_EQ(archive.size(), 1u);
    EXPECT_EQ(archive[0].message_id, "<seed-2@example.test>");
    // The message is no longer in the source: not found, nothing else moved.
    EXPECT_EQ(failure_of(run_request(MoveMessage(account_for(user),
                                                 message_with_id("seed-2@example.test", FolderRole::Inbox),
                                                 FolderRole::Trash)),
                         "move"),
              "message not found on the server");
}

TEST_F(ImapEndToEnd, PurgeRemovesOnlyThatMessage) {
    std::string user = env.add_user("purge");
    env.seed(user, "INBOX", 1);
    env.seed(user, "Trash", 3);
    env.doveadm_flags(user, "Trash", "add", "\\Deleted", "1");  // deleted by someone else, not expunged
    expect_only_finished(run_request(PurgeMessage(account_for(user), message_with_id("seed-2@example.test", FolderRole::Trash))));
    auto trash = env.probe(user, "Trash");
    ASSERT_EQ(trash.size(), 2u);
    EXPECT_EQ(trash[0].message_id, "<seed-1@example.test>");
    EXPECT_TRUE(trash[0].has("\\Deleted"));
    EXPECT_EQ(trash[1].message_id, "<seed-3@example.test>");
    EXPECT_EQ(env.probe(user, "INBOX").size(), 1u);
}

TEST_F(ImapEndToEnd, LoginAndTrustFailuresAreFriendly) {
    std::string user = env.add_user("login");
    StoredConfig wrong = account_for(user);
    wrong.password = "not-the-password";
    EXPECT_EQ(failure_of(run_request(Connect(wrong)), "connect"), "authentication failed — check the username and password");
    EXPECT_EQ(failure_of(run_request(RefreshFolder(wrong, FolderRole::Inbox)), "fetch"),
              "authentication failed — check the username and password");

    StoredConfig no_password = account_for(user);
    no_password.password.clear();
    EXPECT_EQ(failure_of(run_request(Connect(no_password)), "connect"), "no password set for this account");
    StoredConfig no_host = account_for(user);
    no_host.imap_host = "  ";
    EXPECT_EQ(failure_of(run_request(Connect(no_host)), "connect"), "no IMAP host");
    StoredConfig closed = account_for(user);
    closed.imap_host = "127.0.0.1";
    closed.imap_port = 1;
    EXPECT_EQ(failure_of(run_request(Connect(closed)), "connect"), "connection refused — check the host and port");

    // Without the test authority the server's certificate is not trusted.
    ::unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(failure_of(run_request(Connect(account_for(user))), "connect"),
              "TLS/certificate error — the server's certificate wasn't trusted");
}

// The scripted peer: a TLS server on loopback that misbehaves on purpose.
class ScriptedPeer {
public:
    ScriptedPeer(const MailEnv& env, const std::string& scenario) {
        log_ = std::filesystem::temp_directory_path() / ("imap-peer-" + scenario + "-" + std::to_string(::getpid()));
        std::filesystem::remove(log_);
        std::string command = "/usr/bin/python3 " + env.scripts() + "/scripted_imap_peer.py " +
                              shell_quote((env.base / "certs" / "server.pem").string()) + " " +
                              shell_quote((env.base / "certs" / "server.key").string()) + " " + scenario + " " +
                              shell_quote(log_.string());
        pipe_ = popen(command.c_str(), "r");
        char line[32] = {};
        if (pipe_ && std::fgets(line, sizeof line, pipe_)) port_ = std::atoi(line);
    }
    ~ScriptedPeer() {
        if (pipe_) pclose(pipe_);
        std::filesystem::remove(log_);
    }
    int port() const { return port_; }
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) out.push_back(line.substr(line.find(' ') + 1));
        return out;
    }

private:
    std::filesystem::path log_;
    FILE* pipe_ = nullptr;
    int port_ = 0;
};

TEST_F(ImapEndToEnd, MisbehavingServersFailTheRequestWithAClearText) {
    struct Row {
        const char* scenario;
        std::string expected;
    };
    const std::vector<Row> rows = {
        {"stall", "SELECT failed: timed out: the server sent nothing for 400 ms"},
        {"drop-literal", "UID FETCH failed: connection closed by the server"},
        {"malformed", "SELECT failed: malformed server response (expected a number): * 1 FETCH (UID x)"},
        {"huge-literal", "UID FETCH failed: server sent a literal of 10000000000 bytes, more than the limit of 67108864"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scenario);
        ScriptedPeer peer(env, row.scenario);
        ASSERT_GT(peer.port(), 0);
        StoredConfig account = account_for("peer@example.test");
        account.imap_port = static_cast<std::uint16_t>(peer.port());
        engine::imap::ConnectionOptions options;
        options.inactivity = std::chrono::milliseconds(400);
        auto start = std::chrono::steady_clock::now();
        auto result = run_direct(engine::refresh_operation(account, FolderRole::Inbox,
                                                           PasswordCredentials{"peer", "secret"}, tls(), options));
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error_text(), row.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
}

TEST_F(ImapEndToEnd, WithoutMoveOrUidplusNothingElseIsTried) {
    {
        ScriptedPeer peer(env, "no-move");
        StoredConfig account = account_for("peer@example.test");
        account.imap_port = static_cast<std::uint16_t>(peer.port());
        auto moved = run_direct(engine::move_operation(account, message_with_id("m@x", FolderRole::Starred),
                                                       FolderRole::Junk, PasswordCredentials{"peer", "p"}, tls()));
        ASSERT_FALSE(moved.ok());
        EXPECT_EQ(moved.error_text(), "UID MOVE failed: Error in IMAP command UID: Unknown command");
        auto sent = peer.commands();
        EXPECT_EQ(sent, (std::vector<std::string>{"LOGIN \"peer\" \"p\"", "SELECT \"INBOX\"",
                                                  "UID SEARCH HEADER MESSAGE-ID \"m@x\"", "UID MOVE 3 \"Junk\""}));
    }
    {
        ScriptedPeer peer(env, "no-move");
        StoredConfig account = account_for("peer@example.test");
        account.imap_port = static_cast<std::uint16_t>(peer.port());
        auto purged = run_direct(engine::purge_operation(account, message_with_id("m@x", FolderRole::Trash),
                                                         PasswordCredentials{"peer", "p"}, tls()));
        ASSERT_FALSE(purged.ok());
        EXPECT_EQ(purged.error_text(),
                  "server cannot safely expunge this message: UID EXPUNGE failed: Error in IMAP command UID: Unknown command");
        auto sent = peer.commands();
        ASSERT_EQ(sent.size(), 5u);
        EXPECT_EQ(sent[1], "SELECT \"Trash\"");
        EXPECT_EQ(sent[3], "UID STORE 3 +FLAGS.SILENT (\\Deleted)");
        EXPECT_EQ(sent[4], "UID EXPUNGE 3");
    }
}

}  // namespace
}  // namespace mail::e2e

namespace mail::e2e {
namespace {

// An OAuth account whose stored token has expired: the engine refreshes it at the provider's
// token endpoint (moved to loopback), saves the new token, and logs in with XOAUTH2.
TEST_F(ImapEndToEnd, ExpiredTokenIsRefreshedSavedAndUsedForXoauth2) {
    std::string user = env.add_user("oauth", "gmail.com");
    const std::string fresh = "fresh-" + std::to_string(::getpid());
    run_shell("echo " + shell_quote(fresh + " " + user) + " >> " + shell_quote((env.base / "dovecot" / "oauth-tokens").string()));

    auto root = std::filesystem::temp_directory_path() / ("imap-oauth-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    services::set_root_override(root);
    {
        auto vault = services::SecretVault::open();
        ASSERT_TRUE(vault.ok());
        vault->put(user, {"", engine::tokens_to_json({"stale-token", "the-refresh-token", 3600, 1000})});
        ASSERT_TRUE(vault->try_save().ok());
    }
    auto log = root / "token-requests";
    std::string command = "/usr/bin/python3 " + env.scripts() + "/token_endpoint.py " +
                          shell_quote("{\"access_token\":\"" + fresh + "\",\"expires_in\":3600}") + " " +
                          shell_quote(log.string());
    FILE* endpoint = popen(command.c_str(), "r");
    char port[32] = {};
    ASSERT_TRUE(endpoint && std::fgets(port, sizeof port, endpoint));
    ::setenv("VARO_MAIL_GOOGLE_TOKEN_URL", ("http://127.0.0.1:" + std::string(port, std::strlen(port) - 1) + "/token").c_str(), 1);
    ::setenv("VARO_MAIL_GOOGLE_CLIENT_ID", "test-client", 1);

    StoredConfig account = account_for(user);
    account.auth = AuthMethod::OAuth;
    account.password.clear();
    auto events = run_request(Connect(account));
    pclose(endpoint);
    ASSERT_EQ(events.size(), 3u) << (std::holds_alternative<event::Failed>(events[0]) ? std::get<event::Failed>(events[0]).message : "");
    EXPECT_TRUE(std::holds_alternative<event::Connected>(events[0]));

    std::ifstream sent(log);
    std::string line;
    std::getline(sent, line);
    auto request = nlohmann::json::parse(line);
    EXPECT_EQ(request["path"], "/token");
    EXPECT_EQ(request["form"], nlohmann::json::parse(R"([["grant_type","refresh_token"],["client_id","test-client"],["refresh_token","the-refresh-token"]])"));
    auto vault = services::SecretVault::open();
    ASSERT_TRUE(vault.ok());
    auto saved = engine::tokens_from_json(*vault->get(user)->token);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->access_token, fresh);
    EXPECT_EQ(saved->refresh_token, "the-refresh-token");  // the answer carried none: the old one stays
    EXPECT_EQ(saved->expires_in, 3600u);

    // The saved token is now used as it is; a token the server does not know is refused.
    EXPECT_EQ(run_request(Connect(account)).size(), 3u);
    {
        auto v = services::SecretVault::open();
        v->put(user, {"", engine::tokens_to_json({"revoked", "", 3600, engine::now_seconds()})});
        ASSERT_TRUE(v->try_save().ok());
    }
    EXPECT_EQ(failure_of(run_request(Connect(account)), "connect"), "authentication failed — check the username and password");
    ::unsetenv("VARO_MAIL_GOOGLE_TOKEN_URL");
    ::unsetenv("VARO_MAIL_GOOGLE_CLIENT_ID");
    services::clear_root_override();
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace mail::e2e
