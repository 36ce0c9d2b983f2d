#include "engine/oauth_signin.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

#include "platform/base/base64.h"
#include "platform/base/uuid.h"
#include "platform/services/net.h"
#include "platform/util/link.h"
#include "platform/util/uri.h"

namespace mail::engine {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string errno_text() { return std::strerror(errno); }

// Invalid sequences become U+FFFD, so what the browser sent is always text.
std::string utf8_lossy(std::string_view in) {
    std::string out;
    std::size_t i = 0;
    while (i < in.size()) {
        auto c = static_cast<unsigned char>(in[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool good = len > 0 && i + len <= in.size();
        std::uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1f : len == 3 ? c & 0x0f : c & 0x07;
        for (std::size_t k = 1; good && k < len; ++k) {
            auto cc = static_cast<unsigned char>(in[i + k]);
            if ((cc & 0xc0) != 0x80) good = false;
            cp = (cp << 6) | (cc & 0x3f);
        }
        if (good && len > 1) {
            static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            good = cp >= kMin[len] && cp <= 0x10ffff && !(cp >= 0xd800 && cp <= 0xdfff);
        }
        if (good) {
            out.append(in.substr(i, len));
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

// The query's pairs; a later duplicate replaces an earlier one.
std::map<std::string, std::string> redirect_parameters(std::string_view request) {
    std::map<std::string, std::string> params;
    std::string_view line = request.substr(0, request.find_first_of("\r\n"));
    std::size_t first_space = line.find(' ');
    if (first_space == std::string_view::npos) return params;
    std::string_view target = line.substr(first_space + 1);
    target = target.substr(0, target.find(' '));
    std::size_t q = target.find('?');
    if (q == std::string_view::npos) return params;
    for (auto& [key, value] : uri::parse_form_query(target.substr(q + 1))) params[key] = std::move(value);
    return params;
}

// A value from the browser goes into a one-line failure message.
std::string one_line(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

void answer(int fd, std::string_view text) {
    std::string response = sign_in_response(text);
    std::size_t sent = 0;
    while (sent < response.size()) {
        ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
}

bool is_loopback(const sockaddr_in& peer) { return (ntohl(peer.sin_addr.s_addr) >> 24) == 127; }

Result<std::string> wait_for_code(int listener, const std::string& expected_state, Clock::time_point deadline) {
    for (;;) {
        if (Clock::now() >= deadline) return make_error("timed out waiting for the sign-in redirect");
        sockaddr_in peer{};
        socklen_t peer_len = sizeof peer;
        Fd conn(::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &peer_len, SOCK_CLOEXEC));
        if (conn.get() < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                continue;
            }
            return make_error(errno_text());
        }
        // The listener is bound to loopback; anything else is not our browser.
        if (peer.sin_family != AF_INET || !is_loopback(peer)) continue;
        int flags = ::fcntl(conn.get(), F_GETFL);
        if (flags >= 0) ::fcntl(conn.get(), F_SETFL, flags & ~O_NONBLOCK);
        timeval two_seconds{2, 0};
        ::setsockopt(conn.get(), SOL_SOCKET, SO_RCVTIMEO, &two_seconds, sizeof two_seconds);
        char buffer[4096];
        ssize_t n = ::recv(conn.get(), buffer, sizeof buffer, 0);
        std::string request = utf8_lossy(std::string_view(buffer, n > 0 ? static_cast<std::size_t>(n) : 0));

        auto params = redirect_parameters(request);
        if (auto error = params.find("error"); error != params.end()) {
            answer(conn.get(), "Sign-in failed. You can close this tab.");
            return make_error("authorization denied: " + one_line(error->second));
        }
        if (auto code = params.find("code"); code != params.end()) {
            auto state = params.find("state");
            if ((state == params.end() ? std::string() : state->second) == expected_state) {
                answer(conn.get(), "Signed in. You can close this tab and return to Mail.");
                return code->second;
            }
            answer(conn.get(), "Sign-in state mismatch. Please try again from Mail.");
            return make_error("authorization state mismatch (possible CSRF)");
        }
        answer(conn.get(), "Waiting for sign-in…");
    }
}

std::string random_bytes(std::size_t uuids) {
    std::string out;
    for (std::size_t i = 0; i < uuids; ++i) {
        Uuid id = Uuid::random_v4();
        out.append(reinterpret_cast<const char*>(id.bytes.data()), id.bytes.size());
    }
    return out;
}

std::string sha256(std::string_view text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(text.data(), text.size(), digest, &len, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), len);
}

}  // namespace


Pkce make_pkce() {
    Pkce pkce;
    pkce.verifier = base64::encode_url(random_bytes(2));
    pkce.challenge = base64::encode_url(sha256(pkce.verifier));
    return pkce;
}

std::string make_state() { return base64::encode_url(random_bytes(1)); }

std::string authorization_url(OAuthProvider provider, const std::string& client_id, const std::string& redirect_uri,
                              const std::string& challenge, const std::string& state, const std::string& login_hint) {
    ProviderConfig config = provider_config(provider);
    net::http::FormFields fields{{"client_id", client_id},
                                 {"response_type", "code"},
                                 {"redirect_uri", redirect_uri},
                                 {"scope", config.scope},
                                 {"code_challenge", challenge},
                                 {"code_challenge_method", "S256"},
                                 {"state", state}};
    if (provider == OAuthProvider::Google) {
        fields.emplace_back("access_type", "offline");
        fields.emplace_back("prompt", "consent");
    }
    if (!login_hint.empty()) fields.emplace_back("login_hint", login_hint);
    return config.authorization_url + "?" + net::http::encode_form(fields);
}

std::string sign_in_response(std::string_view text) {
    std::string page =
        "<!doctype html><html><head><meta charset=utf-8><title>Varo Mail</title></head><body "
        "style=\"font-family:system-ui;padding:3rem;text-align:center\">";
    page += text;
    page += "</body></html>";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page;
}

Result<OAuthTokens> exchange_code(OAuthProvider provider, const std::string& client, const std::string& code,
                                  const std::string& verifier, const std::string& redirect_uri) {
    auto http = net::http::blocking_client().timeout(std::chrono::seconds(20)).build();
    if (!http) return http.error();
    auto response = http->post_form(provider_config(provider).token_url, {{"grant_type", "authorization_code"},
                                                                         {"client_id", client},
                                                                         {"redirect_uri", redirect_uri},
                                                                         {"code", code},
                                                                         {"code_verifier", verifier}});
    if (!response) return response.error();
    auto tokens = parse_token_response(response->body, now_seconds());
    if (!tokens) return make_error("token endpoint rejected exchange: " + response->body);
    return *tokens;
}

Result<OAuthTokens> browser_sign_in(OAuthProvider provider, const std::string& client, const std::string& login_hint,
                                    const SignInOptions& options) {
    Clock::time_point deadline = Clock::now() + options.limit;
    Fd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (listener.get() < 0) return make_error("could not bind loopback: " + errno_text());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 8) != 0)
        return make_error("could not bind loopback: " + errno_text());
    socklen_t len = sizeof address;
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &len) != 0)
        return make_error("could not bind loopback: " + errno_text());

    std::string redirect_uri = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/oauth";
    Pkce pkce = make_pkce();
    std::string state = make_state();
    std::string url = authorization_url(provider, client, redirect_uri, pkce.challenge, state, login_hint);

    Status opened = options.open_browser ? options.open_browser(url) : link::try_os_open(url);
    if (!opened) return make_error("could not open sign-in browser: " + opened.error_text());

    auto code = wait_for_code(listener.get(), state, deadline);
    if (!code) return code.error();
    return exchange_code(provider, client, *code, pkce.verifier, redirect_uri);
}


void handle_oauth_sign_in(const OAuthSignIn& request, const Sender<EngineEvent>& events, const SignInSources& sources) {
    auto fail = [&](std::string message) {
        events.send(event::Failed{request.kind, request.id, "oauth", std::move(message)});
    };
    const OAuthProvider provider = request.provider;
    auto client = client_id(provider);
    if (!client) return fail(std::string("set ") + provider_config(provider).client_id_variable + " to sign in");

    auto tokens = browser_sign_in(provider, *client, request.login_hint, sources.browser);
    if (!tokens) return fail(tokens.error_text());

    auto vault = sources.open_vault();
    if (!vault) return fail("could not save sign-in credentials: " + vault.error_text());
    vault->put(request.account_key, services::Secret{"", tokens_to_json(*tokens)});
    if (Status saved = vault->try_save(); !saved)
        return fail("could not save sign-in credentials: " + saved.error_text());
    events.send(event::SignedIn{request.id, request.account_key});
}

}  // namespace mail::engine
