#pragma once
// The OAuth 2.0 browser sign-in: authorization code with PKCE (S256) and a state value, the
// redirect caught by a listener on 127.0.0.1, the code exchanged for tokens, and the tokens kept
// in the secret vault under the account's address. Runs on the engine thread and blocks it.
//
// Endpoints follow the provider table of oauth_refresh.h, overrides included.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "core/engine_event.h"
#include "core/engine_request.h"
#include "engine/oauth_refresh.h"
#include "platform/base/channel.h"
#include "platform/base/result.h"
#include "platform/services/secret_vault.h"

namespace mail::engine {


struct Pkce {
    std::string verifier;   // 43 characters: 32 random bytes
    std::string challenge;  // 43 characters: SHA-256 of the verifier's text
};
Pkce make_pkce();
// 22 characters: 16 random bytes.
std::string make_state();

// The endpoint, "?", then client_id, response_type, redirect_uri, scope, code_challenge,
// code_challenge_method, state, Google's access_type and prompt, and login_hint when not empty.
std::string authorization_url(OAuthProvider provider, const std::string& client_id, const std::string& redirect_uri,
                              const std::string& challenge, const std::string& state, const std::string& login_hint);

// The whole HTTP answer the browser gets: status line, headers and the small page around `text`.
std::string sign_in_response(std::string_view text);

// POSTs the code to the token endpoint (20 s); "token endpoint rejected exchange: " + body when
// the answer is not a token.
Result<OAuthTokens> exchange_code(OAuthProvider provider, const std::string& client_id, const std::string& code,
                                  const std::string& verifier, const std::string& redirect_uri);

struct SignInOptions {
    std::chrono::milliseconds limit{std::chrono::seconds(300)};
    std::function<Status(std::string_view url)> open_browser;  // the system browser when empty
};

// Listener, URL, browser, redirect, exchange. Fails with one line: "could not bind loopback: …",
// "could not open sign-in browser: …", "timed out waiting for the sign-in redirect",
// "authorization denied: …", "authorization state mismatch (possible CSRF)" or the exchange's.
Result<OAuthTokens> browser_sign_in(OAuthProvider provider, const std::string& client_id, const std::string& login_hint,
                                    const SignInOptions& options = {});

struct SignInSources {
    SignInOptions browser;
    std::function<Result<services::SecretVault>()> open_vault = [] { return services::SecretVault::open(); };
};


// The live OAuthSignIn: SignedIn once the tokens are saved, else Failed "oauth".
void handle_oauth_sign_in(const OAuthSignIn& request, const Sender<EngineEvent>& events,
                          const SignInSources& sources = {});

}  // namespace mail::engine
