// Delivery through the real Postfix submission service on loopback (implicit TLS and STARTTLS),
// read back from the recipients' Dovecot INBOX with a separate IMAP session.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "e2e/mail_env.h"
#include "engine/engine.h"
#include "engine/oauth_refresh.h"
#include "engine/outgoing_message.h"
#include "engine/send_operation.h"
#include "engine/smtp_client.h"
#include "platform/services/paths.h"
#include "platform/services/secret_vault.h"

namespace mail::e2e {
namespace {

using engine::OAuthCredentials;
using engine::PasswordCredentials;

class SmtpEndToEnd : public MailEnvTest {
protected:
    void SetUp() override {
        MailEnvTest::SetUp();
        if (IsSkipped()) return;
        if (!env.ports.count("SMTPS_PORT") || !std::filesystem::exists(env.base / "postfix"))
            GTEST_SKIP() << "the mail environment has no Postfix (it needs root)";
    }

    std::uint16_t port(const char* name) { return static_cast<std::uint16_t>(env.ports.at(name)); }
    // The environment's implicit-TLS port stands for 465.
    engine::SmtpOptions options() {
        engine::SmtpOptions o;
        o.implicit_tls_port = port("SMTPS_PORT");
        return o;
    }

    StoredConfig account_for(const std::string& user, std::uint16_t smtp_port) {
        StoredConfig account;
        account.display_name = "Sender Name";
        account.email = user;
        account.smtp_host = " localhost ";
        account.smtp_port = smtp_port;
        account.smtp_tls = false;  // not consulted
        account.password = MailEnv::password_of(user);
        return account;
    }

    // The INBOX's messages as the server holds them, waiting for the queue to hand them over.
    std::vector<std::string> inbox(const std::string& user, std::size_t expected) {
        static const char* kFetch =
            "import imaplib,ssl,sys\n"
            "port,ca,user,pw=sys.argv[1:5]\n"
            "M=imaplib.IMAP4_SSL('127.0.0.1',int(port),ssl_context=ssl.create_default_context(cafile=ca))\n"
            "M.login(user,pw)\nM.select('INBOX',readonly=True)\n"
            "t,d=M.uid('FETCH','1:*','(BODY.PEEK[])')\n"
            "for i in d:\n"
            "  if isinstance(i,tuple): sys.stdout.buffer.write(i[1]+b'\\0')\n"
            "M.logout()\n";
        std::vector<std::string> messages;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string out = run_shell("/usr/bin/python3 -c " + shell_quote(kFetch) + " " +
                                        std::to_string(env.imaps_port()) + " " + shell_quote(env.ca()) + " " +
                                        shell_quote(user) + " " + shell_quote(MailEnv::password_of(user)));
            messages.clear();
            for (std::size_t start = 0, end; (end = out.find('\0', start)) != std::string::npos; start = end + 1)
                messages.push_back(out.substr(start, end - start));
            if (messages.size() >= expected) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return messages;
    }
};

// The message as built, after whatever trace headers the servers put in front of it.
std::string as_sent(const std::string& received) {
    std::size_t from = received.starts_with("From: ") ? 0 : received.find("\r\nFrom: ");
    return from == std::string::npos ? std::string() : received.substr(from == 0 ? 0 : from + 2);
}

TEST_F(SmtpEndToEnd, BothTlsModesDeliverTheBytesUnchangedAndBccOnlyThroughTheEnvelope) {
    for (const char* port_name : {"SMTPS_PORT", "SUBMISSION_PORT"}) {
        SCOPED_TRACE(port_name);
        std::string sender = env.add_user("sender"), to = env.add_user("to"), cc = env.add_user("cc"),
                    hidden = env.add_user("hidden");
        StoredConfig account = account_for(sender, port(port_name));
        DraftData draft;
        draft.to = "To Person <" + to + ">";
        draft.cc = cc;
        draft.bcc = hidden;
        draft.subject = "Grüße über SMTP";
        draft.body = "Hello.\n.a line that starts with a dot\n.\nend\n";
        draft.html_body = "<p>Hello.</p>";

        auto built = engine::build_message(engine::sender_address(account), draft);
        ASSERT_TRUE(built.ok());
        EXPECT_EQ(built->find(hidden), std::string::npos);
        Status sent = engine::deliver(account, PasswordCredentials{sender, MailEnv::password_of(sender)}, draft, *built, options());
        ASSERT_TRUE(sent.ok()) << sent.error_text();

        for (const std::string& user : {to, cc, hidden}) {
            auto messages = inbox(user, 1);
            ASSERT_EQ(messages.size(), 1u) << user;
            EXPECT_EQ(as_sent(messages[0]), *built) << user;
            EXPECT_EQ(messages[0].find("\r\nBcc:"), std::string::npos);
        }
    }
}

TEST_F(SmtpEndToEnd, LiveSendReportsTheBuiltLength) {
    std::string sender = env.add_user("sender"), to = env.add_user("to");
    auto [tx, rx] = make_channel<EngineEvent>();
    DraftData draft;
    draft.to = to;
    draft.subject = "Count";
    draft.body = "Count these bytes.\n";
    SendMessage request(account_for(sender, port("SUBMISSION_PORT")), draft);
    engine::handle_send_message(request, tx, {{}, options()});
    auto events = rx.drain();
    ASSERT_EQ(events.size(), 1u);
    const auto* delivered = std::get_if<event::Delivered>(&events[0]);
    ASSERT_NE(delivered, nullptr) << std::get<event::Failed>(events[0]).message;
    EXPECT_EQ(delivered->id, request.id);
    auto messages = inbox(to, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(as_sent(messages[0]).size(), delivered->bytes);
}

TEST_F(SmtpEndToEnd, RefusalsAreFriendlyAndSendNothing) {
    std::string sender = env.add_user("sender"), to = env.add_user("to");
    DraftData draft;
    draft.to = to;
    draft.subject = "Refused";
    draft.body = "x\n";
    for (const char* port_name : {"SMTPS_PORT", "SUBMISSION_PORT"}) {
        Status wrong = engine::deliver(account_for(sender, port(port_name)), PasswordCredentials{sender, "wrong"}, draft,
                                       "Subject: x\r\n\r\nx\r\n", options());
        ASSERT_FALSE(wrong.ok());
        EXPECT_EQ(wrong.error_text(), "authentication failed — check the username and password") << port_name;
    }
    // One recipient outside the served domain fails the whole transaction.
    DraftData mixed = draft;
    mixed.cc = "someone@elsewhere.invalid";
    Status partly = engine::deliver(account_for(sender, port("SMTPS_PORT")),
                                    PasswordCredentials{sender, MailEnv::password_of(sender)}, mixed,
                                    "Subject: x\r\n\r\nx\r\n", options());
    ASSERT_FALSE(partly.ok());
    EXPECT_NE(partly.error_text().find("550"), std::string::npos) << partly.error_text();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(inbox(to, 0).empty());
}

TEST_F(SmtpEndToEnd, BearerTokenSignsInWithXoauth2) {
    std::string to = env.add_user("to");
    StoredConfig account = account_for("alice@example.test", port("SMTPS_PORT"));
    account.auth = AuthMethod::OAuth;
    DraftData draft;
    draft.to = to;
    draft.subject = "Token";
    draft.body = "Sent with a bearer token.\n";
    auto built = engine::build_message(engine::sender_address(account), draft);
    ASSERT_TRUE(built.ok());
    Status bad = engine::deliver(account, OAuthCredentials{"alice@example.test", "not-a-token"}, draft, *built, options());
    EXPECT_EQ(bad.ok() ? std::string() : bad.error_text(), "authentication failed — check the username and password");
    Status sent = engine::deliver(account, OAuthCredentials{"alice@example.test", "alice-good-token"}, draft, *built, options());
    ASSERT_TRUE(sent.ok()) << sent.error_text();
    auto messages = inbox(to, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(as_sent(messages[0]), *built);
}

// The whole path through the live engine: the browser sign-in (a script plays the browser, a
// loopback token endpoint answers with a token Dovecot knows), then IMAP and SMTP with it.
TEST_F(SmtpEndToEnd, EngineSignInThenImapAndSmtpWithTheStoredToken) {
    auto root = std::filesystem::temp_directory_path() / ("smtp-oauth-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
    services::set_root_override(root);
    auto browser = root / "browser.py";
    std::ofstream(browser) << "#!/usr/bin/python3\n"
                              "import sys, urllib.parse, urllib.request\n"
                              "q = dict(urllib.parse.parse_qsl(urllib.parse.urlsplit(sys.argv[1]).query))\n"
                              "urllib.request.urlopen(q['redirect_uri'] + '?code=e2e-code&state=' + q['state']).read()\n";
    std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    auto log = root / "token-requests";
    FILE* endpoint = popen(("/usr/bin/python3 " + env.scripts() + "/token_endpoint.py " +
                            shell_quote(R"({"access_token":"alice-good-token","expires_in":3600})") + " " +
                            shell_quote(log.string()))
                               .c_str(),
                           "r");
    char token_port[32] = {};
    ASSERT_TRUE(endpoint && std::fgets(token_port, sizeof token_port, endpoint));
    ::setenv("VARO_MAIL_GOOGLE_TOKEN_URL",
             ("http://127.0.0.1:" + std::string(token_port, std::strlen(token_port) - 1) + "/token").c_str(), 1);
    ::setenv("VARO_MAIL_GOOGLE_CLIENT_ID", "e2e-client", 1);
    ::setenv("VARO_MAIL_OPEN_COMMAND", browser.c_str(), 1);

    auto backend = engine::build_live_backend();
    ASSERT_TRUE(backend.ok());
    auto handle = engine::start_engine_with(std::move(*backend));
    auto run = [&](EngineRequest request) {
        handle.send(std::move(request));
        std::vector<EngineEvent> events;
        while (auto e = handle.events.recv_for(std::chrono::seconds(60))) {
            events.push_back(std::move(*e));
            if (std::holds_alternative<event::Finished>(events.back())) break;
        }
        return events;
    };
    auto message_of = [](const std::vector<EngineEvent>& events) {
        for (const auto& e : events)
            if (const auto* f = std::get_if<event::Failed>(&e)) return f->message;
        return std::string();
    };

    auto signed_in = run(OAuthSignIn("alice@example.test", "alice@example.test", mail::OAuthProvider::Google));
    pclose(endpoint);
    ASSERT_EQ(signed_in.size(), 2u) << message_of(signed_in);
    EXPECT_EQ(std::get<event::SignedIn>(signed_in[0]).account_key, "alice@example.test");
    std::ifstream sent(log);
    std::string line;
    std::getline(sent, line);
    EXPECT_NE(line.find("e2e-code"), std::string::npos) << line;

    StoredConfig account = account_for("alice@example.test", port("SUBMISSION_PORT"));
    account.auth = AuthMethod::OAuth;
    account.password.clear();
    account.imap_host = "localhost";
    account.imap_port = static_cast<std::uint16_t>(env.imaps_port());
    auto connected = run(Connect(account));
    ASSERT_EQ(connected.size(), 3u) << message_of(connected);
    EXPECT_TRUE(std::holds_alternative<event::Connected>(connected[0]));

    std::string to = env.add_user("to");
    DraftData draft;
    draft.to = to;
    draft.subject = "Signed in";
    draft.body = "Sent by the engine with the stored token.\n";
    auto delivered = run(SendMessage(account, draft));
    ASSERT_EQ(delivered.size(), 2u) << message_of(delivered);
    EXPECT_TRUE(std::holds_alternative<event::Delivered>(delivered[0]));
    EXPECT_EQ(inbox(to, 1).size(), 1u);

    ::unsetenv("VARO_MAIL_GOOGLE_TOKEN_URL");
    ::unsetenv("VARO_MAIL_GOOGLE_CLIENT_ID");
    ::unsetenv("VARO_MAIL_OPEN_COMMAND");
    services::clear_root_override();
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace mail::e2e
