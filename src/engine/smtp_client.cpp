#include "engine/smtp_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <variant>

#include "core/connection_errors.h"
#include "core/text_case.h"

namespace mail::engine {

namespace {

struct EasyDeleter {
    void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

Status global_init() {
    static CURLcode code = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (code != CURLE_OK) return make_error(curl_easy_strerror(code));
    return {};
}

struct Upload {
    std::string_view bytes;
    std::size_t sent = 0;
};

std::size_t read_upload(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto* up = static_cast<Upload*>(user);
    std::size_t n = std::min(size * count, up->bytes.size() - up->sent);
    std::memcpy(buffer, up->bytes.data() + up->sent, n);
    up->sent += n;
    return n;
}

std::string url_for(const SmtpServer& server) {
    std::string host = server.host.find(':') != std::string::npos ? "[" + server.host + "]" : server.host;
    // The path is what curl greets with: EHLO localhost.
    return std::string(server.tls == SmtpTls::Implicit ? "smtps://" : "smtp://") + host + ":" +
           std::to_string(server.port) + "/localhost";
}

std::string angle(std::string_view address) { return "<" + std::string(address) + ">"; }

}  // namespace

Result<SmtpServer> smtp_server(const StoredConfig& account, std::uint16_t implicit_tls_port) {
    SmtpServer server;
    server.host = std::string(trim_white_space(account.smtp_host));
    if (server.host.empty()) return make_error("no SMTP host");
    server.port = account.smtp_port == 0 ? kImplicitTlsPort : account.smtp_port;
    server.tls = server.port == implicit_tls_port ? SmtpTls::Implicit : SmtpTls::StartTls;
    return server;
}

Status smtp_transfer(const SmtpServer& server, const Credentials& credentials, const SmtpEnvelope& envelope,
                     std::string_view message, const SmtpOptions& options) {
    MAIL_TRY(global_init());
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return make_error("could not start the SMTP client");
    CURL* e = easy.get();

    std::unique_ptr<curl_slist, ListDeleter> recipients;
    for (const std::string& r : envelope.recipients) {
        curl_slist* grown = curl_slist_append(recipients.get(), angle(r).c_str());
        if (!grown) return make_error("out of memory");
        recipients.release();
        recipients.reset(grown);
    }

    std::string url = url_for(server);
    std::string from = angle(envelope.sender);
    Upload upload{message};
    char error_buffer[CURL_ERROR_SIZE] = {};
    long step_seconds = std::max<long>(1, static_cast<long>((options.step_limit.count() + 999) / 1000));

    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, error_buffer);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, server.tls == SmtpTls::Implicit ? "smtps" : "smtp");
    // STARTTLS is not optional: without it the password would go out in the clear.
    curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (const char* file = std::getenv("SSL_CERT_FILE"); file && *file) curl_easy_setopt(e, CURLOPT_CAINFO, file);
    if (const char* dir = std::getenv("SSL_CERT_DIR"); dir && *dir) curl_easy_setopt(e, CURLOPT_CAPATH, dir);

    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.step_limit.count()));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, step_seconds);
    // While DATA streams there is no reply to wait for: a stalled upload counts as a step too.
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, step_seconds);

    if (const auto* p = std::get_if<PasswordCredentials>(&credentials)) {
        curl_easy_setopt(e, CURLOPT_USERNAME, p->login.c_str());
        curl_easy_setopt(e, CURLOPT_PASSWORD, p->password.c_str());
        curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
    } else {
        const auto& o = std::get<OAuthCredentials>(credentials);
        curl_easy_setopt(e, CURLOPT_USERNAME, o.login.c_str());
        curl_easy_setopt(e, CURLOPT_XOAUTH2_BEARER, o.access_token.c_str());
        curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
    }

    curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get());
    // A rejected recipient ends the transaction: the sender learns of it instead of some
    // recipients never getting the message.
    curl_easy_setopt(e, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 0L);
    curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(e, CURLOPT_READFUNCTION, read_upload);
    curl_easy_setopt(e, CURLOPT_READDATA, &upload);

    CURLcode code = curl_easy_perform(e);
    if (code == CURLE_OK) return {};
    std::string text = curl_easy_strerror(code);
    if (error_buffer[0] && text != error_buffer) text += std::string(": ") + error_buffer;
    // curl names a failed connect without its cause; the system's text says "refused" and the like.
    long os_error = 0;
    curl_easy_getinfo(e, CURLINFO_OS_ERRNO, &os_error);
    if (os_error != 0) text += std::string(" (") + std::strerror(static_cast<int>(os_error)) + ")";
    long reply = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply);
    std::string reply_text = std::to_string(reply);
    // The reply code is what tells a refused login (535) from any other refusal.
    if (reply > 0 && text.find(reply_text) == std::string::npos) text += " (server replied " + reply_text + ")";
    // An XOAUTH2 refusal can end on the server's 334 error challenge; curl knows it was the login.
    if (code == CURLE_LOGIN_DENIED && text.find("uthentication failed") == std::string::npos)
        text = "authentication failed: " + text;
    return make_error(text);
}

Status deliver(const StoredConfig& account, const Credentials& credentials, const DraftData& draft,
               std::string_view message, const SmtpOptions& options) {
    auto server = smtp_server(account, options.implicit_tls_port);
    if (!server) return server.error();
    auto envelope = build_envelope(MailAddress{account.email, std::nullopt}, draft.to, draft.cc, draft.bcc);
    if (!envelope) return envelope.error();
    Status sent = smtp_transfer(*server, credentials, *envelope, message, options);
    if (!sent) return make_error(friendly_connection_error(sent.error_text()));
    return {};
}

}  // namespace mail::engine
