#pragma once
// Repeating a local change on the IMAP server: read and starred state, moves, and permanent
// deletion. The message is found afresh by its Message-ID in the mailbox of its folder.
#include <asio/awaitable.hpp>

#include <cstdint>

#include "core/folder_role.h"
#include "core/mail_message.h"
#include "core/stored_config.h"
#include "engine/credentials.h"
#include "engine/imap_connection.h"

namespace mail::engine {

// "INBOX" for Inbox and Starred, else the role's own mailbox.
std::string_view destination_mailbox(FolderRole role);

// On a connection with the source mailbox selected: the highest UID whose Message-ID header
// holds the message's (double quotes removed).
asio::awaitable<Result<std::uint32_t>> locate_message(imap::Connection& connection, const MailMessage& message);

// Both STORE commands, always: the server ends with exactly the local read and starred state.
asio::awaitable<Status> sync_flags_operation(StoredConfig account, MailMessage message, Credentials credentials,
                                             net::TlsClientConfig tls, imap::ConnectionOptions options = {});

// UID MOVE (RFC 6851), with no fallback to copying and deleting.
asio::awaitable<Status> move_operation(StoredConfig account, MailMessage message, FolderRole destination,
                                       Credentials credentials, net::TlsClientConfig tls,
                                       imap::ConnectionOptions options = {});

// \Deleted on that one message, then UID EXPUNGE (RFC 4315) of its UID only; a plain EXPUNGE,
// which would take every deleted message of the mailbox with it, is never sent.
asio::awaitable<Status> purge_operation(StoredConfig account, MailMessage message, Credentials credentials,
                                        net::TlsClientConfig tls, imap::ConnectionOptions options = {});

}  // namespace mail::engine
