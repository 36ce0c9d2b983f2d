#include "engine/oauth_signin.h"
#include "platform/base/base64.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/sha.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mail::engine {
namespace {

using namespace std::chrono_literals;
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string percent_decode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') out += ' ';
        else if (s[i] == '%' && i + 2 < s.size()) out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16)), i += 2;
        else out += s[i];
    }
    return out;
}

Pairs form_pairs(std::string_view form) {
    Pairs pairs;
    while (!form.empty()) {
        std::string_view pair = form.substr(0, form.find('&'));
        form = pair.size() < form.size() ? form.substr(pair.size() + 1) : std::string_view{};
        auto eq = pair.find('=');
        pairs.emplace_back(percent_decode(pair.substr(0, eq)), percent_decode(pair.substr(eq + 1)));
    }
    return pairs;
}

std::string value_of(const Pairs& pairs, const std::string& key) {
    for (const auto& [k, v] : pairs)
        if (k == key) return v;
    return "";
}

std::vector<std::string> keys_of(const Pairs& pairs) {
    std::vector<std::string> keys;
    for (const auto& p : pairs) keys.push_back(p.first);
    return keys;
}

int listen_loopback(std::uint16_t& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A token endpoint: records each POSTed form and answers with `reply`.
class TokenEndpoint {
public:
    explicit TokenEndpoint(std::string reply) : reply_(std::move(reply)) {
        fd_ = listen_loopback(port_);
        thread_ = std::thread([this] {
            for (int c; (c = ::accept(fd_, nullptr, nullptr)) >= 0;) {
                std::string request;
                char buf[4096];
                for (ssize_t n; (n = ::recv(c, buf, sizeof buf, 0)) > 0;) {
                    request.append(buf, static_cast<std::size_t>(n));
                    auto end = request.find("\r\n\r\n");
                    auto cl = request.find("Content-Length: ");
                    if (end != std::string::npos && cl != std::string::npos &&
                        request.size() >= end + 4 + std::stoul(request.substr(cl + 16)))
                        break;
                }
                {
                    std::lock_guard lock(mutex_);
                    forms_.push_back(request.substr(request.find("\r\n\r\n") + 4));
                }
                std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                                     std::to_string(reply_.size()) + "\r\nConnection: close\r\n\r\n" + reply_;
                ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
                ::close(c);
            }
        });
        url_ = "http://127.0.0.1:" + std::to_string(port_) + "/token";
        ::setenv("VARO_MAIL_GOOGLE_TOKEN_URL", url_.c_str(), 1);
        ::setenv("VARO_MAIL_MICROSOFT_TOKEN_URL", url_.c_str(), 1);
    }
    ~TokenEndpoint() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
        ::unsetenv("VARO_MAIL_GOOGLE_TOKEN_URL");
        ::unsetenv("VARO_MAIL_MICROSOFT_TOKEN_URL");
    }
    std::vector<std::string> forms() {
        std::lock_guard lock(mutex_);
        return forms_;
    }

private:
    std::string reply_, url_;
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::vector<std::string> forms_;
    std::thread thread_;
};

// What a browser gets for GET `target` on the loopback port.
std::string browse(std::uint16_t port, const std::string& target, const char* host = "127.0.0.1") {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, host, &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return "(no connection)";
    }
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string response;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) response.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return response;
}

// A sign-in running on its own thread, with the URL it opened handed to the test.
struct SignIn {
    explicit SignIn(OAuthProvider provider, std::chrono::milliseconds limit = 20s) {
        SignInOptions options;
        options.limit = limit;
        options.open_browser = [this](std::string_view url) {
            opened.set_value(std::string(url));
            return Status{};
        };
        result = std::async(std::launch::async, [provider, options] {
            return browser_sign_in(provider, "client-123", "user@gmail.com", options);
        });
        url = opened.get_future().get();
        query = form_pairs(url.substr(url.find('?') + 1));
        std::string redirect = value_of(query, "redirect_uri");
        port = static_cast<std::uint16_t>(std::stoi(redirect.substr(redirect.rfind(':') + 1)));
    }
    std::promise<std::string> opened;
    std::future<Result<OAuthTokens>> result;
    std::string url;
    Pairs query;
    std::uint16_t port = 0;
};

std::string page_of(const std::string& text) { return sign_in_response(text); }

std::string sha256_base64url(const std::string& text) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    return base64::encode_url(std::string(reinterpret_cast<char*>(digest), sizeof digest));
}

TEST(OAuthSignIn, Base64UrlAndFreshPkceAndState) {
    for (auto [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"f", "Zg"}, {"fo", "Zm8"}, {"foo", "Zm9v"}, {"\xfb\xff", "-_8"}, {"\xff\xfe\xfd", "__79"}})
        EXPECT_EQ(base64::encode_url(in), out);
    Pkce a = make_pkce(), b = make_pkce();
    EXPECT_EQ(a.verifier.size(), 43u);
    EXPECT_EQ(a.challenge.size(), 43u);
    EXPECT_EQ(a.challenge, sha256_base64url(a.verifier));
    EXPECT_NE(a.verifier, b.verifier);
    std::string s1 = make_state(), s2 = make_state();
    EXPECT_EQ(s1.size(), 22u);
    EXPECT_NE(s1, s2);
}

TEST(OAuthSignIn, AuthorizationUrlParametersInOrder) {
    std::string g = authorization_url(OAuthProvider::Google, "cid", "http://127.0.0.1:5/oauth", "chal", "st", "a@gmail.com");
    EXPECT_TRUE(g.starts_with("https://accounts.google.com/o/oauth2/v2/auth?client_id=cid&response_type=code&"
                              "redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2Foauth&"))
        << g;
    Pairs gp = form_pairs(g.substr(g.find('?') + 1));
    EXPECT_EQ(keys_of(gp), (std::vector<std::string>{"client_id", "response_type", "redirect_uri", "scope",
                                                     "code_challenge", "code_challenge_method", "state", "access_type",
                                                     "prompt", "login_hint"}));
    EXPECT_EQ(value_of(gp, "code_challenge_method"), "S256");
    EXPECT_EQ(value_of(gp, "access_type"), "offline");
    EXPECT_EQ(value_of(gp, "prompt"), "consent");
    EXPECT_EQ(value_of(gp, "login_hint"), "a@gmail.com");

    std::string m = authorization_url(OAuthProvider::Microsoft, "cid", "http://127.0.0.1:5/oauth", "chal", "st", "");
    EXPECT_TRUE(m.starts_with("https://login.microsoftonline.com/common/oauth2/v2.0/authorize?")) << m;
    Pairs mp = form_pairs(m.substr(m.find('?') + 1));
    EXPECT_EQ(keys_of(mp), (std::vector<std::string>{"client_id", "response_type", "redirect_uri", "scope",
                                                     "code_challenge", "code_challenge_method", "state"}));
    EXPECT_EQ(value_of(mp, "scope"), provider_config(OAuthProvider::Microsoft).scope);
    EXPECT_TRUE(value_of(mp, "scope").starts_with("offline_access "));
}

TEST(OAuthSignIn, IconFirstThenTheRedirectExchangesTheCode) {
    TokenEndpoint endpoint(R"({"access_token":"at-1","refresh_token":"rt-1","expires_in":3599,"token_type":"Bearer"})");
    SignIn signin(OAuthProvider::Google);
    EXPECT_EQ(browse(signin.port, "/favicon.ico"), page_of("Waiting for sign-in…"));
    EXPECT_EQ(page_of("Waiting for sign-in…"),
              "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 181\r\nConnection: "
              "close\r\n\r\n<!doctype html><html><head><meta charset=utf-8><title>Varo Mail</title></head><body "
              "style=\"font-family:system-ui;padding:3rem;text-align:center\">Waiting for sign-in…</body></html>");

    std::string state = value_of(signin.query, "state");
    EXPECT_EQ(browse(signin.port, "/oauth?state=" + state + "&code=the%2Fcode&scope=x"),
              page_of("Signed in. You can close this tab and return to Mail."));
    auto tokens = signin.result.get();
    ASSERT_TRUE(tokens.ok()) << tokens.error_text();
    EXPECT_EQ(tokens->access_token, "at-1");
    EXPECT_EQ(tokens->refresh_token, "rt-1");
    EXPECT_EQ(tokens->expires_in, 3599u);
    EXPECT_NEAR(static_cast<double>(tokens->obtained_at), static_cast<double>(now_seconds()), 5);

    auto forms = endpoint.forms();
    ASSERT_EQ(forms.size(), 1u);
    Pairs sent = form_pairs(forms[0]);
    EXPECT_EQ(keys_of(sent), (std::vector<std::string>{"grant_type", "client_id", "redirect_uri", "code", "code_verifier"}));
    EXPECT_EQ(value_of(sent, "grant_type"), "authorization_code");
    EXPECT_EQ(value_of(sent, "client_id"), "client-123");
    EXPECT_EQ(value_of(sent, "code"), "the/code");
    EXPECT_EQ(value_of(sent, "redirect_uri"), "http://127.0.0.1:" + std::to_string(signin.port) + "/oauth");
    // The verifier the endpoint got is the one the challenge in the browser's URL was made from.
    EXPECT_EQ(sha256_base64url(value_of(sent, "code_verifier")), value_of(signin.query, "code_challenge"));
}

TEST(OAuthSignIn, RedirectRefusals) {
    TokenEndpoint endpoint(R"({"access_token":"never"})");
    struct Case {
        std::string query;  // STATE stands for the right state
        std::string page, error;
    };
    for (const Case& c : std::vector<Case>{
             {"code=c&state=forged", "Sign-in state mismatch. Please try again from Mail.",
              "authorization state mismatch (possible CSRF)"},
             {"code=c", "Sign-in state mismatch. Please try again from Mail.", "authorization state mismatch (possible CSRF)"},
             {"code=c&state=STATE&error=access_denied", "Sign-in failed. You can close this tab.",
              "authorization denied: access_denied"},
             {"error=x%0D%0AInjected&state=STATE", "Sign-in failed. You can close this tab.",
              "authorization denied: x  Injected"},
         }) {
        SignIn signin(OAuthProvider::Microsoft);
        std::string query = c.query;
        if (auto at = query.find("STATE"); at != std::string::npos) query.replace(at, 5, value_of(signin.query, "state"));
        EXPECT_EQ(browse(signin.port, "/oauth?" + query), page_of(c.page)) << c.query;
        auto result = signin.result.get();
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error_text(), c.error);
    }
    EXPECT_TRUE(endpoint.forms().empty());
}

TEST(OAuthSignIn, TokenEndpointErrorBodyFailsTheExchange) {
    TokenEndpoint endpoint(R"({"error":"invalid_grant"})");
    SignIn signin(OAuthProvider::Google);
    browse(signin.port, "/oauth?code=c&state=" + value_of(signin.query, "state"));
    auto result = signin.result.get();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error_text(), R"(token endpoint rejected exchange: {"error":"invalid_grant"})");
}

TEST(OAuthSignIn, TimeLimitEndsTheWait) {
    auto start = std::chrono::steady_clock::now();
    SignIn signin(OAuthProvider::Google, 300ms);
    auto result = signin.result.get();
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error_text(), "timed out waiting for the sign-in redirect");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

TEST(OAuthSignIn, ListenerIsReachableOnlyOnLoopback) {
    std::string other;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
            auto* in = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
            if ((ntohl(in->sin_addr.s_addr) >> 24) == 127) continue;
            char text[INET_ADDRSTRLEN];
            other = ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            break;
        }
        ::freeifaddrs(list);
    }
    if (other.empty()) GTEST_SKIP() << "this machine has no non-loopback IPv4 address";
    SignIn signin(OAuthProvider::Google, 2s);
    EXPECT_EQ(browse(signin.port, "/oauth?code=c&state=" + value_of(signin.query, "state"), other.c_str()),
              "(no connection)");
    EXPECT_EQ(signin.result.get().error_text(), "timed out waiting for the sign-in redirect");
}

class OAuthSignInRequest : public ::testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() / ("oauth-signin-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        sources.open_vault = [this] { return services::SecretVault::open_in(root); };
    }
    void TearDown() override {
        ::unsetenv("VARO_MAIL_GOOGLE_CLIENT_ID");
        ::unsetenv("VARO_MAIL_OPEN_COMMAND");
        std::filesystem::remove_all(root);
    }
    std::vector<EngineEvent> run(const OAuthSignIn& request) {
        auto [tx, rx] = make_channel<EngineEvent>();
        handle_oauth_sign_in(request, tx, sources);
        return rx.drain();
    }
    std::filesystem::path root;
    SignInSources sources;
};

TEST_F(OAuthSignInRequest, WithoutClientIdNamesTheVariable) {
    ::unsetenv("VARO_MAIL_GOOGLE_CLIENT_ID");
    OAuthSignIn request("user@gmail.com", "user@gmail.com", mail::OAuthProvider::Google);
    auto events = run(request);
    ASSERT_EQ(events.size(), 1u);
    const auto& failed = std::get<event::Failed>(events[0]);
    EXPECT_EQ(failed.stage, "oauth");
    EXPECT_EQ(failed.kind, RequestKind::OAuthSignIn);
    EXPECT_EQ(failed.message, "set VARO_MAIL_GOOGLE_CLIENT_ID to sign in");
}

// The system browser path: the open command records the URL, the test plays the browser.
TEST_F(OAuthSignInRequest, SignedInAfterTheTokensAreInTheVault) {
    TokenEndpoint endpoint(R"({"access_token":"at-2","expires_in":60})");
    ::setenv("VARO_MAIL_GOOGLE_CLIENT_ID", "cid-env", 1);
    auto script = root / "open.sh";
    auto opened = root / "opened-url";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s' \"$1\" > " << opened.string() << ".tmp && mv " << opened.string()
                          << ".tmp " << opened.string() << "\n";
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    ::setenv("VARO_MAIL_OPEN_COMMAND", script.c_str(), 1);
    sources.browser.limit = 20s;

    std::thread browser([&] {
        for (int i = 0; i < 200 && !std::filesystem::exists(opened); ++i) std::this_thread::sleep_for(25ms);
        std::ifstream in(opened);
        std::string url((std::istreambuf_iterator<char>(in)), {});
        Pairs query = form_pairs(url.substr(url.find('?') + 1));
        std::string redirect = value_of(query, "redirect_uri");
        auto port = static_cast<std::uint16_t>(std::stoi(redirect.substr(redirect.rfind(':') + 1)));
        EXPECT_EQ(value_of(query, "client_id"), "cid-env");
        EXPECT_EQ(value_of(query, "login_hint"), "hint@gmail.com");
        browse(port, "/oauth?code=c&state=" + value_of(query, "state"));
    });
    OAuthSignIn request("Key@Gmail.com", "hint@gmail.com", mail::OAuthProvider::Google);
    auto events = run(request);
    browser.join();

    ASSERT_EQ(events.size(), 1u);
    const auto* signed_in = std::get_if<event::SignedIn>(&events[0]);
    ASSERT_NE(signed_in, nullptr) << std::get<event::Failed>(events[0]).message;
    EXPECT_EQ(signed_in->account_key, "Key@Gmail.com");
    EXPECT_EQ(signed_in->id, request.id);
    auto vault = services::SecretVault::open_in(root);
    ASSERT_TRUE(vault.ok());
    auto secret = vault->get("Key@Gmail.com");
    ASSERT_TRUE(secret.has_value());
    EXPECT_EQ(secret->password, "");
    auto tokens = tokens_from_json(secret->token.value_or(""));
    ASSERT_TRUE(tokens.has_value());
    EXPECT_EQ(tokens->access_token, "at-2");
    EXPECT_EQ(tokens->refresh_token, "");
    EXPECT_EQ(tokens->expires_in, 60u);
}

TEST_F(OAuthSignInRequest, FailedSignInLeavesTheVaultAlone) {
    ::setenv("VARO_MAIL_GOOGLE_CLIENT_ID", "cid-env", 1);
    {
        auto vault = services::SecretVault::open_in(root);
        ASSERT_TRUE(vault.ok());
        vault->put("user@gmail.com", services::Secret{"", std::string("{\"old\":1}")});
        ASSERT_TRUE(vault->try_save().ok());
    }
    sources.browser.limit = 200ms;
    sources.browser.open_browser = [](std::string_view) { return Status{}; };
    auto events = run(OAuthSignIn("user@gmail.com", "user@gmail.com", mail::OAuthProvider::Google));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(std::get<event::Failed>(events[0]).message, "timed out waiting for the sign-in redirect");
    sources.browser.open_browser = [](std::string_view) { return Status(make_error("no browser")); };
    events = run(OAuthSignIn("user@gmail.com", "user@gmail.com", mail::OAuthProvider::Google));
    EXPECT_EQ(std::get<event::Failed>(events.at(0)).message, "could not open sign-in browser: no browser");
    auto vault = services::SecretVault::open_in(root);
    ASSERT_TRUE(vault.ok());
    EXPECT_EQ(vault->get("user@gmail.com")->token, std::string("{\"old\":1}"));
}

}  // namespace
}  // namespace mail::engine
