#pragma once
// The account registry: records of every account type the desktop knows, kept in
// "accounts.json" under the configuration root:
//   {"version":1,
//    "accounts":[{"id":"…","type":"email","label":"…","color":0,"settings":"{…}"}, …],
//    "active":{"email":"…"}}
// Records keep their stored order. "settings" is a string holding the owner's JSON text, so
// the owner gets back exactly what it wrote and one unreadable settings value damages only its
// own record, never the registry.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace mail::services {

struct AccountTypeId {
    std::string value;
    static AccountTypeId from(std::string text) { return AccountTypeId{std::move(text)}; }
    friend bool operator==(const AccountTypeId&, const AccountTypeId&) = default;
};

using AccountId = std::string;

struct AccountRecord {
    AccountId id;
    AccountTypeId type;
    std::string label;
    std::string settings_json;  // one JSON object, kept as the text it was written as
    std::uint8_t color = 0;     // a small colour number the owner of the record chooses
};

class AccountStore {
public:
    // The registry at the default configuration root. A missing file (or no configuration root
    // at all) is an empty registry; a damaged one is an error naming the file, never silently
    // replaced by an empty one.
    static Result<AccountStore> load();
    static Result<AccountStore> load_in(const std::filesystem::path& root);
    static std::filesystem::path file_in(const std::filesystem::path& root);

    std::vector<AccountRecord> list(const AccountTypeId& type) const;
    std::optional<AccountId> active_id(const AccountTypeId& type) const;
    // Replaces the record with the same id in its place, else appends.
    void upsert(AccountRecord record);
    // Also forgets the id where it is the active one.
    void remove(const AccountId& id);
    void set_active(const AccountTypeId& type, const AccountId& id);
    // Written atomically (temporary file, fsync, rename).
    Status save_in(const std::filesystem::path& root) const;

private:
    std::vector<AccountRecord> records_;
    std::vector<std::pair<std::string, AccountId>> active_;  // type → id
};

}  // namespace mail::services
