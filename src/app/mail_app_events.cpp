// Taking in the engine's answers: every event names its request, and only answers to pending
// requests of the matching kind are applied.
#include <algorithm>

#include "accounts/account_storage.h"
#include "app/mail_app.h"
#include "core/text_case.h"
#include "platform/log/log.h"

namespace mail::app {

namespace {

// Which request kinds may produce an event; Failed and Finished carry their kind themselves.
bool accepted_for(const EngineEvent& event, RequestKind kind) {
    return std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, event::Connected> || std::is_same_v<E, event::FoldersListed>)
                return kind == RequestKind::Connect;
            else if constexpr (std::is_same_v<E, event::FolderSynced>)
                return kind == RequestKind::RefreshFolder;
            else if constexpr (std::is_same_v<E, event::Delivered>)
                return kind == RequestKind::SendMessage;
            else if constexpr (std::is_same_v<E, event::SignedIn>)
                return kind == RequestKind::OAuthSignIn;
            else
                return kind == e.kind;
        },
        event);
}

bool names_credentials(const std::string& status) {
    const std::string lower = to_ascii_lower(status);
    for (std::string_view word : {"auth", "login", "password", "oauth", "credential"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

}  // namespace

void MailApp::apply_engine_event(const EngineEvent& event) {
    auto pending = pending_.find(event_request_id(event));
    if (pending == pending_.end() || !accepted_for(event, pending->second)) {
        log::event("mail::app", log::Level::Warn, "mail: ignoring unmatched or wrong-kind engine event",
                   {{"request_id", event_request_id(event).to_string()}});
        return;
    }
    needs_redraw_ = true;
    const MailAccount* account = state_->current_account();
    const std::string account_id = account ? account->id : std::string();
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, event::Connected>) {
                state_->status = "Connected " + e.account;
                report_sync(account_id, services::SyncState::Started);
            } else if constexpr (std::is_same_v<E, event::FoldersListed>) {
                log::event("mail::app", log::Level::Info, "mail: server folders listed",
                           {{"count", static_cast<std::uint64_t>(e.folders.size())}});
            } else if constexpr (std::is_same_v<E, event::FolderSynced>) {
                apply_folder_synced(e);
                report_sync(account_id, services::SyncState::Succeeded);
            } else if constexpr (std::is_same_v<E, event::Delivered>) {
                // The composer's send in flight takes this once the composer exists.
            } else if constexpr (std::is_same_v<E, event::SignedIn>) {
                state_->status = "Signed in as " + e.account_key;
                report_sync(account_id, services::SyncState::Succeeded);
            } else if constexpr (std::is_same_v<E, event::Failed>) {
                state_->status = e.stage + ": " + e.message;
                if (names_credentials(*state_->status))
                    report_sync(account_id, services::SyncState::NeedsAuthentication);
                else
                    report_sync(account_id, services::SyncState::Failed, *state_->status);
            } else if constexpr (std::is_same_v<E, event::Finished>) {
                pending_.erase(pending);
            }
        },
        event);
}

void MailApp::apply_folder_synced(event::FolderSynced synced) {
    const std::size_t count = synced.messages.size();
    // Each message seeds the document where it holds no decision yet, then replaces the record
    // with the same id; nothing else is removed. The projection that follows applies the
    // document's decisions (a message marked unread here stays unread).
    // One durable change for the whole batch, not one per message.
    if (replica_) (void)engine::seed_messages(*replica_, synced.messages);
    for (MailMessage& message : synced.messages) state_->insert_message(std::move(message));
    if (synced.role == state_->folder && !state_->selected) state_->select_first();
    state_->status = count > 0 ? "Synced " + std::to_string(count) + " messages"
                               : std::string(folder_display_name(synced.role)) + " up to date";
}

void MailApp::report_sync(const std::string& account_id, services::SyncState state, std::string_view error) {
    if (account_id.find_first_not_of(" \t\r\n") == std::string::npos) return;
    auto root = accounts::resolve_storage_root(storage_root_);
    if (!root) return;
    services::AccountSyncReporter reporter(account_id, *root);
    Status reported;
    switch (state) {
        case services::SyncState::Started: reported = reporter.started(); break;
        case services::SyncState::Succeeded: reported = reporter.succeeded(); break;
        case services::SyncState::Offline: reported = reporter.offline(); break;
        case services::SyncState::NeedsAuthentication: reported = reporter.needs_authentication(); break;
        case services::SyncState::Failed: reported = reporter.failed(error); break;
    }
    if (!reported)
        log::event("mail::app", log::Level::Warn, "mail: could not persist sync status",
                   {{"error", reported.error_text()}, {"account", account_id}});
}

}  // namespace mail::app
