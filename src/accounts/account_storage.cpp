#include "accounts/account_storage.h"

#include <set>
#include <string>

#include "platform/services/paths.h"

namespace mail::accounts {

LoadedAccounts load_accounts_from(const services::AccountStore& store, const services::SecretVault& vault) {
    LoadedAccounts loaded;
    const services::AccountTypeId type = email_account_type();
    for (const services::AccountRecord& record : store.list(type)) {
        auto settings = read_settings_json(record.settings_json);
        if (!settings.ok()) continue;
        MailAccount account;
        account.id = record.id;
        account.config = std::move(settings->config);
        account.collapsed = settings->collapsed;
        account.avatar_seed = record.color;
        if (auto secret = vault.get(record.id)) account.config.password = secret->password;
        loaded.accounts.push_back(std::move(account));
    }
    if (auto active = store.active_id(type)) {
        for (std::size_t i = 0; i < loaded.accounts.size(); ++i) {
            if (loaded.accounts[i].id == *active) {
                loaded.active = i;
                break;
            }
        }
    }
    return loaded;
}

LoadedAccounts load_accounts() {
    auto store = services::AccountStore::load();
    if (!store.ok()) return {};
    auto vault = services::SecretVault::open();
    if (!vault.ok()) {
        // Without the vault the accounts still show; they just have no passwords in memory.
        static const services::SecretVault empty;
        return load_accounts_from(*store, empty);
    }
    return load_accounts_from(*store, *vault);
}

std::optional<std::filesystem::path> resolve_storage_root(const StorageRoot& root) {
    switch (root.kind()) {
        case StorageRoot::Kind::ConfigRoot:
            return services::config_root();
        case StorageRoot::Kind::Directory:
            return *root.directory_path();
        case StorageRoot::Kind::None:
            break;
    }
    return std::nullopt;
}

Status persist_accounts(const std::vector<MailAccount>& accounts, std::size_t active, const StorageRoot& root) {
    std::optional<std::filesystem::path> dir = resolve_storage_root(root);
    if (!dir) return {};

    auto store = services::AccountStore::load_in(*dir);
    if (!store.ok()) return store.error();
    auto vault = services::SecretVault::open_in(*dir);
    if (!vault.ok()) return vault.error();

    const services::AccountTypeId type = email_account_type();
    std::set<std::string> kept;
    for (const MailAccount& account : accounts) kept.insert(account.id);
    for (const services::AccountRecord& record : store->list(type)) {
        if (kept.count(record.id)) continue;
        store->remove(record.id);
        vault->remove(record.id);
    }

    for (const MailAccount& account : accounts) {
        services::AccountRecord record;
        record.id = account.id;
        record.type = type;
        record.label = account_label(account.config);
        record.settings_json = write_settings_json(account.config, account.collapsed);
        record.color = account.avatar_seed;
        store->upsert(std::move(record));
        // An OAuth account's entry holds its tokens, which sign-in owns; a password written
        // over it would lose them.
        if (account.config.auth == AuthMethod::OAuth) continue;
        if (!account.config.password.empty())
            vault->put(account.id, services::Secret{account.config.password, std::nullopt});
        else
            vault->remove(account.id);
    }
    if (active < accounts.size()) store->set_active(type, accounts[active].id);

    MAIL_TRY(vault->try_save());
    return store->save_in(*dir);
}

}  // namespace mail::accounts
