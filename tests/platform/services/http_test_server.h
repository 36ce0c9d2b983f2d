#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests, plain or over TLS with a certificate from a
// test authority made on the spot. Routes:
//   GET  /hello            200 "hello" with header "X-Test: yes"
//   GET  /agent            200, body = the request's User-Agent
//   GET  /echo-header/NAME 200, body = the request's header NAME
//   POST /form             200, body = the request body, header "X-Content-Type" = its type
//   GET  /redirect         302 to /hello
//   GET  /redirect-file    302 to a file:// address
//   GET  /status/N         status N, body "status N"
//   GET  /big              200, 100000 bytes of "x"
//   GET  /slow             never answers (until the server stops)
#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

namespace mail::testing {

// A CA certificate and a server certificate for 127.0.0.1 and localhost, as PEM files.
struct TestCertificates {
    std::filesystem::path dir;
    std::filesystem::path ca_file;
    std::filesystem::path cert_file;
    std::filesystem::path key_file;

    static TestCertificates create(const std::filesystem::path& dir);
};

class HttpTestServer {
public:
    // Plain HTTP, or TLS when certificates are given.
    explicit HttpTestServer(const TestCertificates* tls = nullptr);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    int requests_seen() const { return requests_.load(); }

private:
    void accept_loop();
    void serve(int fd);

    int listen_fd_ = -1;
    int stop_pipe_[2] = {-1, -1};
    int port_ = 0;
    bool tls_ = false;
    ssl_ctx_st* ctx_ = nullptr;
    std::atomic<int> requests_{0};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> connections_;
};

}  // namespace mail::testing
