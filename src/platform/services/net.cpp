#include "platform/services/net.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace mail::net {
namespace {

std::string openssl_error() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown TLS error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool is_ip_literal(std::string_view host) {
    std::string text(host);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') text = text.substr(1, text.size() - 2);
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, text.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

}  // namespace

ssl_ctx_st* TlsClientConfig::new_reference() const {
    if (!ctx_) return nullptr;
    SSL_CTX_up_ref(ctx_.get());
    return ctx_.get();
}

Status TlsClientConfig::prepare_connection(ssl_st* ssl, std::string_view host) {
    if (!ssl) return make_error("no TLS connection to prepare");
    std::string name(host);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (is_ip_literal(name)) {
        if (name.front() == '[') name = name.substr(1, name.size() - 2);
        if (X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) != 1) return make_error("bad address " + name);
    } else {
        // Server name indication is for host names only.
        if (SSL_set_tlsext_host_name(ssl, name.c_str()) != 1) return make_error("bad host name " + name);
        if (X509_VERIFY_PARAM_set1_host(param, name.c_str(), name.size()) != 1) return make_error("bad host name " + name);
    }
    SSL_set_verify(ssl, SSL_VERIFY_PEER, nullptr);
    return {};
}

Result<TlsClientConfig> client_config() {
    static std::once_flag once;
    std::call_once(once, [] { OPENSSL_init_ssl(0, nullptr); });
    ERR_clear_error();
    SSL_CTX* raw = SSL_CTX_new(TLS_client_method());
    if (!raw) return make_error("could not create TLS context: " + openssl_error());
    std::shared_ptr<ssl_ctx_st> ctx(raw, SSL_CTX_free);
    if (SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION) != 1) {
        return make_error("could not set TLS version: " + openssl_error());
    }
    SSL_CTX_set_verify(raw, SSL_VERIFY_PEER, nullptr);
    // The system roots; OpenSSL also reads SSL_CERT_FILE and SSL_CERT_DIR here but ignores
    // a bad file silently, so the file is loaded once more below to report it.
    if (SSL_CTX_set_default_verify_paths(raw) != 1) {
        return make_error("could not load the system trust roots: " + openssl_error());
    }
    if (auto file = env("SSL_CERT_FILE")) {
        if (SSL_CTX_load_verify_locations(raw, file->c_str(), nullptr) != 1) {
            return make_error("could not load trust roots from " + *file + ": " + openssl_error());
        }
    }
    return TlsClientConfig(std::move(ctx));
}

namespace http {
namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

Status curl_ready() {
    static CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) return make_error(std::string("could not start curl: ") + curl_easy_strerror(code));
    return {};
}

}  // namespace

// One request: the easy handle and everything its callbacks write into. Named, not anonymous,
// because the worker's queue holds it.
namespace internal {
struct Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string post_body;
    std::string no_proxy;
    HttpResponse response;
    std::size_t max_body = 0;
    bool too_large = false;
    char error[CURL_ERROR_SIZE] = {};
    Sender<Result<HttpResponse>> reply;
    CancelFlag cancel;

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headers) curl_slist_free_all(headers);
    }

    Result<HttpResponse> finish(CURLcode code) {
        if (too_large) return make_error("response larger than " + std::to_string(max_body) + " bytes");
        if (code != CURLE_OK) return make_error(error[0] ? std::string(error) : curl_easy_strerror(code));
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
        return std::move(response);
    }
};
}  // namespace internal

namespace {
using internal::Transfer;

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::size_t n = size * count;
    if (t->response.body.size() + n > t->max_body) {
        t->too_large = true;
        return 0;  // makes curl stop with a write error
    }
    t->response.body.append(data, n);
    return n;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::size_t n = size * count;
    std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        t->response.headers.clear();  // a redirect or 100 Continue: only the final headers count
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        if (!t->response.headers.empty()) {
            std::string& value = t->response.headers.back().value;
            value += ' ';
            value += trim(line);
        }
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        t->response.headers.push_back(Header{std::string(trim(line.substr(0, colon))), std::string(trim(line.substr(colon + 1)))});
    }
    return n;
}

Result<std::unique_ptr<Transfer>> make_transfer(const ClientSettings& settings, std::string_view url,
                                                const std::vector<Header>& headers,
                                                const std::optional<FormFields>& form) {
    MAIL_TRY(curl_ready());
    auto t = std::make_unique<Transfer>();
    t->easy = curl_easy_init();
    if (!t->easy) return make_error("could not create an HTTP request");
    t->max_body = settings.max_body_bytes;
    CURL* e = t->easy;
    std::string url_text(url);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->error);
    if (curl_easy_setopt(e, CURLOPT_URL, url_text.c_str()) != CURLE_OK) return make_error("bad address " + url_text);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(settings.max_redirects));
    curl_easy_setopt(e, CURLOPT_USERAGENT, settings.user_agent.c_str());
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(settings.timeout.count()));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.connect_timeout.count()));
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(settings.max_body_bytes));
    curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    // libcurl does not read these variables itself.
    if (auto file = env("SSL_CERT_FILE")) curl_easy_setopt(e, CURLOPT_CAINFO, file->c_str());
    if (auto dir = env("SSL_CERT_DIR")) curl_easy_setopt(e, CURLOPT_CAPATH, dir->c_str());
    // Proxies from the environment stay in force, but never for this machine itself.
    t->no_proxy = env("no_proxy").value_or(env("NO_PROXY").value_or(""));
    if (!t->no_proxy.empty()) t->no_proxy += ",";
    t->no_proxy += "localhost,127.0.0.1,::1";
    curl_easy_setopt(e, CURLOPT_NOPROXY, t->no_proxy.c_str());
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    for (const Header& header : headers) {
        std::string line = header.name + ": " + header.value;
        curl_slist* next = curl_slist_append(t->headers, line.c_str());
        if (!next) return make_error("could not add a request header");
        t->headers = next;
    }
    if (t->headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    if (form) {
        t->post_body = encode_form(*form);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->post_body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->post_body.c_str());
    }
    return t;
}

}  // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    for (const Header& h : headers) {
        if (equal_ignoring_case(h.name, name)) return h.value;
    }
    return std::nullopt;
}

std::string encode_form(const FormFields& fields) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    auto encode = [](std::string& out, std::string_view text) {
        for (unsigned char c : text) {
            if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
                out.push_back(static_cast<char>(c));
            } else if (c == ' ') {
                out.push_back('+');
            } else {
                out.push_back('%');
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 15]);
            }
        }
    };
    std::string out;
    for (const auto& [name, value] : fields) {
        if (!out.empty()) out.push_back('&');
        encode(out, name);
        out.push_back('=');
        encode(out, value);
    }
    return out;
}

// Blocking client.

Result<HttpResponse> BlockingClient::get(std::string_view url, const std::vector<Header>& headers) const {
    auto t = make_transfer(settings_, url, headers, std::nullopt);
    if (!t) return t.error();
    return (*t)->finish(curl_easy_perform((*t)->easy));
}

Result<HttpResponse> BlockingClient::post_form(std::string_view url, const FormFields& fields,
                                               const std::vector<Header>& headers) const {
    auto t = make_transfer(settings_, url, headers, fields);
    if (!t) return t.error();
    return (*t)->finish(curl_easy_perform((*t)->easy));
}

BlockingClientBuilder& BlockingClientBuilder::user_agent(std::string agent) {
    settings_.user_agent = std::move(agent);
    return *this;
}
BlockingClientBuilder& BlockingClientBuilder::timeout(std::chrono::milliseconds limit) {
    settings_.timeout = limit;
    return *this;
}
BlockingClientBuilder& BlockingClientBuilder::connect_timeout(std::chrono::milliseconds limit) {
    settings_.connect_timeout = limit;
    return *this;
}
BlockingClientBuilder& BlockingClientBuilder::max_body_bytes(std::size_t limit) {
    settings_.max_body_bytes = limit;
    return *this;
}

Result<BlockingClient> BlockingClientBuilder::build() const {
    MAIL_TRY(curl_ready());
    return BlockingClient(settings_);
}

BlockingClientBuilder blocking_client() { return BlockingClientBuilder(); }

// Asynchronous client: one thread drives every transfer through a curl multi handle.

struct Client::Worker {
    ClientSettings settings;
    CURLM* multi = nullptr;
    Sender<std::unique_ptr<internal::Transfer>> submit;
    std::atomic<bool> stopping{false};
    std::thread thread;

    ~Worker() {
        stopping.store(true);
        curl_multi_wakeup(multi);
        if (thread.joinable()) thread.join();
        curl_multi_cleanup(multi);
    }

    void run(Receiver<std::unique_ptr<Transfer>> incoming) {
        pthread_setname_np(pthread_self(), "mail-http");
        std::map<CURL*, std::unique_ptr<Transfer>> active;
        auto drop = [&](auto it) {
            curl_multi_remove_handle(multi, it->first);
            return active.erase(it);
        };
        while (!stopping.load()) {
            for (auto& t : incoming.drain()) {
                if (t->cancel.is_cancelled()) {
                    t->reply.send(make_error("request cancelled"));
                    continue;
                }
                if (curl_multi_add_handle(multi, t->easy) != CURLM_OK) {
                    t->reply.send(make_error("could not start the HTTP request"));
                    continue;
                }
                CURL* easy = t->easy;
                active.emplace(easy, std::move(t));
            }
            int running = 0;
            curl_multi_perform(multi, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE) continue;
                auto it = active.find(message->easy_handle);
                if (it == active.end()) continue;
                CURLcode code = message->data.result;
                std::unique_ptr<Transfer> t = std::move(it->second);
                drop(it);
                t->reply.send(t->finish(code));
            }
            // Cancelled requests end at once; abandoned ones (nobody waits for them) quietly.
            for (auto it = active.begin(); it != active.end();) {
                if (it->second->cancel.is_cancelled()) {
                    it->second->reply.send(make_error("request cancelled"));
                    it = drop(it);
                } else if (!it->second->reply.is_connected()) {
                    it = drop(it);
                } else {
                    ++it;
                }
            }
            // Cancel flags are plain flags, so look again at least every 50 ms.
            curl_multi_poll(multi, nullptr, 0, 50, nullptr);
        }
        for (auto it = active.begin(); it != active.end();) {
            it->second->reply.send(make_error("HTTP client stopped"));
            it = drop(it);
        }
        for (auto& t : incoming.drain()) t->reply.send(make_error("HTTP client stopped"));
    }

    Pending start(Result<std::unique_ptr<Transfer>> transfer, CancelFlag cancel) {
        auto channel = make_channel<Result<HttpResponse>>();
        if (!transfer) {
            channel.sender.send(transfer.error());
            return std::move(channel.receiver);
        }
        std::unique_ptr<Transfer> t = std::move(*transfer);
        t->reply = channel.sender;
        t->cancel = std::move(cancel);
        submit.send(std::move(t));
        curl_multi_wakeup(multi);
        return std::move(channel.receiver);
    }
};

Pending Client::get(std::string url, std::vector<Header> headers, CancelFlag cancel) const {
    return worker_->start(make_transfer(worker_->settings, url, headers, std::nullopt), std::move(cancel));
}

Pending Client::post_form(std::string url, FormFields fields, std::vector<Header> headers, CancelFlag cancel) const {
    return worker_->start(make_transfer(worker_->settings, url, headers, fields), std::move(cancel));
}

ClientBuilder& ClientBuilder::user_agent(std::string agent) {
    settings_.user_agent = std::move(agent);
    return *this;
}
ClientBuilder& ClientBuilder::timeout(std::chrono::milliseconds limit) {
    settings_.timeout = limit;
    return *this;
}
ClientBuilder& ClientBuilder::connect_timeout(std::chrono::milliseconds limit) {
    settings_.connect_timeout = limit;
    return *this;
}
ClientBuilder& ClientBuilder::max_body_bytes(std::size_t limit) {
    settings_.max_body_bytes = limit;
    return *this;
}

Result<Client> ClientBuilder::build() const {
    MAIL_TRY(curl_ready());
    auto worker = std::make_shared<Client::Worker>();
    worker->settings = settings_;
    worker->multi = curl_multi_init();
    if (!worker->multi) return make_error("could not create the HTTP client");
    auto channel = make_channel<std::unique_ptr<Transfer>>();
    worker->submit = std::move(channel.sender);
    try {
        worker->thread = std::thread([w = worker.get(), incoming = std::move(channel.receiver)]() mutable {
            w->run(std::move(incoming));
        });
    } catch (const std::system_error& e) {
        return make_error(std::string("could not start the HTTP client thread: ") + e.what());
    }
    return Client(std::move(worker));
}

ClientBuilder client() { return ClientBuilder(); }

}  // namespace http
}  // namespace mail::net
