#include "core/connection_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace mail {
namespace {

constexpr const char* kAuth = "authentication failed \u2014 check the username and password";
constexpr const char* kTls = "TLS/certificate error \u2014 the server's certificate wasn't trusted";
constexpr const char* kRefused = "connection refused \u2014 check the host and port";
constexpr const char* kTimeout = "connection timed out \u2014 the server didn't respond";
constexpr const char* kHost = "host not found \u2014 check the server address";
constexpr const char* kUnreachable = "network unreachable \u2014 check your connection";

struct Case {
    const char* error;
    const char* expected;
};

TEST(FriendlyConnectionError, EachFragmentOfEachGroup) {
    const Case cases[] = {
        {"535 5.7.8 Username and Password not accepted", kAuth},
        {"a1 NO [AUTHENTICATIONFAILED] Invalid credentials (Failure)", kAuth},
        {"Authentication failed.", kAuth},
        {"server says: invalid credentials", kAuth},
        {"AUTH mechanism failure", kAuth},
        {"auth rejected by policy", kAuth},
        {"Auth: access denied", kAuth},
        {"XOAUTH2 token invalid", kAuth},
        {"LOGIN failed.", kAuth},
        {"authenticationfailed", kAuth},
        {"certificate verify failed: unable to get local issuer certificate", kTls},
        {"STARTTLS not offered", kTls},
        {"TLS handshake aborted", kTls},
        {"handshake: wrong version number", kTls},
        {"self-signed certificate in chain", kTls},
        {"SSL routines::unexpected eof while reading", kTls},
        {"Connection refused (os error 111)", kRefused},
        {"operation timed out", kTimeout},
        {"read Timeout after 30 s", kTimeout},
        {"DNS error: no record", kHost},
        {"failed to lookup address information", kHost},
        {"could not resolve host imap.example.invalid", kHost},
        {"Name or service not known", kHost},
        {"host name not known", kHost},
        {"No such host is known", kHost},
        {"Network is unreachable (os error 101)", kUnreachable},
        {"host unreachable", kUnreachable},
    };
    for (const Case& c : cases) EXPECT_EQ(friendly_connection_error(c.error), c.expected) << c.error;
}

TEST(FriendlyConnectionError, EarlierGroupsWin) {
    const Case cases[] = {
        // 535 is tested before any wording, even one that names TLS or a time-out.
        {"535 authentication over TLS timed out", kAuth},
        // "auth" alone is not enough; with "fail" it is, even when the failure is a TLS one.
        {"auth over tls", kTls},
        {"TLS authentication failure", kAuth},
        {"STARTTLS refused", kTls},
        {"connection refused after timeout", kRefused},
        {"dns lookup timed out", kTimeout},
        {"could not resolve: network is unreachable", kHost},
        // Upper case is folded before matching.
        {"CONNECTION REFUSED", kRefused},
    };
    for (const Case& c : cases) EXPECT_EQ(friendly_connection_error(c.error), c.expected) << c.error;
}

TEST(FriendlyConnectionError, UnmatchedTextIsKeptAsItWas) {
    EXPECT_EQ(friendly_connection_error("Unexpected EOF from server"), "connection failed: Unexpected EOF from server");
    EXPECT_EQ(friendly_connection_error(""), "connection failed: ");
    // Only ASCII is folded; the rest of the text passes through byte for byte.
    EXPECT_EQ(friendly_connection_error("Verbindung zurückgesetzt"), "connection failed: Verbindung zurückgesetzt");
    EXPECT_EQ(friendly_connection_error("\xC4\xB0NVAL\xC4\xB0" "D"), "connection failed: \xC4\xB0NVAL\xC4\xB0" "D");
}

}  // namespace
}  // namespace mail
