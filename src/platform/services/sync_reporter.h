#pragma once
// The sync status of one account as the account services keep it: a small JSON record per
// account under <root>/sync-status/, replaced atomically on every report:
//   {"account":"…","state":"failed","error":"…","updated_at":1714555800,"last_success_at":1714555000}
// The file is named by the BLAKE3 hash of the account id, so no id can name a path.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/services/account_store.h"

namespace mail::services {

enum class SyncState { Started, Succeeded, Offline, NeedsAuthentication, Failed };

// "started", "succeeded", "offline", "needs_authentication", "failed".
std::string_view sync_state_name(SyncState state);

struct SyncStatus {
    AccountId account;
    SyncState state = SyncState::Started;
    std::string error;                            // only for Failed
    std::int64_t updated_at = 0;                  // seconds since the Unix epoch
    std::optional<std::int64_t> last_success_at;  // kept across later reports
};

class AccountSyncReporter {
public:
    AccountSyncReporter(AccountId account, std::filesystem::path root);

    // Each persists the state; an id that is blank after trimming reports nothing and succeeds.
    Status started() const;
    Status succeeded() const;
    Status offline() const;
    Status needs_authentication() const;
    Status failed(std::string_view text) const;

private:
    Status report(SyncState state, std::string_view error) const;
    AccountId account_;
    std::filesystem::path root_;
};

// The last report for the account; nothing if there is none.
Result<std::optional<SyncStatus>> read_sync_status(const std::filesystem::path& root, const AccountId& account);

}  // namespace mail::services
