#include "core/connection_errors.h"

#include <initializer_list>

namespace mail {
namespace {

bool contains_any(std::string_view text, std::initializer_list<std::string_view> fragments) {
    for (std::string_view fragment : fragments)
        if (text.find(fragment) != std::string_view::npos) return true;
    return false;
}

bool is_authentication(std::string_view text) {
    if (contains_any(text, {"535", "authenticationfailed", "authentication failed", "invalid credentials"}))
        return true;
    if (text.find("auth") != std::string_view::npos && contains_any(text, {"fail", "reject", "denied", "invalid"}))
        return true;
    return contains_any(text, {"login failed", "[authenticationfailed]"});
}

}  // namespace

std::string friendly_connection_error(std::string_view error) {
    std::string text(error);
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');

    if (is_authentication(text)) return "authentication failed \u2014 check the username and password";
    if (contains_any(text, {"certificate", "tls", "handshake", "self-signed", "ssl"}))
        return "TLS/certificate error \u2014 the server's certificate wasn't trusted";
    if (contains_any(text, {"refused"})) return "connection refused \u2014 check the host and port";
    if (contains_any(text, {"timed out", "timeout"})) return "connection timed out \u2014 the server didn't respond";
    if (contains_any(text, {"dns", "lookup", "resolve", "name or service not known", "not known", "no such host"}))
        return "host not found \u2014 check the server address";
    if (contains_any(text, {"unreachable", "network is unreachable"}))
        return "network unreachable \u2014 check your connection";
    return "connection failed: " + std::string(error);
}

}  // namespace mail
