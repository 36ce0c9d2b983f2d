#pragma once
// What an account signs in with, resolved afresh before every live operation: its password,
// or an OAuth access token from the secret vault, refreshed first when it is about to expire.
// Runs on the engine thread (a refresh blocks on the token endpoint).
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "core/stored_config.h"
#include "engine/oauth_refresh.h"
#include "platform/base/result.h"
#include "platform/services/secret_vault.h"

namespace mail::engine {

struct PasswordCredentials {
    std::string login;
    std::string password;
    friend bool operator==(const PasswordCredentials&, const PasswordCredentials&) = default;
};

struct OAuthCredentials {
    std::string login;
    std::string access_token;
    friend bool operator==(const OAuthCredentials&, const OAuthCredentials&) = default;
};

using Credentials = std::variant<PasswordCredentials, OAuthCredentials>;

// The account's username without surrounding white space, else its email.
std::string login_name(const StoredConfig& account);

// Where resolution reads and refreshes; the defaults are the real vault, clock and endpoint.
struct CredentialSources {
    std::function<Result<services::SecretVault>()> open_vault = [] { return services::SecretVault::open(); };
    std::function<std::uint64_t()> now = now_seconds;
    std::function<Result<OAuthTokens>(OAuthProvider, const std::string& client_id, const std::string& refresh_token)>
        refresh = refresh_tokens;
};

Result<Credentials> resolve_credentials(const StoredConfig& account, const CredentialSources& sources = {});

}  // namespace mail::engine
