#pragma once
// Account secrets, kept in "vault.json" under the configuration root, readable by its owner
// only (mode 0600, set before any byte is written):
//   {"version":1,"secrets":{"<id>":{"password":"…","token":"…"}}}
// Each secret has a password and an optional token (OAuth token JSON). The file is protected by
// its mode, not encrypted.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/base/result.h"

namespace mail::services {

struct Secret {
    std::string password;
    std::optional<std::string> token;
    friend bool operator==(const Secret&, const Secret&) = default;
};

class SecretVault {
public:
    // A missing file is an empty vault; a damaged one is an error. Without a configuration
    // root the vault is empty and cannot be saved.
    static Result<SecretVault> open();
    static Result<SecretVault> open_in(const std::filesystem::path& root);
    static std::filesystem::path file_in(const std::filesystem::path& root);

    std::optional<Secret> get(const std::string& id) const;
    void put(const std::string& id, Secret secret);
    void remove(const std::string& id);
    // Writes the vault where it was opened, atomically, with mode 0600. Only the entries put or
    // removed through this object are written over the file as it is now, so two holders (the
    // engine refreshing a token, the interface saving passwords) never undo each other's changes.
    // A file damaged since opening is an error and is left alone.
    Status try_save() const;

private:
    std::filesystem::path file_;
    std::map<std::string, Secret> secrets_;
    std::map<std::string, std::optional<Secret>> changes_;  // nothing: removed
};

}  // namespace mail::services
