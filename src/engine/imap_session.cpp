#include "engine/imap_session.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "core/connection_errors.h"
#include "engine/mail_date.h"
#include "engine/message_parser.h"
#include "platform/base/base64.h"

namespace mail::engine {

namespace {

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n\f\v";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::int64_t now_minutes() {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    return seconds < 0 ? 0 : seconds / 60;
}

bool has_flag(const std::optional<std::vector<std::string>>& flags, std::string_view wanted) {
    if (!flags) return false;
    for (const std::string& flag : *flags) {
        if (flag.size() != wanted.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < flag.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(flag[i])) == std::tolower(static_cast<unsigned char>(wanted[i]));
        if (same) return true;
    }
    return false;
}

imap::Command select_command(std::string_view mailbox) {
    imap::Command select("SELECT");
    select.string(mailbox);
    return select;
}

}  // namespace

RoleMailbox role_mailbox(FolderRole role) {
    switch (role) {
        case FolderRole::Inbox: return {"INBOX", "ALL"};
        case FolderRole::Starred: return {"INBOX", "FLAGGED"};
        case FolderRole::Sent: return {"Sent", "ALL"};
        case FolderRole::Drafts: return {"Drafts", "ALL"};
        case FolderRole::Archive: return {"Archive", "ALL"};
        case FolderRole::Trash: return {"Trash", "ALL"};
        case FolderRole::Junk: return {"Junk", "ALL"};
    }
    return {"INBOX", "ALL"};
}

std::string newest_uid_list(std::vector<std::uint32_t> uids) {
    std::set<std::uint32_t> distinct(uids.begin(), uids.end());
    std::string out;
    std::size_t taken = 0;
    for (auto it = distinct.rbegin(); it != distinct.rend() && taken < kRefreshLimit; ++it, ++taken) {
        if (!out.empty()) out += ',';
        out += std::to_string(*it);
    }
    return out;
}

asio::awaitable<Result<std::unique_ptr<imap::Connection>>> open_imap_connection(const StoredConfig& account,
                                                                                const Credentials& credentials,
                                                                                net::TlsClientConfig tls,
                                                                                imap::ConnectionOptions options) {
    std::string host = trimmed(account.imap_host);
    if (host.empty()) co_return make_error("no IMAP host");
    // Always implicit TLS: the account's imap_tls flag is not consulted here.
    std::uint16_t port = account.imap_port == 0 ? 993 : account.imap_port;
    auto opened = co_await imap::Connection::open(host, port, std::move(tls), std::move(options));
    if (!opened) {
        if (opened.error_text().starts_with("invalid IMAP host name: ")) co_return opened.error();
        co_return make_error(friendly_connection_error(opened.error_text()));
    }
    std::unique_ptr<imap::Connection> connection = std::move(*opened);
    Result<imap::CommandResult> login = make_error("");
    if (const auto* password = std::get_if<PasswordCredentials>(&credentials)) {
        imap::Command command("LOGIN");
        command.string(password->login).string(password->password);
        login = co_await connection->run(command);
    } else {
        const auto& oauth = std::get<OAuthCredentials>(credentials);
        login = co_await connection->authenticate("XOAUTH2", base64::encode(xoauth2_string(oauth.login, oauth.access_token)));
    }
    if (!login) co_return make_error(friendly_connection_error(login.error_text()));
    co_return connection;
}

asio::awaitable<Result<std::vector<std::string>>> connect_operation(StoredConfig account, Credentials credentials,
                                                                    net::TlsClientConfig tls,
                                                                    imap::ConnectionOptions options) {
    auto connection = co_await open_imap_connection(account, credentials, std::move(tls), std::move(options));
    if (!connection) co_return connection.error();
    imap::Command list("LIST");
    list.string("").string("*");
    auto listed = co_await (*connection)->run(list);
    if (!listed) co_return listed.error();
    std::vector<std::string> names;
    for (const imap::Response& r : listed->untagged)
        if (r.list && r.name == "LIST") names.push_back(r.list->name);
    co_await (*connection)->logout();
    co_return names;
}

asio::awaitable<Result<std::vector<MailMessage>>> refresh_operation(StoredConfig account, FolderRole role,
                                                                    Credentials credentials, net::TlsClientConfig tls,
                                                                    imap::ConnectionOptions options) {
    const RoleMailbox where = role_mailbox(role);
    const std::int64_t fallback_minutes = now_minutes();
    auto opened = co_await open_imap_connection(account, credentials, std::move(tls), std::move(options));
    if (!opened) co_return opened.error();
    imap::Connection& connection = **opened;

    const imap::Command select = select_command(where.mailbox);
    if (auto selected = co_await connection.run(select); !selected) co_return selected.error();
    imap::Command search("UID SEARCH");
    search.raw(where.criterion);
    auto searched = co_await connection.run(search);
    if (!searched) co_return searched.error();
    std::vector<std::uint32_t> uids;
    for (const imap::Response& r : searched->untagged)
        if (r.name == "SEARCH") uids.insert(uids.end(), r.search.begin(), r.search.end());
    std::string wanted = newest_uid_list(std::move(uids));
    std::vector<MailMessage> messages;
    if (wanted.empty()) {
        co_await connection.logout();
        co_return messages;
    }

    imap::Command fetch("UID FETCH");
    fetch.raw(wanted).raw(kFetchItems);
    auto fetched = co_await connection.run(fetch);
    if (!fetched) co_return fetched.error();
    for (imap::Response& r : fetched->untagged) {
        if (!r.fetch || !r.fetch->body) continue;
        std::optional<std::int64_t> server_minutes;
        if (r.fetch->internal_date) {
            std::int64_t s = *r.fetch->internal_date;
            server_minutes = s / 60;  // division truncated
        }
        const std::string& raw = *r.fetch->body;
        auto parsed = parse_message(raw, message_time_minutes(server_minutes, raw, fallback_minutes), role);
        if (!parsed) continue;
        parsed->seen = has_flag(r.fetch->flags, "\\Seen");
        parsed->flagged = has_flag(r.fetch->flags, "\\Flagged");
        messages.push_back(std::move(*parsed));
    }
    co_await connection.logout();
    co_return messages;
}

}  // namespace mail::engine
