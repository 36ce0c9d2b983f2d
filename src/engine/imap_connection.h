#pragma once
// One IMAP connection over implicit TLS on the live backend's runtime: TCP to the first address
// that accepts, the TLS handshake with the shared client configuration (server name indication
// and host-name verification), the greeting, then commands strictly one after another.
// Every member is a coroutine that must run on the connection's strand; the engine's files
// that include this header are the only ones that see Asio.
#include <asio/awaitable.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/imap_command.h"
#include "engine/imap_parser.h"
#include "platform/base/result.h"
#include "platform/services/net.h"

namespace mail::engine::imap {

// 120 seconds, or VARO_MAIL_IMAP_INACTIVITY_MS when that holds a positive number (tests).
std::chrono::milliseconds default_inactivity_limit();

struct ConnectionOptions {
    // How long we wait for the next byte from the server (or for the connection and the
    // handshake to make progress) before failing the request: a server that stops answering
    // must not hold the engine forever.
    std::chrono::milliseconds inactivity = default_inactivity_limit();
    ParserLimits limits;
    // All untagged data one command may gather (a FETCH of 50 messages is well below it).
    std::size_t max_collected_bytes = 512u << 20;
    // When set, every command is appended as sent, without its tag (tests read it).
    std::shared_ptr<std::vector<std::string>> transcript;
};

struct CommandResult {
    std::vector<Response> untagged;  // in arrival order
    Response done;                   // the tagged OK
};

// The host is usable as a TLS server name: an IP address or a DNS name. Answers the reason.
Status check_server_name(std::string_view host);

class Connection {
public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // TCP, TLS and the greeting. Error texts are the raw ones (the caller makes them
    // friendly), except "invalid IMAP host name: " + reason.
    static asio::awaitable<Result<std::unique_ptr<Connection>>> open(std::string host, std::uint16_t port,
                                                                     net::TlsClientConfig tls,
                                                                     ConnectionOptions options);

    // Sends the command and gathers every response up to its tagged answer. NO and BAD fail
    // with "<command> failed: " and the server's text; so does a lost connection.
    asio::awaitable<Result<CommandResult>> run(const Command& command);

    // AUTHENTICATE `mechanism`; the first continuation is answered with `response` (already
    // base64), any later one (a server's error details) with an empty line.
    asio::awaitable<Result<CommandResult>> authenticate(std::string_view mechanism, std::string response);

    // LOGOUT, waiting for its answer or the server's close; the outcome does not matter.
    asio::awaitable<void> logout();

    const std::vector<std::string>& capabilities() const;

    struct Impl;

private:
    explicit Connection(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace mail::engine::imap
