#pragma once
// Low-level connection failures (name resolution, TCP, TLS, IMAP, SMTP) as one short sentence.
#include <string>
#include <string_view>

namespace mail {

// Pure; callable from any thread. An error text that matches no known kind comes back as
// "connection failed: " followed by the text unchanged.
std::string friendly_connection_error(std::string_view error);

}  // namespace mail
