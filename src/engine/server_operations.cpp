#include "engine/server_operations.h"

#include <algorithm>

#include "engine/imap_session.h"

namespace mail::engine {

namespace {

using ConnectionBox = std::unique_ptr<imap::Connection>;

// Opens a logged-in connection with the message's source mailbox selected.
asio::awaitable<Result<ConnectionBox>> open_on_source(const StoredConfig& account, const MailMessage& message,
                                                     const Credentials& credentials, net::TlsClientConfig tls,
                                                     imap::ConnectionOptions options) {
    auto opened = co_await open_imap_connection(account, credentials, std::move(tls), std::move(options));
    if (!opened) co_return opened.error();
    imap::Command select("SELECT");
    select.string(role_mailbox(message.folder).mailbox);
    if (auto selected = co_await (*opened)->run(select); !selected) co_return selected.error();
    co_return std::move(*opened);
}

imap::Command uid_store(std::uint32_t uid, std::string_view change) {
    imap::Command store("UID STORE");
    store.raw(std::to_string(uid)).raw(change);
    return store;
}

}  // namespace

std::string_view destination_mailbox(FolderRole role) { return role_mailbox(role).mailbox; }

asio::awaitable<Result<std::uint32_t>> locate_message(imap::Connection& connection, const MailMessage& message) {
    if (!message.message_id || message.message_id->empty())
        co_return make_error("message has no Message-ID to locate it on the server");
    std::string cleaned = *message.message_id;
    cleaned.erase(std::remove(cleaned.begin(), cleaned.end(), '"'), cleaned.end());
    // The criterion is sent exactly as "HEADER MESSAGE-ID" and the quoted id: a Message-ID
    // that could not travel quoted (a line break in it) goes as a literal instead.
    imap::Command search("UID SEARCH");
    search.raw("HEADER MESSAGE-ID").string(cleaned);
    auto found = co_await connection.run(search);
    if (!found) co_return found.error();
    std::uint32_t highest = 0;
    for (const imap::Response& r : found->untagged)
        if (r.name == "SEARCH")
            for (std::uint32_t uid : r.search) highest = std::max(highest, uid);
    if (highest == 0) co_return make_error("message not found on the server");
    co_return highest;
}

asio::awaitable<Status> sync_flags_operation(StoredConfig account, MailMessage message, Credentials credentials,
                                             net::TlsClientConfig tls, imap::ConnectionOptions options) {
    auto connection = co_await open_on_source(account, message, credentials, std::move(tls), std::move(options));
    if (!connection) co_return connection.error();
    auto uid = co_await locate_message(**connection, message);
    if (!uid) co_return uid.error();
    // Commands are named locals: temporaries inside a co_await expression are fragile with g++ 12.
    const imap::Command read_state = uid_store(*uid, message.seen ? "+FLAGS (\\Seen)" : "-FLAGS (\\Seen)");
    auto seen = co_await (*connection)->run(read_state);
    if (!seen) co_return seen.error();
    const imap::Command star_state = uid_store(*uid, message.flagged ? "+FLAGS (\\Flagged)" : "-FLAGS (\\Flagged)");
    auto starred = co_await (*connection)->run(star_state);
    if (!starred) co_return starred.error();
    co_await (*connection)->logout();
    co_return Status{};
}

asio::awaitable<Status> move_operation(StoredConfig account, MailMessage message, FolderRole destination,
                                       Credentials credentials, net::TlsClientConfig tls,
                                       imap::ConnectionOptions options) {
    auto connection = co_await open_on_source(account, message, credentials, std::move(tls), std::move(options));
    if (!connection) co_return connection.error();
    auto uid = co_await locate_message(**connection, message);
    if (!uid) co_return uid.error();
    imap::Command move("UID MOVE");
    move.raw(std::to_string(*uid)).string(destination_mailbox(destination));
    if (auto moved = co_await (*connection)->run(move); !moved) co_return moved.error();
    co_await (*connection)->logout();
    co_return Status{};
}

asio::awaitable<Status> purge_operation(StoredConfig account, MailMessage message, Credentials credentials,
                                        net::TlsClientConfig tls, imap::ConnectionOptions options) {
    auto connection = co_await open_on_source(account, message, credentials, std::move(tls), std::move(options));
    if (!connection) co_return connection.error();
    auto uid = co_await locate_message(**connection, message);
    if (!uid) co_return uid.error();
    const imap::Command mark = uid_store(*uid, "+FLAGS.SILENT (\\Deleted)");
    if (auto marked = co_await (*connection)->run(mark); !marked) co_return marked.error();
    imap::Command expunge("UID EXPUNGE");
    expunge.raw(std::to_string(*uid));
    if (auto expunged = co_await (*connection)->run(expunge); !expunged)
        co_return make_error("server cannot safely expunge this message: " + expunged.error_text());
    co_await (*connection)->logout();
    co_return Status{};
}

}  // namespace mail::engine
