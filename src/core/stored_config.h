#pragma once
// One account's settings and their stored JSON form in the account registry.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace mail {

enum class AuthMethod : std::uint8_t { Password = 0, OAuth = 1 };

// Defaults are the values of a new account.
struct StoredConfig {
    std::string display_name;
    std::string email;
    std::string imap_host;
    std::uint16_t imap_port = 993;
    bool imap_tls = true;
    std::string smtp_host;
    std::uint16_t smtp_port = 465;
    bool smtp_tls = true;
    std::string username;
    AuthMethod auth = AuthMethod::Password;
    std::string password;  // in memory only; never written to the settings

    friend bool operator==(const StoredConfig&, const StoredConfig&) = default;
};

std::string_view auth_method_name(AuthMethod method);  // "Password", "OAuth"

// What a registry record's settings hold: the configuration (without password) and whether
// the account's group is collapsed in the folder drawer.
struct StoredSettings {
    StoredConfig config;
    bool collapsed = false;
    friend bool operator==(const StoredSettings&, const StoredSettings&) = default;
};

// The ten fields in declaration order, then "collapsed".
std::string write_settings_json(const StoredConfig& config, bool collapsed);

// Every field but "auth" and "collapsed" is required; unknown keys are ignored; a repeated
// key, a wrong type or a port outside 0..65535 makes the settings unreadable.
Result<StoredSettings> read_settings_json(std::string_view text);

// The email when it is not empty, else "account-" and a fresh random UUID.
std::string account_id_for(const StoredConfig& config);

// The email, else the display name, else "New account".
std::string account_label(const StoredConfig& config);

}  // namespace mail
