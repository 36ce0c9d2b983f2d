#include "engine/smtp_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/send_operation.h"

namespace mail::engine {
namespace {

using namespace std::chrono_literals;

// A plain TCP peer on 127.0.0.1 that runs `script` on each connection and counts them.
class ScriptedPeer {
public:
    using Script = std::function<void(int fd, std::vector<std::string>& seen)>;

    explicit ScriptedPeer(Script script) : script_(std::move(script)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                int c = ::accept(fd_, nullptr, nullptr);
                if (c < 0 || stop_) {
                    if (c >= 0) ::close(c);
                    return;
                }
                ++connections_;
                script_(c, seen_);
                ::close(c);
            }
        });
    }
    ~ScriptedPeer() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::uint16_t port() const { return port_; }
    int connections() const { return connections_; }
    const std::vector<std::string>& seen() const { return seen_; }

    static void say(int fd, std::string_view text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }
    // One CRLF-terminated line, or empty at the end of the stream.
    static std::string line(int fd) {
        std::string out;
        char c;
        while (::recv(fd, &c, 1, 0) == 1) {
            out += c;
            if (out.size() >= 2 && out.ends_with("\r\n")) return out.substr(0, out.size() - 2);
        }
        return out;
    }

private:
    Script script_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::vector<std::string> seen_;
    std::thread thread_;
};

StoredConfig account_at(std::uint16_t port) {
    StoredConfig a;
    a.display_name = "Alice";
    a.email = "alice@example.test";
    a.smtp_host = " 127.0.0.1 ";
    a.smtp_port = port;
    a.password = "alice-pass";
    return a;
}

DraftData draft_to(std::string to) {
    DraftData d;
    d.to = std::move(to);
    d.subject = "Hello";
    d.body = "Hi.\n";
    return d;
}

TEST(SmtpServerSettings, PortAloneDecidesTheTlsMode) {
    struct Case {
        std::uint16_t port;
        bool smtp_tls;
        std::uint16_t expected_port;
        SmtpTls expected;
    };
    for (const Case& c : {Case{0, true, 465, SmtpTls::Implicit}, Case{465, false, 465, SmtpTls::Implicit},
                          Case{587, true, 587, SmtpTls::StartTls}, Case{587, false, 587, SmtpTls::StartTls},
                          Case{25, false, 25, SmtpTls::StartTls}}) {
        StoredConfig a = account_at(c.port);
        a.smtp_tls = c.smtp_tls;
        auto server = smtp_server(a);
        ASSERT_TRUE(server.ok());
        EXPECT_EQ(*server, (SmtpServer{"127.0.0.1", c.expected_port, c.expected})) << c.port;
    }
    StoredConfig blank = account_at(465);
    blank.smtp_host = " \t ";
    EXPECT_EQ(smtp_server(blank).error_text(), "no SMTP host");
}

// Every refusal decided before the dialogue leaves the server untouched.
TEST(SmtpDelivery, LocalRefusalsOpenNoConnection) {
    ScriptedPeer peer([](int fd, std::vector<std::string>&) { ScriptedPeer::say(fd, "554 no\r\n"); });
    struct Case {
        std::string email, to, cc, bcc, expected;
    };
    for (const Case& c : {Case{"alice@example.test", "nobody; , not an address", "", "also-not", "no valid recipients"},
                          Case{"alice@", "bob@example.test", "", "", "invalid From address: "}}) {
        StoredConfig a = account_at(peer.port());
        a.email = c.email;
        DraftData d = draft_to(c.to);
        d.cc = c.cc;
        d.bcc = c.bcc;
        Status sent = deliver(a, PasswordCredentials{"alice", "pw"}, d, "x\r\n");
        ASSERT_FALSE(sent.ok());
        EXPECT_TRUE(sent.error_text().starts_with(c.expected)) << sent.error_text();
    }
    StoredConfig no_host = account_at(peer.port());
    no_host.smtp_host = "";
    EXPECT_EQ(send_message(no_host, draft_to("bob@example.test")).error_text(), "no SMTP host");
    EXPECT_EQ(peer.connections(), 0);
}

// On a port other than 465 a server that does not offer STARTTLS never hears the login.
TEST(SmtpDelivery, ServerWithoutStartTlsFailsBeforeAuthentication) {
    ScriptedPeer peer([](int fd, std::vector<std::string>& seen) {
        ScriptedPeer::say(fd, "220 plain.test ESMTP\r\n");
        for (std::string l = ScriptedPeer::line(fd); !l.empty(); l = ScriptedPeer::line(fd)) {
            seen.push_back(l);
            if (l.starts_with("EHLO")) ScriptedPeer::say(fd, "250-plain.test\r\n250-AUTH LOGIN PLAIN\r\n250 8BITMIME\r\n");
            else if (l == "QUIT") return ScriptedPeer::say(fd, "221 bye\r\n");
            else ScriptedPeer::say(fd, "502 no\r\n");
        }
    });
    Status sent = deliver(account_at(peer.port()), PasswordCredentials{"alice", "secret"}, draft_to("bob@example.test"),
                          "Subject: x\r\n\r\nx\r\n");
    ASSERT_FALSE(sent.ok());
    EXPECT_EQ(sent.error_text(), "TLS/certificate error — the server's certificate wasn't trusted");
    ASSERT_FALSE(peer.seen().empty());
    EXPECT_EQ(peer.seen().front(), "EHLO localhost");
    for (const std::string& l : peer.seen()) {
        EXPECT_FALSE(l.starts_with("AUTH")) << l;
        EXPECT_FALSE(l.starts_with("MAIL")) << l;
        EXPECT_EQ(l.find("secret"), std::string::npos) << l;
    }
}

TEST(SmtpDelivery, SilentServerTimesOutAfterTheStepLimit) {
    std::atomic<bool> done{false};
    ScriptedPeer peer([&](int fd, std::vector<std::string>&) {
        while (!done) std::this_thread::sleep_for(10ms);  // connected, never greets
        (void)fd;
    });
    auto start = std::chrono::steady_clock::now();
    Status sent = deliver(account_at(peer.port()), PasswordCredentials{"alice", "pw"}, draft_to("bob@example.test"),
                          "x\r\n", SmtpOptions{1000ms});
    auto took = std::chrono::steady_clock::now() - start;
    done = true;
    ASSERT_FALSE(sent.ok());
    EXPECT_EQ(sent.error_text(), "connection timed out — the server didn't respond");
    EXPECT_LT(took, 10s);
}

TEST(SmtpDelivery, RefusedPortGivesTheRefusedText) {
    std::uint16_t port;
    {
        ScriptedPeer closed([](int, std::vector<std::string>&) {});
        port = closed.port();
    }
    Status sent = deliver(account_at(port), PasswordCredentials{"alice", "pw"}, draft_to("bob@example.test"), "x\r\n");
    ASSERT_FALSE(sent.ok());
    EXPECT_EQ(sent.error_text(), "connection refused — check the host and port");
}

TEST(SendOperation, FailuresTravelAsFailedSmtpThenNothingElse) {
    StoredConfig a = account_at(465);
    a.password = "";
    auto [tx, rx] = make_channel<EngineEvent>();
    SendMessage request(a, draft_to("bob@example.test"));
    handle_send_message(request, tx);
    auto events = rx.drain();
    ASSERT_EQ(events.size(), 1u);
    const auto* failed = std::get_if<event::Failed>(&events[0]);
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->kind, RequestKind::SendMessage);
    EXPECT_EQ(failed->id, request.id);
    EXPECT_EQ(failed->stage, "smtp");
    EXPECT_EQ(failed->message, "no password set for this account");
}

}  // namespace
}  // namespace mail::engine
