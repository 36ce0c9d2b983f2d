#pragma once
// OAuth tokens of Google and Microsoft accounts: their vault form, when they need refreshing,
// the refresh exchange at the provider's token endpoint, and the SASL XOAUTH2 string IMAP and
// SMTP present. The browser sign-in builds on the same provider table.
//
// Endpoints can be moved for tests: VARO_MAIL_GOOGLE_TOKEN_URL, VARO_MAIL_GOOGLE_AUTH_URL,
// VARO_MAIL_MICROSOFT_TOKEN_URL and VARO_MAIL_MICROSOFT_AUTH_URL replace the built-in addresses.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/engine_request.h"
#include "platform/base/result.h"

namespace mail::engine {

struct OAuthTokens {
    std::string access_token;
    std::string refresh_token;     // empty when the provider gave none
    std::uint64_t expires_in = 0;  // seconds; 0 when not reported
    std::uint64_t obtained_at = 0; // seconds since the epoch
    friend bool operator==(const OAuthTokens&, const OAuthTokens&) = default;
};

// The sign-in providers, as requests name them.
using OAuthProvider = mail::OAuthProvider;

struct ProviderConfig {
    const char* display_name;        // "Google", "Microsoft"
    const char* client_id_variable;  // VARO_MAIL_GOOGLE_CLIENT_ID, VARO_MAIL_MICROSOFT_CLIENT_ID
    std::string authorization_url;
    std::string token_url;
    std::string scope;
};

// The provider's configuration, with any endpoint override from the environment applied.
ProviderConfig provider_config(OAuthProvider provider);

// The part after the first "@", lower-cased, against the providers' mail domains.
std::optional<OAuthProvider> detect_provider(std::string_view address);

// The client id from the provider's variable, when set and not empty.
std::optional<std::string> client_id(OAuthProvider provider);

// Seconds since the epoch; 0 if the clock is before it.
std::uint64_t now_seconds();

// True when the lifetime is unknown or now + 60 s has reached obtained_at + expires_in.
bool needs_refresh(const OAuthTokens& tokens, std::uint64_t now);

// The vault's token text: {"access_token","refresh_token","expires_in","obtained_at"} in order.
std::string tokens_to_json(const OAuthTokens& tokens);
std::optional<OAuthTokens> tokens_from_json(std::string_view text);

// A token endpoint's answer: "access_token" must be a non-empty string; obtained_at = now.
std::optional<OAuthTokens> parse_token_response(std::string_view body, std::uint64_t now);

// The refresh exchange (blocking, 20 s): "token refresh rejected: " + body when the answer is
// not a token; the old refresh token is kept when the answer carries none.
Result<OAuthTokens> refresh_tokens(OAuthProvider provider, const std::string& client_id,
                                   const std::string& refresh_token);

// "user=" login 0x01 "auth=Bearer " token 0x01 0x01.
std::string xoauth2_string(std::string_view login, std::string_view access_token);


}  // namespace mail::engine
