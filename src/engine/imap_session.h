#pragma once
// The IMAP side of the live backend's read requests: opening an authenticated connection,
// listing the folders (Connect) and fetching the newest messages of one folder (RefreshFolder).
// Each operation opens its own connection, logs out and drops it; nothing is kept.
#include <asio/awaitable.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/folder_role.h"
#include "core/mail_message.h"
#include "core/stored_config.h"
#include "engine/credentials.h"
#include "engine/imap_connection.h"

namespace mail::engine {

// The server mailbox every operation uses for a role, and what a refresh searches for there.
struct RoleMailbox {
    std::string_view mailbox;    // "INBOX", "Sent", …; Starred lives in "INBOX"
    std::string_view criterion;  // "ALL", or "FLAGGED" for Starred
};
RoleMailbox role_mailbox(FolderRole role);

inline constexpr std::size_t kRefreshLimit = 50;
inline constexpr std::string_view kFetchItems = "(UID FLAGS INTERNALDATE BODY.PEEK[])";

// The 50 highest distinct UIDs, highest first, joined by "," ("120,119,…,71"); empty for none.
std::string newest_uid_list(std::vector<std::uint32_t> uids);

// Host, port (993 for 0), TCP, TLS and login; every failure but the host checks comes back as
// the friendly connection error.
asio::awaitable<Result<std::unique_ptr<imap::Connection>>> open_imap_connection(const StoredConfig& account,
                                                                                const Credentials& credentials,
                                                                                net::TlsClientConfig tls,
                                                                                imap::ConnectionOptions options);

// The mailbox names LIST "" "*" returns, in the server's order.
asio::awaitable<Result<std::vector<std::string>>> connect_operation(StoredConfig account, Credentials credentials,
                                                                    net::TlsClientConfig tls,
                                                                    imap::ConnectionOptions options = {});

// The newest 50 messages of the role's mailbox, parsed, in the order the server sent them.
asio::awaitable<Result<std::vector<MailMessage>>> refresh_operation(StoredConfig account, FolderRole role,
                                                                    Credentials credentials, net::TlsClientConfig tls,
                                                                    imap::ConnectionOptions options = {});

}  // namespace mail::engine
