#include "engine/credentials.h"

namespace mail::engine {

namespace {

std::string trimmed(const std::string& text) {
    const char* space = " \t\r\n\f\v";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return {};
    std::size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string login_name(const StoredConfig& account) {
    std::string user = trimmed(account.username);
    return user.empty() ? account.email : user;
}

Result<Credentials> resolve_credentials(const StoredConfig& account, const CredentialSources& sources) {
    std::string login = login_name(account);
    if (account.auth == AuthMethod::Password) {
        if (account.password.empty()) return make_error("no password set for this account");
        return Credentials(PasswordCredentials{std::move(login), account.password});
    }

    auto vault = sources.open_vault();
    if (!vault) return vault.error();
    std::optional<services::Secret> secret = vault->get(account.email);
    if (!secret) return make_error("not signed in (no OAuth token in vault)");
    std::optional<OAuthTokens> tokens = secret->token ? tokens_from_json(*secret->token) : std::nullopt;
    if (!tokens) return make_error("stored credential is not an OAuth token");
    if (!needs_refresh(*tokens, sources.now())) return Credentials(OAuthCredentials{std::move(login), tokens->access_token});

    std::optional<OAuthProvider> provider = detect_provider(account.email);
    if (!provider) return make_error("cannot refresh: unknown OAuth provider");
    std::optional<std::string> client = client_id(*provider);
    if (!client)
        return make_error(std::string("set ") + provider_config(*provider).client_id_variable + " to refresh the token");
    if (tokens->refresh_token.empty()) return make_error("access token expired and no refresh token; sign in again");
    auto fresh = sources.refresh(*provider, *client, tokens->refresh_token);
    if (!fresh) return fresh.error();
    vault->put(account.email, services::Secret{"", tokens_to_json(*fresh)});
    if (Status saved = vault->try_save(); !saved)
        return make_error("could not save refreshed sign-in credentials: " + saved.error_text());
    return Credentials(OAuthCredentials{std::move(login), fresh->access_token});
}

}  // namespace mail::engine
