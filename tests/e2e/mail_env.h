#pragma once
// The loopback mail servers of tests/mail, found through MAIL_TEST_ENV (the directory that
// mail-env.sh set up and started). Tests skip when it is not set.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

namespace mail::e2e {

inline std::string shell_quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a shell command; its standard output, or a test failure when it exits non-zero.
inline std::string run_shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run " << command;
        return out;
    }
    std::array<char, 4096> chunk;
    while (std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe)) out.append(chunk.data(), n);
    int status = pclose(pipe);
    if (status != 0) ADD_FAILURE() << "command failed (" << status << "): " << command << "\n" << out;
    return out;
}

struct ProbeRow {
    std::uint32_t uid = 0;
    std::vector<std::string> flags;
    std::string message_id;
    bool has(const std::string& flag) const {
        for (const auto& f : flags)
            if (f == flag) return true;
        return false;
    }
};

class MailEnv {
public:
    static std::optional<MailEnv> from_environment() {
        const char* base = std::getenv("MAIL_TEST_ENV");
        if (!base || !*base) return std::nullopt;
        MailEnv env;
        env.base = base;
        std::ifstream ports(env.base / "ports");
        std::string line;
        while (std::getline(ports, line)) {
            auto eq = line.find('=');
            if (eq != std::string::npos) env.ports[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
        }
        return env;
    }

    std::filesystem::path base;
    std::map<std::string, int> ports;

    int imaps_port() const { return ports.count("IMAPS_PORT") ? ports.at("IMAPS_PORT") : 10993; }
    std::string ca() const { return (base / "certs" / "ca.pem").string(); }
    std::string scripts() const { return MAIL_SCRIPTS_DIR; }

    // A fresh user per test keeps tests apart; the name carries the test's own word.
    std::string add_user(const std::string& local, const std::string& domain = "example.test") {
        static int counter = 0;
        std::string user = local + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + "@" + domain;
        run_shell(scripts() + "/mail-env.sh adduser " + shell_quote(base.string()) + " " + shell_quote(user) + " " +
                  shell_quote(password_of(user)));
        return user;
    }
    static std::string password_of(const std::string& user) { return user.substr(0, user.find('@')) + "-pass"; }

    std::filesystem::path maildir(const std::string& user, const std::string& mailbox) const {
        auto at = user.find('@');
        auto dir = base / "mail" / user.substr(at + 1) / user.substr(0, at) / "Maildir";
        return mailbox == "INBOX" ? dir : dir / ("." + mailbox);
    }

    // `count` corpus messages (5–50 KB, Message-ID <seed-N@example.test>) into the mailbox,
    // UIDs 1..count in order; `flags` are Maildir letters given to all of them.
    void seed(const std::string& user, const std::string& mailbox, int count, const std::string& flags = "") {
        auto corpus = corpus_dir(count);
        run_shell("/usr/bin/python3 " + scripts() + "/seed_maildir.py " + shell_quote(maildir(user, mailbox).string()) +
                  " " + shell_quote(corpus) + (flags.empty() ? "" : " " + flags));
    }

    // Sets or clears flags by UID through Dovecot's own tool, as another client would.
    void doveadm_flags(const std::string& user, const std::string& mailbox, const std::string& action,
                       const std::string& flags, const std::string& uids) {
        run_shell("doveadm -c " + shell_quote((base / "dovecot" / "dovecot.conf").string()) + " flags " + action + " -u " +
                  shell_quote(user) + " " + shell_quote(flags) + " mailbox " + shell_quote(mailbox) + " uid " + uids);
    }

    // A separate IMAP session (python's imaplib) reading the mailbox as the server holds it.
    std::vector<ProbeRow> probe(const std::string& user, const std::string& mailbox) {
        std::string out = run_shell("/usr/bin/python3 " + scripts() + "/imap_probe.py " + std::to_string(imaps_port()) +
                                    " " + shell_quote(ca()) + " " + shell_quote(user) + " " +
                                    shell_quote(password_of(user)) + " " + shell_quote(mailbox));
        std::vector<ProbeRow> rows;
        std::size_t start = 0;
        while (start < out.size()) {
            std::size_t end = out.find('\n', start);
            std::string line = out.substr(start, end - start);
            start = end == std::string::npos ? out.size() : end + 1;
            if (line.empty()) continue;
            auto j = nlohmann::json::parse(line);
            rows.push_back({j["uid"].get<std::uint32_t>(), j["flags"].get<std::vector<std::string>>(),
                            j["message_id"].get<std::string>()});
        }
        return rows;
    }

private:
    // Made once per size and shared by every test process; the rename makes it appear whole.
    std::string corpus_dir(int count) {
        auto dir = std::filesystem::temp_directory_path() / ("mail-e2e-corpus-" + std::to_string(count));
        if (!std::filesystem::exists(dir / "done")) {
            std::string tmp = dir.string() + "." + std::to_string(::getpid());
            run_shell("rm -rf " + shell_quote(tmp) + " && /usr/bin/python3 " + scripts() + "/gen_corpus.py " +
                      shell_quote(tmp + "/msgs") + " " + std::to_string(count) + " && touch " + shell_quote(tmp + "/done") +
                      " && (mv -T " + shell_quote(tmp) + " " + shell_quote(dir.string()) + " 2>/dev/null || rm -rf " +
                      shell_quote(tmp) + ")");
        }
        return (dir / "msgs").string();
    }
};

// A test that needs the started mail environment: skipped when there is none, and trusting
// the environment's certificate authority otherwise.
class MailEnvTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto found = MailEnv::from_environment();
        if (!found) GTEST_SKIP() << "MAIL_TEST_ENV is not set: run tests/mail/mail-env.sh setup/start and export it";
        env = *found;
        ::setenv("SSL_CERT_FILE", env.ca().c_str(), 1);
    }

    MailEnv env;
};

}  // namespace mail::e2e
