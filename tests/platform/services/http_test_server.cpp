#include "platform/services/http_test_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <stdexcept>

namespace mail::testing {
namespace {

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

void add_extension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    check(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

X509* make_cert(EVP_PKEY* key, const char* common_name, X509* issuer, EVP_PKEY* issuer_key, bool ca, long serial) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(common_name), -1, -1, 0);
    X509* signer = issuer ? issuer : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(signer));
    add_extension(cert, signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    add_extension(cert, signer, NID_key_usage, ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    add_extension(cert, signer, NID_subject_key_identifier, "hash");
    if (!ca) {
        add_extension(cert, signer, NID_ext_key_usage, "serverAuth");
        add_extension(cert, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    }
    check(X509_sign(cert, issuer_key, EVP_sha256()) > 0, "sign");
    return cert;
}

void write_pem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key) {
    FILE* file = std::fopen(path.c_str(), "w");
    check(file != nullptr, "open");
    if (cert) PEM_write_X509(file, cert);
    if (key) PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(file);
}

std::string reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

TestCertificates TestCertificates::create(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    EVP_PKEY* ca_key = EVP_EC_gen("P-256");
    EVP_PKEY* leaf_key = EVP_EC_gen("P-256");
    check(ca_key && leaf_key, "key");
    X509* ca = make_cert(ca_key, "Mail Test Authority", nullptr, ca_key, true, 1);
    X509* leaf = make_cert(leaf_key, "127.0.0.1", ca, ca_key, false, 2);
    TestCertificates out{dir, dir / "ca.pem", dir / "server.pem", dir / "server-key.pem"};
    write_pem(out.ca_file, ca, nullptr);
    write_pem(out.cert_file, leaf, nullptr);
    write_pem(out.key_file, nullptr, leaf_key);
    X509_free(ca);
    X509_free(leaf);
    EVP_PKEY_free(ca_key);
    EVP_PKEY_free(leaf_key);
    return out;
}

HttpTestServer::HttpTestServer(const TestCertificates* tls) : tls_(tls != nullptr) {
    // A client that drops the connection mid-handshake must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    if (tls) {
        ctx_ = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_file(ctx_, tls->cert_file.c_str(), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(ctx_, tls->key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
            throw std::runtime_error("test server: cannot load its certificate");
        }
    }
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_fd_, 64) != 0) {
        throw std::runtime_error("test server: cannot listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) throw std::runtime_error("test server: pipe");
    acceptor_ = std::thread([this] { accept_loop(); });
}

HttpTestServer::~HttpTestServer() {
    char byte = 1;
    [[maybe_unused]] auto written = ::write(stop_pipe_[1], &byte, 1);
    acceptor_.join();
    for (auto& t : connections_) t.join();
    ::close(listen_fd_);
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
    if (ctx_) SSL_CTX_free(ctx_);
}

std::string HttpTestServer::url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

void HttpTestServer::accept_loop() {
    for (;;) {
        pollfd fds[2] = {{listen_fd_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            std::lock_guard lock(mutex_);
            connections_.emplace_back([this, fd] { serve(fd); });
        }
    }
}

void HttpTestServer::serve(int fd) {
    SSL* ssl = nullptr;
    auto wait_readable = [&]() {
        if (ssl && SSL_pending(ssl) > 0) return true;
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
        ::poll(fds, 2, 10000);
        return fds[0].revents != 0 && fds[1].revents == 0;
    };
    auto receive = [&](char* buffer, int size) -> int {
        if (!wait_readable()) return -1;
        return ssl ? SSL_read(ssl, buffer, size) : static_cast<int>(::read(fd, buffer, static_cast<std::size_t>(size)));
    };
    auto send_all = [&](const std::string& data) {
        if (ssl) SSL_write(ssl, data.data(), static_cast<int>(data.size()));
        else [[maybe_unused]] auto n = ::write(fd, data.data(), data.size());
    };
    if (ctx_) {
        ssl = SSL_new(ctx_);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            SSL_free(ssl);
            ::close(fd);
            return;
        }
    }
    std::string request;
    char buffer[4096];
    std::size_t head_end;
    while ((head_end = request.find("\r\n\r\n")) == std::string::npos) {
        int n = receive(buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    if (head_end != std::string::npos) {
        ++requests_;
        std::string head = request.substr(0, head_end);
        auto header = [&](std::string name) {
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::size_t pos = 0;
            while ((pos = head.find("\r\n", pos)) != std::string::npos) {
                pos += 2;
                std::size_t colon = head.find(':', pos);
                std::size_t end = head.find("\r\n", pos);
                if (colon == std::string::npos || (end != std::string::npos && colon > end)) continue;
                std::string key = head.substr(pos, colon - pos);
                for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (key == name) {
                    std::string value = head.substr(colon + 1, (end == std::string::npos ? head.size() : end) - colon - 1);
                    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
                    return value;
                }
            }
            return std::string();
        };
        std::size_t length = 0;
        if (auto text = header("content-length"); !text.empty()) length = std::stoul(text);
        std::string body = request.substr(head_end + 4);
        while (body.size() < length) {
            int n = receive(buffer, sizeof buffer);
            if (n <= 0) break;
            body.append(buffer, static_cast<std::size_t>(n));
        }
        std::string first_line = head.substr(0, head.find("\r\n"));
        std::string method = first_line.substr(0, first_line.find(' '));
        std::string path = first_line.substr(method.size() + 1);
        path = path.substr(0, path.find(' '));

        int status = 200;
        std::string extra;
        std::string reply_body;
        if (path == "/hello") {
            reply_body = "hello";
            extra = "X-Test: yes\r\n";
        } else if (path == "/agent") {
            reply_body = header("user-agent");
        } else if (path.starts_with("/echo-header/")) {
            reply_body = header(path.substr(13));
        } else if (path == "/form" && method == "POST") {
            reply_body = body;
            extra = "X-Content-Type: " + header("content-type") + "\r\n";
        } else if (path == "/redirect") {
            status = 302;
            extra = "Location: /hello\r\n";
        } else if (path == "/redirect-file") {
            status = 302;
            extra = "Location: file:///etc/hostname\r\n";
        } else if (path.starts_with("/status/")) {
            status = std::stoi(path.substr(8));
            reply_body = "status " + std::to_string(status);
        } else if (path == "/big") {
            reply_body = std::string(100000, 'x');
        } else if (path == "/slow") {
            pollfd stop = {stop_pipe_[0], POLLIN, 0};
            ::poll(&stop, 1, -1);
            status = 0;
        } else {
            status = 404;
        }
        if (status != 0) {
            send_all("HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\nContent-Length: " +
                     std::to_string(reply_body.size()) + "\r\n" + extra + "Connection: close\r\n\r\n" + reply_body);
        }
    }
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    ::close(fd);
}

}  // namespace mail::testing
