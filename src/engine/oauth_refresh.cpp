#include "engine/oauth_refresh.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <limits>

#include <nlohmann/json.hpp>

#include "platform/json/strict_json.h"
#include "platform/services/net.h"

namespace mail::engine {

namespace {

std::string from_env(const char* name, std::string fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : std::move(fallback);
}

}  // namespace

ProviderConfig provider_config(OAuthProvider provider) {
    if (provider == OAuthProvider::Google) {
        return {"Google", "VARO_MAIL_GOOGLE_CLIENT_ID",
                from_env("VARO_MAIL_GOOGLE_AUTH_URL", "https://accounts.google.com/o/oauth2/v2/auth"),
                from_env("VARO_MAIL_GOOGLE_TOKEN_URL", "https://oauth2.googleapis.com/token"),
                "https://mail.google.com/"};
    }
    return {"Microsoft", "VARO_MAIL_MICROSOFT_CLIENT_ID",
            from_env("VARO_MAIL_MICROSOFT_AUTH_URL", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize"),
            from_env("VARO_MAIL_MICROSOFT_TOKEN_URL", "https://login.microsoftonline.com/common/oauth2/v2.0/token"),
            "offline_access https://outlook.office.com/IMAP.AccessAsUser.All https://outlook.office.com/SMTP.Send"};
}

std::optional<OAuthProvider> detect_provider(std::string_view address) {
    std::size_t at = address.find('@');
    if (at == std::string_view::npos) return std::nullopt;
    std::string domain(address.substr(at + 1));
    for (char& c : domain)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (std::string_view d : {"gmail.com", "googlemail.com"})
        if (domain == d) return OAuthProvider::Google;
    for (std::string_view d : {"outlook.com", "hotmail.com", "live.com", "msn.com", "office365.com"})
        if (domain == d) return OAuthProvider::Microsoft;
    return std::nullopt;
}

std::optional<std::string> client_id(OAuthProvider provider) {
    const char* value = std::getenv(provider_config(provider).client_id_variable);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::uint64_t now_seconds() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds);
}

bool needs_refresh(const OAuthTokens& tokens, std::uint64_t now) {
    if (tokens.expires_in == 0) return true;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t expiry = tokens.obtained_at > kMax - tokens.expires_in ? kMax : tokens.obtained_at + tokens.expires_in;
    std::uint64_t soon = now > kMax - 60 ? kMax : now + 60;
    return soon >= expiry;
}

std::string tokens_to_json(const OAuthTokens& tokens) {
    nlohmann::ordered_json j;
    j["access_token"] = tokens.access_token;
    j["refresh_token"] = tokens.refresh_token;
    j["expires_in"] = tokens.expires_in;
    j["obtained_at"] = tokens.obtained_at;
    return j.dump();
}

std::optional<OAuthTokens> tokens_from_json(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    const nlohmann::json& j = *parsed;
    auto text_field = [&](const char* key) -> const nlohmann::json* {
        auto it = j.find(key);
        return it != j.end() && it->is_string() ? &*it : nullptr;
    };
    auto number_field = [&](const char* key) -> const nlohmann::json* {
        auto it = j.find(key);
        return it != j.end() && it->is_number_unsigned() ? &*it : nullptr;
    };
    const auto *access = text_field("access_token"), *refresh = text_field("refresh_token");
    const auto *expires = number_field("expires_in"), *obtained = number_field("obtained_at");
    if (!access || !refresh || !expires || !obtained) return std::nullopt;
    return OAuthTokens{access->get<std::string>(), refresh->get<std::string>(), expires->get<std::uint64_t>(),
                       obtained->get<std::uint64_t>()};
}

std::optional<OAuthTokens> parse_token_response(std::string_view body, std::uint64_t now) {
    nlohmann::json j = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    auto access = j.find("access_token");
    if (access == j.end() || !access->is_string() || access->get<std::string>().empty()) return std::nullopt;
    OAuthTokens tokens;
    tokens.access_token = access->get<std::string>();
    if (auto r = j.find("refresh_token"); r != j.end() && r->is_string()) tokens.refresh_token = r->get<std::string>();
    if (auto e = j.find("expires_in"); e != j.end() && e->is_number_unsigned()) tokens.expires_in = e->get<std::uint64_t>();
    tokens.obtained_at = now;
    return tokens;
}

Result<OAuthTokens> refresh_tokens(OAuthProvider provider, const std::string& client, const std::string& refresh_token) {
    auto http = net::http::blocking_client().timeout(std::chrono::seconds(20)).build();
    if (!http) return http.error();
    auto response = http->post_form(provider_config(provider).token_url, {{"grant_type", "refresh_token"},
                                                                         {"client_id", client},
                                                                         {"refresh_token", refresh_token}});
    if (!response) return response.error();
    auto tokens = parse_token_response(response->body, now_seconds());
    if (!tokens) return make_error("token refresh rejected: " + response->body);
    if (tokens->refresh_token.empty()) tokens->refresh_token = refresh_token;
    return *tokens;
}

std::string xoauth2_string(std::string_view login, std::string_view access_token) {
    std::string out = "user=";
    out += login;
    out += '\x01';
    out += "auth=Bearer ";
    out += access_token;
    out += "\x01\x01";
    return out;
}


}  // namespace mail::engine
