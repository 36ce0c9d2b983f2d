#pragma once
// The account list as the account registry and the secret vault keep it: records of type
// "email" with the settings JSON, and each account's password in the vault.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/mail_account.h"
#include "core/storage_root.h"
#include "platform/base/result.h"
#include "platform/services/account_store.h"
#include "platform/services/secret_vault.h"

namespace mail::accounts {

inline services::AccountTypeId email_account_type() { return services::AccountTypeId::from("email"); }

struct LoadedAccounts {
    std::vector<MailAccount> accounts;  // in registry order
    std::size_t active = 0;             // 0 when no record carries the registry's active id
};

// From the registry and vault at their default places. A registry or vault that cannot be
// opened gives what can still be read (no accounts, or accounts without passwords).
LoadedAccounts load_accounts();
// A record whose settings cannot be read is skipped.
LoadedAccounts load_accounts_from(const services::AccountStore& store, const services::SecretVault& vault);

// The directory the storage root names now; nothing for "none" or when the configuration root
// cannot be found.
std::optional<std::filesystem::path> resolve_storage_root(const StorageRoot& root);

// Replaces the stored "email" accounts with the list and makes the account at `active` the
// active one. Writes the vault first and the registry only after the vault was saved. Writes
// nothing, successfully, when the storage root resolves to no directory.
Status persist_accounts(const std::vector<MailAccount>& accounts, std::size_t active, const StorageRoot& root);

}  // namespace mail::accounts
