#pragma once
// Delivery of one built message through the account's SMTP server. curl stays inside the .cpp.
//
// The TLS mode follows from the port alone: 465 is implicit TLS, every other port must upgrade
// with STARTTLS before anything else is said, and a server that does not offer it fails.
// Trust is the system's roots plus SSL_CERT_FILE (and SSL_CERT_DIR) when set.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/draft.h"
#include "core/stored_config.h"
#include "engine/credentials.h"
#include "engine/outgoing_message.h"
#include "platform/base/result.h"

namespace mail::engine {

enum class SmtpTls { Implicit, StartTls };

struct SmtpServer {
    std::string host;         // trimmed
    std::uint16_t port = 465;
    SmtpTls tls = SmtpTls::Implicit;
    friend bool operator==(const SmtpServer&, const SmtpServer&) = default;
};

inline constexpr std::uint16_t kImplicitTlsPort = 465;

// Host without surrounding white space ("no SMTP host" when empty), port 465 when 0; the
// account's smtp_tls flag is not consulted. `implicit_tls_port` is 465 outside tests, which
// run the servers on unprivileged ports.
Result<SmtpServer> smtp_server(const StoredConfig& account, std::uint16_t implicit_tls_port = kImplicitTlsPort);

struct SmtpOptions {
    // Each step of the dialogue: connecting, and every command's reply.
    std::chrono::milliseconds step_limit{60000};
    std::uint16_t implicit_tls_port = kImplicitTlsPort;
};

// One SMTP transaction: EHLO "localhost", TLS, AUTH LOGIN (password) or XOAUTH2 (token) and
// nothing else, MAIL FROM, one RCPT TO per recipient, DATA with the bytes as they are. Any
// rejected recipient fails the whole transaction, so no one is dropped in silence. The error
// is the client's own text with the server's reply code in it, not yet made friendly.
Status smtp_transfer(const SmtpServer& server, const Credentials& credentials, const SmtpEnvelope& envelope,
                     std::string_view message, const SmtpOptions& options = {});

// The whole delivery: server settings, the envelope from the account's address and the draft's
// recipients (both checked before any network traffic), then the transfer, whose failures come
// back as the friendly connection error.
Status deliver(const StoredConfig& account, const Credentials& credentials, const DraftData& draft,
               std::string_view message, const SmtpOptions& options = {});

}  // namespace mail::engine
