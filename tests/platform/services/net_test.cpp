#include "platform/services/net.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/services/http_test_server.h"
#include "platform/services/temp_dir.h"

namespace mail::net {
namespace {

using namespace std::chrono_literals;
using mail::testing::HttpTestServer;
using mail::testing::TestCertificates;
using services::testing::TempDir;

// Sets SSL_CERT_FILE for one scope.
class CertFileEnv {
public:
    explicit CertFileEnv(const std::optional<std::filesystem::path>& file) {
        if (const char* old = std::getenv("SSL_CERT_FILE")) saved_ = old;
        if (file) ::setenv("SSL_CERT_FILE", file->c_str(), 1);
        else ::unsetenv("SSL_CERT_FILE");
    }
    ~CertFileEnv() {
        if (saved_) ::setenv("SSL_CERT_FILE", saved_->c_str(), 1);
        else ::unsetenv("SSL_CERT_FILE");
    }

private:
    std::optional<std::string> saved_;
};

http::BlockingClient blocking(std::chrono::milliseconds timeout = 5s) {
    auto client = http::blocking_client().timeout(timeout).build();
    EXPECT_TRUE(client.ok());
    return std::move(client).value();
}

Result<http::HttpResponse> wait(http::Pending& pending, std::chrono::milliseconds limit = 10s) {
    auto result = pending.recv_for(limit);
    if (!result) return make_error("no result in time");
    return std::move(*result);
}

TEST(BlockingHttp, GetsBodyStatusAndHeadersWithTheUserAgent) {
    HttpTestServer server;
    auto client = blocking();
    auto hello = client.get(server.url("/hello"));
    ASSERT_TRUE(hello.ok()) << hello.error_text();
    EXPECT_EQ(hello->status, 200);
    EXPECT_EQ(hello->body, "hello");
    EXPECT_EQ(hello->header("x-TEST"), "yes");
    EXPECT_EQ(hello->header("missing"), std::nullopt);

    EXPECT_EQ(client.get(server.url("/agent"))->body, "Varo Mail");
    auto custom = http::blocking_client().user_agent("Other").build();
    EXPECT_EQ(custom->get(server.url("/agent"))->body, "Other");
    EXPECT_EQ(client.get(server.url("/echo-header/accept"), {{"accept", "application/dns-json"}})->body,
              "application/dns-json");

    auto missing = client.get(server.url("/status/404"));
    ASSERT_TRUE(missing.ok()) << "an HTTP error status is a response, not a failure";
    EXPECT_EQ(missing->status, 404);
    EXPECT_EQ(missing->body, "status 404");
}

TEST(BlockingHttp, PostsFormFieldsInOrderEncoded) {
    HttpTestServer server;
    http::FormFields fields = {{"grant_type", "authorization_code"},
                               {"redirect_uri", "http://127.0.0.1:4711/"},
                               {"code", "a b&c=d+é"}};
    auto response = blocking().post_form(server.url("/form"), fields);
    ASSERT_TRUE(response.ok()) << response.error_text();
    EXPECT_EQ(response->body,
              "grant_type=authorization_code&redirect_uri=http%3A%2F%2F127.0.0.1%3A4711%2F&code=a+b%26c%3Dd%2B%C3%A9");
    EXPECT_EQ(response->header("X-Content-Type"), "application/x-www-form-urlencoded");
}

TEST(BlockingHttp, FollowsHttpRedirectsOnly) {
    HttpTestServer server;
    auto client = blocking();
    auto redirected = client.get(server.url("/redirect"));
    ASSERT_TRUE(redirected.ok()) << redirected.error_text();
    EXPECT_EQ(redirected->status, 200);
    EXPECT_EQ(redirected->body, "hello");
    EXPECT_EQ(redirected->header("location"), std::nullopt) << "headers are the final response's";

    EXPECT_FALSE(client.get(server.url("/redirect-file")).ok());
    EXPECT_FALSE(client.get("file:///etc/hostname").ok());
}

TEST(BlockingHttp, FailuresAreErrors) {
    HttpTestServer server;
    auto start = std::chrono::steady_clock::now();
    auto slow = blocking(300ms).get(server.url("/slow"));
    auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(slow.ok());
    EXPECT_NE(slow.error_text().find("timed out"), std::string::npos) << slow.error_text();
    EXPECT_LT(elapsed, 3s);

    auto big = http::blocking_client().max_body_bytes(1000).build()->get(server.url("/big"));
    EXPECT_FALSE(big.ok());
    EXPECT_EQ(blocking().get(server.url("/big"))->body.size(), 100000u);

    // A port nobody listens on: take one from the kernel and close it again.
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    auto refused = blocking().get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/");
    ASSERT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error_text().empty());
}

TEST(AsyncHttp, DeliversResultsOfConcurrentRequests) {
    HttpTestServer server;
    auto client = http::client().build();
    ASSERT_TRUE(client.ok()) << client.error_text();
    std::vector<http::Pending> pending;
    for (int i = 0; i < 12; ++i) pending.push_back(client->get(server.url(i % 2 ? "/hello" : "/agent")));
    pending.push_back(client->post_form(server.url("/form"), {{"a", "1"}, {"b", "2"}}));
    for (std::size_t i = 0; i < pending.size(); ++i) {
        auto result = wait(pending[i]);
        ASSERT_TRUE(result.ok()) << i << ": " << result.error_text();
        EXPECT_EQ(result->status, 200);
        const char* expected = i == 12 ? "a=1&b=2" : (i % 2 ? "hello" : "Varo Mail");
        EXPECT_EQ(result->body, expected);
        EXPECT_FALSE(pending[i].recv_for(2s).has_value()) << "exactly one result per request";
    }
}

TEST(AsyncHttp, TimeOutCancelAndShutdownEndRequests) {
    HttpTestServer server;
    auto client = http::client().timeout(300ms).build();
    ASSERT_TRUE(client.ok());

    auto start = std::chrono::steady_clock::now();
    auto timed = client->get(server.url("/slow"));
    auto timed_result = wait(timed);
    ASSERT_FALSE(timed_result.ok());
    EXPECT_NE(timed_result.error_text().find("timed out"), std::string::npos) << timed_result.error_text();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    auto patient = http::client().timeout(60s).build();
    CancelFlag cancel;
    auto cancelled = patient->get(server.url("/slow"), {}, cancel);
    std::this_thread::sleep_for(100ms);
    start = std::chrono::steady_clock::now();
    cancel.cancel();
    auto cancelled_result = wait(cancelled);
    ASSERT_FALSE(cancelled_result.ok());
    EXPECT_EQ(cancelled_result.error_text(), "request cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);

    CancelFlag already;
    already.cancel();
    auto never = patient->get(server.url("/hello"), {}, already);
    EXPECT_EQ(wait(never).error_text(), "request cancelled");

    auto orphaned = patient->get(server.url("/slow"));
    std::this_thread::sleep_for(100ms);
    { auto gone = std::move(*patient); }  // the client's last owner
    auto orphaned_result = wait(orphaned);
    ASSERT_FALSE(orphaned_result.ok());
    EXPECT_EQ(orphaned_result.error_text(), "HTTP client stopped");
}

TEST(AsyncHttp, BadAddressIsAnErrorResult) {
    auto client = http::client().build();
    auto pending = client->get("gopher://127.0.0.1/");
    auto result = wait(pending);
    EXPECT_FALSE(result.ok());
}

class Tls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        certs_ = new TestCertificates(TestCertificates::create(dir_->path() / "certs"));
    }
    static void TearDownTestSuite() {
        delete certs_;
        delete dir_;
    }
    static TempDir* dir_;
    static TestCertificates* certs_;
};
TempDir* Tls::dir_ = nullptr;
TestCertificates* Tls::certs_ = nullptr;

TEST_F(Tls, HttpClientsTrustTheAuthorityNamedBySslCertFile) {
    HttpTestServer server(certs_);
    {
        CertFileEnv env(std::nullopt);
        auto untrusted = blocking().get(server.url("/hello"));
        EXPECT_FALSE(untrusted.ok()) << "a test authority is not a system root";
        auto client = http::client().build();
        auto pending = client->get(server.url("/hello"));
        EXPECT_FALSE(wait(pending).ok());
    }
    CertFileEnv env(certs_->ca_file);
    auto trusted = blocking().get(server.url("/hello"));
    ASSERT_TRUE(trusted.ok()) << trusted.error_text();
    EXPECT_EQ(trusted->body, "hello");
    auto client = http::client().build();
    auto pending = client->get(server.url("/agent"));
    auto result = wait(pending);
    ASSERT_TRUE(result.ok()) << result.error_text();
    EXPECT_EQ(result->body, "Varo Mail");
}

// One TLS handshake with the configuration against the test server.
Status handshake(const TlsClientConfig& config, int port, const std::string& host) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return make_error("connect");
    }
    SSL* ssl = SSL_new(config.native_handle());
    Status prepared = TlsClientConfig::prepare_connection(ssl, host);
    SSL_set_fd(ssl, fd);
    bool ok = prepared.ok() && SSL_connect(ssl) == 1 && SSL_get_verify_result(ssl) == X509_V_OK;
    bool modern = SSL_version(ssl) >= TLS1_2_VERSION;
    SSL_free(ssl);
    ::close(fd);
    if (!ok) return make_error("handshake failed");
    if (!modern) return make_error("old protocol");
    return {};
}

TEST_F(Tls, ClientConfigVerifiesPeerAndHostName) {
    HttpTestServer server(certs_);
    {
        CertFileEnv env(std::nullopt);
        auto config = client_config();
        ASSERT_TRUE(config.ok()) << config.error_text();
        EXPECT_FALSE(handshake(*config, server.port(), "127.0.0.1").ok()) << "unknown authority must be refused";
    }
    CertFileEnv env(certs_->ca_file);
    auto config = client_config();
    ASSERT_TRUE(config.ok()) << config.error_text();
    EXPECT_TRUE(handshake(*config, server.port(), "127.0.0.1").ok());
    EXPECT_TRUE(handshake(*config, server.port(), "localhost").ok());
    EXPECT_FALSE(handshake(*config, server.port(), "mail.example.org").ok()) << "wrong host name must be refused";

    // Copies share one context, and a new reference outlives every copy.
    ssl_ctx_st* reference = nullptr;
    {
        TlsClientConfig copy = *config;
        EXPECT_EQ(copy.native_handle(), config->native_handle());
        reference = copy.new_reference();
    }
    config = make_error("dropped");
    SSL_CTX_free(reference);
}

TEST_F(Tls, UnreadableSslCertFileIsAnError) {
    CertFileEnv env(dir_->path() / "no-such.pem");
    auto config = client_config();
    ASSERT_FALSE(config.ok());
    EXPECT_NE(config.error_text().find("no-such.pem"), std::string::npos) << config.error_text();
}

}  // namespace
}  // namespace mail::net
