#pragma once
// The network layer: the shared TLS client configuration and two HTTP clients (blocking and
// asynchronous). OpenSSL and curl stay inside net.cpp.
//
// Trust: the system's roots, plus the file named by SSL_CERT_FILE (and the directory named by
// SSL_CERT_DIR) when set, so tests can trust a test authority. Peers are verified, TLS 1.2 is the
// lowest version spoken, and HTTP goes only to http:// and https:// addresses, redirects included.
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/channel.h"
#include "platform/base/result.h"

struct ssl_ctx_st;  // OpenSSL's SSL_CTX
struct ssl_st;      // OpenSSL's SSL

namespace mail::net {

// An OpenSSL client context shared by reference count; copies share one context.
class TlsClientConfig {
public:
    // Borrowed: valid while any copy of this configuration lives.
    ssl_ctx_st* native_handle() const { return ctx_.get(); }
    // A new reference for an owner that frees the context itself (such as asio::ssl::context).
    ssl_ctx_st* new_reference() const;

    // Prepares a connection made from this context for `host`: server name indication and
    // verification of the certificate against the host name (or IP address).
    static Status prepare_connection(ssl_st* ssl, std::string_view host);

private:
    friend Result<TlsClientConfig> client_config();
    explicit TlsClientConfig(std::shared_ptr<ssl_ctx_st> ctx) : ctx_(std::move(ctx)) {}
    std::shared_ptr<ssl_ctx_st> ctx_;
};

// Fails when the context cannot be made or SSL_CERT_FILE names a file that cannot be loaded.
Result<TlsClientConfig> client_config();

namespace http {

inline constexpr const char* kUserAgent = "Varo Mail";

struct Header {
    std::string name;
    std::string value;
    friend bool operator==(const Header&, const Header&) = default;
};

struct HttpResponse {
    long status = 0;
    std::vector<Header> headers;  // of the final response after redirects, in received order
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

// application/x-www-form-urlencoded, fields in the given order.
std::string encode_form(const FormFields& fields);

struct ClientSettings {
    std::string user_agent = kUserAgent;
    std::chrono::milliseconds timeout{30000};  // the whole request, redirects included
    std::chrono::milliseconds connect_timeout{10000};
    std::size_t max_body_bytes = 64u << 20;    // a larger body fails the request
    int max_redirects = 5;
};

// Safe to share between threads: each request uses its own connection.
class BlockingClient {
public:
    explicit BlockingClient(ClientSettings settings) : settings_(std::move(settings)) {}

    Result<HttpResponse> get(std::string_view url, const std::vector<Header>& headers = {}) const;
    Result<HttpResponse> post_form(std::string_view url, const FormFields& fields,
                                   const std::vector<Header>& headers = {}) const;

    const ClientSettings& settings() const { return settings_; }

private:
    ClientSettings settings_;
};

class BlockingClientBuilder {
public:
    BlockingClientBuilder& user_agent(std::string agent);
    BlockingClientBuilder& timeout(std::chrono::milliseconds limit);
    BlockingClientBuilder& connect_timeout(std::chrono::milliseconds limit);
    BlockingClientBuilder& max_body_bytes(std::size_t limit);
    Result<BlockingClient> build() const;

private:
    ClientSettings settings_;
};

// User agent "Varo Mail", 30 s per request unless set.
BlockingClientBuilder blocking_client();

// The eventual result of one asynchronous request. Dropping it abandons the request.
using Pending = Receiver<Result<HttpResponse>>;

// Runs requests concurrently on its own background thread ("mail-http"). Each request ends with
// exactly one result: the response, a transport error, "request cancelled" when its cancel flag
// was set, or "HTTP client stopped" when the client goes away first. Moving is cheap; the last
// owner's destruction stops the thread.
class Client {
public:
    Pending get(std::string url, std::vector<Header> headers = {}, CancelFlag cancel = {}) const;
    Pending post_form(std::string url, FormFields fields, std::vector<Header> headers = {},
                      CancelFlag cancel = {}) const;

    struct Worker;

private:
    friend class ClientBuilder;
    explicit Client(std::shared_ptr<Worker> worker) : worker_(std::move(worker)) {}
    std::shared_ptr<Worker> worker_;
};

class ClientBuilder {
public:
    ClientBuilder& user_agent(std::string agent);
    ClientBuilder& timeout(std::chrono::milliseconds limit);
    ClientBuilder& connect_timeout(std::chrono::milliseconds limit);
    ClientBuilder& max_body_bytes(std::size_t limit);
    // Fails when curl or the background thread cannot be started.
    Result<Client> build() const;

private:
    ClientSettings settings_;
};

// User agent "Varo Mail", 30 s per request unless set.
ClientBuilder client();

}  // namespace http
}  // namespace mail::net
