#include "engine/imap_connection.h"

#include <asio/connect.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/redirect_error.hpp>
#include <asio/ssl.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include <cstdlib>
#include <exception>

namespace mail::engine::imap {

namespace {

using asio::ip::tcp;
using Executor = asio::any_io_executor;

std::string inactivity_text(std::chrono::milliseconds limit) {
    auto ms = limit.count();
    std::string amount = ms % 1000 == 0 ? std::to_string(ms / 1000) + " seconds" : std::to_string(ms) + " ms";
    return "timed out: the server sent nothing for " + amount;
}

std::string condition_word(Condition c) {
    switch (c) {
        case Condition::No: return "NO";
        case Condition::Bad: return "BAD";
        default: return "";
    }
}

// "<verb> failed: [CODE] text" — the IMAP client's error text for a refused command.
std::string refusal_text(std::string_view verb, const Response& r) {
    std::string text = std::string(verb) + " failed: ";
    if (!r.code.empty()) text += "[" + r.code + (r.code_text.empty() ? "" : " " + r.code_text) + "] ";
    text += r.text.empty() ? condition_word(r.condition) : r.text;
    return text;
}

}  // namespace

std::chrono::milliseconds default_inactivity_limit() {
    if (const char* value = std::getenv("VARO_MAIL_IMAP_INACTIVITY_MS")) {
        char* end = nullptr;
        long long ms = std::strtoll(value, &end, 10);
        if (end && *end == '\0' && ms > 0) return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(120);
}

Status check_server_name(std::string_view host) {
    std::string name(host);
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    asio::error_code ec;
    asio::ip::make_address(name, ec);
    if (!ec) return {};
    if (host.empty()) return make_error("empty name");
    if (host.size() > 253) return make_error("name longer than 253 characters");
    std::size_t start = 0;
    while (start <= host.size()) {
        std::size_t dot = host.find('.', start);
        std::string_view label = host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (label.empty()) {
            if (dot == std::string_view::npos && start == host.size() && start > 0) break;  // trailing dot
            return make_error("empty label in " + std::string(host));
        }
        if (label.size() > 63) return make_error("label longer than 63 characters");
        for (char c : label) {
            bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
            if (!ok) return make_error("invalid character '" + std::string(1, c) + "' in " + std::string(host));
        }
        if (label.front() == '-' || label.back() == '-') return make_error("label begins or ends with '-'");
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return {};
}

struct Connection::Impl {
    Impl(Executor executor, asio::ssl::context context, ConnectionOptions options)
        : ssl(std::move(context)), stream(executor, ssl), watchdog(executor), options(std::move(options)) {}

    asio::ssl::context ssl;
    asio::ssl::stream<tcp::socket> stream;
    asio::steady_timer watchdog;
    ConnectionOptions options;
    std::string buffer;
    std::size_t start = 0;  // parsed bytes at the front of `buffer`
    unsigned next_tag = 1;
    bool timed_out = false;
    unsigned generation = 0;
    bool broken = false;     // after a lost connection or protocol error nothing more is sent
    std::vector<std::string> capabilities;

    // Closes the socket when the server stays silent past the limit; the pending operation
    // then ends with operation_aborted, which `failure` turns into the time-out text.
    void arm() {
        watchdog.expires_after(options.inactivity);
        // A wait that expired just as its operation finished must not close the next one.
        const unsigned armed = ++generation;
        watchdog.async_wait([this, armed](const asio::error_code& ec) {
            if (ec || armed != generation) return;
            timed_out = true;
            asio::error_code ignored;
            stream.lowest_layer().cancel(ignored);
            stream.lowest_layer().close(ignored);
        });
    }
    void disarm() {
        ++generation;
        watchdog.cancel();
    }

    std::string failure(const asio::error_code& ec) {
        broken = true;
        if (timed_out) return inactivity_text(options.inactivity);
        if (ec == asio::error::eof || ec == asio::ssl::error::stream_truncated)
            return "connection closed by the server";
        return ec.message();
    }

    asio::awaitable<Result<bool>> send(std::string_view bytes) {
        asio::error_code ec;
        arm();
        co_await asio::async_write(stream, asio::buffer(bytes.data(), bytes.size()),
                                   asio::redirect_error(asio::use_awaitable, ec));
        disarm();
        if (ec) co_return make_error(failure(ec));
        co_return true;
    }

    // The next whole response, reading as much as it needs.
    asio::awaitable<Result<Response>> next() {
        while (true) {
            std::string_view pending(buffer.data() + start, buffer.size() - start);
            ParseResult parsed = parse_response(pending, options.limits);
            if (auto* complete = std::get_if<Complete>(&parsed)) {
                start += complete->consumed;
                if (start == buffer.size()) {
                    buffer.clear();
                    start = 0;
                }
                co_return std::move(complete->response);
            }
            if (auto* error = std::get_if<ProtocolError>(&parsed)) {
                broken = true;
                co_return make_error(error->message);
            }
            // Move the unparsed rest to the front now and then, so the buffer stays small.
            if (start > 0 && start >= buffer.size() / 2) {
                buffer.erase(0, start);
                start = 0;
            }
            std::size_t want = std::get<NeedMore>(parsed).at_least;
            std::size_t have = buffer.size() - start;
            std::size_t chunk = std::max<std::size_t>(64 * 1024, want > have ? want - have : 0);
            chunk = std::min<std::size_t>(chunk, 4u << 20);
            std::size_t old = buffer.size();
            buffer.resize(old + chunk);
            asio::error_code ec;
            arm();
            std::size_t n = co_await stream.async_read_some(asio::buffer(buffer.data() + old, chunk),
                                                            asio::redirect_error(asio::use_awaitable, ec));
            disarm();
            buffer.resize(old + n);
            if (ec) co_return make_error(failure(ec));
        }
    }

    std::string tag() { return "a" + std::to_string(next_tag++); }

    void record(const Command& command, const std::vector<std::string>& pieces, std::string_view tag) {
        if (!options.transcript) return;
        std::string text;
        for (const auto& piece : pieces) text += piece;
        text = text.substr(tag.size() + 1);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        (void)command;
        options.transcript->push_back(std::move(text));
    }

    // Reads up to the tagged answer for `tag`; `on_continuation` answers a "+" with bytes to send.
    template <typename OnContinuation>
    asio::awaitable<Result<CommandResult>> collect(std::string_view verb, const std::string& tag,
                                                   OnContinuation on_continuation) {
        CommandResult result;
        std::size_t collected = 0;
        while (true) {
            auto response = co_await next();
            if (!response) co_return make_error(verb_prefix(verb, response.error_text()));
            Response& r = *response;
            if (r.kind == Response::Kind::Continuation) {
                auto reply = on_continuation(r);
                if (!reply) co_return make_error(std::string(verb) + " failed: unexpected continuation from the server");
                if (auto sent = co_await send(*reply); !sent) co_return make_error(verb_prefix(verb, sent.error_text()));
                continue;
            }
            if (r.kind == Response::Kind::Tagged) {
                if (r.tag != tag) continue;  // an answer to nothing we asked; not ours to judge
                if (!r.capabilities.empty()) capabilities = r.capabilities;
                if (r.condition != Condition::Ok) co_return make_error(refusal_text(verb, r));
                result.done = std::move(r);
                co_return result;
            }
            if (!r.capabilities.empty()) capabilities = r.capabilities;
            collected += r.fetch && r.fetch->body ? r.fetch->body->size() : 0;
            collected += r.text.size() + r.search.size() * 4;
            if (collected > options.max_collected_bytes) {
                broken = true;
                co_return make_error(std::string(verb) + " failed: server sent more data than the limit of " +
                                     std::to_string(options.max_collected_bytes) + " bytes");
            }
            result.untagged.push_back(std::move(r));
        }
    }

    static std::string verb_prefix(std::string_view verb, const std::string& error) {
        return std::string(verb) + " failed: " + error;
    }
};

Connection::Connection(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Connection::~Connection() = default;

const std::vector<std::string>& Connection::capabilities() const { return impl_->capabilities; }

asio::awaitable<Result<std::unique_ptr<Connection>>> Connection::open(std::string host, std::uint16_t port,
                                                                      net::TlsClientConfig tls,
                                                                      ConnectionOptions options) {
    Executor executor = co_await asio::this_coro::executor;
    ssl_ctx_st* native = tls.new_reference();
    if (!native) co_return make_error("no TLS configuration");
    auto impl = std::make_unique<Impl>(executor, asio::ssl::context(native), std::move(options));

    // Name resolution, then the first address that accepts, in the resolver's order.
    tcp::resolver resolver(executor);
    asio::error_code ec;
    impl->arm();
    tcp::resolver::results_type endpoints = co_await resolver.async_resolve(
        host, std::to_string(port), asio::redirect_error(asio::use_awaitable, ec));
    impl->disarm();
    if (impl->timed_out) co_return make_error("could not resolve " + host + ": " + impl->failure(ec));
    if (ec) co_return make_error("could not resolve " + host + ": " + ec.message());
    if (endpoints.empty()) co_return make_error("could not resolve to any address");
    asio::error_code last;
    bool connected = false;
    for (const auto& entry : endpoints) {
        asio::error_code ignored;
        impl->stream.lowest_layer().close(ignored);
        impl->arm();
        co_await impl->stream.lowest_layer().async_connect(entry.endpoint(),
                                                           asio::redirect_error(asio::use_awaitable, last));
        impl->disarm();
        if (impl->timed_out) co_return make_error(impl->failure(last));
        if (!last) {
            connected = true;
            break;
        }
    }
    if (!connected) co_return make_error(last.message());

    if (Status name = check_server_name(host); !name) co_return make_error("invalid IMAP host name: " + name.error_text());
    if (Status prepared = net::TlsClientConfig::prepare_connection(impl->stream.native_handle(), host); !prepared)
        co_return make_error("invalid IMAP host name: " + prepared.error_text());

    impl->arm();
    co_await impl->stream.async_handshake(asio::ssl::stream_base::client, asio::redirect_error(asio::use_awaitable, ec));
    impl->disarm();
    if (ec) co_return make_error(impl->timed_out ? impl->failure(ec) : "TLS handshake failed: " + ec.message());

    auto greeting = co_await impl->next();
    if (!greeting) co_return make_error("greeting: " + greeting.error_text());
    if (greeting->kind != Response::Kind::Untagged ||
        (greeting->condition != Condition::Ok && greeting->condition != Condition::Preauth))
        co_return make_error("server refused the connection: " + greeting->text);
    impl->capabilities = greeting->capabilities;
    co_return std::unique_ptr<Connection>(new Connection(std::move(impl)));
}

asio::awaitable<Result<CommandResult>> Connection::run(const Command& command) {
    Impl& c = *impl_;
    if (c.broken) co_return make_error(command.verb() + " failed: connection is no longer usable");
    const std::string tag = c.tag();
    std::vector<std::string> pieces = command.render(tag);
    c.record(command, pieces, tag);
    if (auto sent = co_await c.send(pieces.front()); !sent)
        co_return make_error(Impl::verb_prefix(command.verb(), sent.error_text()));
    std::size_t next_piece = 1;
    co_return co_await c.collect(command.verb(), tag, [&](const Response&) -> std::optional<std::string> {
        if (next_piece >= pieces.size()) return std::nullopt;
        return pieces[next_piece++];
    });
}

asio::awaitable<Result<CommandResult>> Connection::authenticate(std::string_view mechanism, std::string response) {
    Impl& c = *impl_;
    const std::string tag = c.tag();
    Command command("AUTHENTICATE");
    command.raw(mechanism);
    std::vector<std::string> pieces = command.render(tag);
    c.record(command, pieces, tag);
    if (auto sent = co_await c.send(pieces.front()); !sent)
        co_return make_error(Impl::verb_prefix("AUTHENTICATE", sent.error_text()));
    bool answered = false;
    co_return co_await c.collect("AUTHENTICATE", tag, [&](const Response&) -> std::optional<std::string> {
        // A second continuation carries the server's error details; an empty line lets it
        // finish with its tagged NO (waiting for the NO at once would hang).
        if (answered) return std::string("\r\n");
        answered = true;
        return response + "\r\n";
    });
}

asio::awaitable<void> Connection::logout() {
    if (impl_->broken) co_return;
    const Command command("LOGOUT");
    auto done = co_await run(command);
    (void)done;
    asio::error_code ignored;
    impl_->stream.lowest_layer().close(ignored);
}

}  // namespace mail::engine::imap
