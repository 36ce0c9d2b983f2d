#include "platform/util/link.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

// Points the opener at a script that writes its argument count and arguments to a file.
class TryOsOpen : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("mail-link-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        record_ = dir_ / "opened.txt";
        const fs::path script = dir_ / "opener";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"" << (dir_ / "partial").string()
                              << "\"\nmv \"" << (dir_ / "partial").string() << "\" \"" << record_.string()
                              << "\"\n";
        fs::permissions(script, fs::perms::owner_all);
        setenv("VARO_MAIL_OPEN_COMMAND", script.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("VARO_MAIL_OPEN_COMMAND");
        fs::remove_all(dir_);
    }

    // The opener runs detached, so wait for its record to appear.
    std::string wait_for_record() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(record_) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(record_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    fs::path record_;
};

TEST_F(TryOsOpen, PassesTheUrlAsOneArgumentWithoutAShell) {
    const std::string url =
        "https://accounts.example.com/auth?a=1&b=$(touch${IFS}pwned)&c=`id`;echo'\"|x>y";
    ASSERT_TRUE(mail::link::try_os_open(url).ok());
    EXPECT_EQ(wait_for_record(), "1\n" + url + "\n");
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(TryOsOpen, AcceptsOnlyWebAndMailLinks) {
    struct Case {
        const char* url;
        bool accepted;
    };
    const Case cases[] = {
        {"http://example.com/", true},
        {"HTTPS://example.com/path?q=1", true},
        {"mailto:anna@example.org", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://example.com/", false},
        {"example.com", false},
        {"", false},
        {"-https://example.com", false},
        {"https:", false},
        {"mailto:", false},
        {"https://example.com/a b", false},
        {"https://example.com/\nsecond", false},
    };
    for (const Case& c : cases) {
        fs::remove(record_);
        const mail::Status status = mail::link::try_os_open(c.url);
        EXPECT_EQ(status.ok(), c.accepted) << c.url;
        if (!status.ok()) {
            EXPECT_FALSE(status.error_text().empty());
        }
        if (c.accepted) {
            EXPECT_EQ(wait_for_record(), std::string("1\n") + c.url + "\n");
        }
    }
}

TEST_F(TryOsOpen, MissingOpenerIsAnError) {
    setenv("VARO_MAIL_OPEN_COMMAND", (dir_ / "no-such-opener").c_str(), 1);
    const mail::Status status = mail::link::try_os_open("https://example.com/");
    ASSERT_FALSE(status.ok());
    EXPECT_NE(status.error_text().find("no-such-opener"), std::string::npos);

    // Present but not executable: the exec failure is reported, not swallowed by the fork.
    const fs::path plain = dir_ / "plain";
    std::ofstream(plain) << "not a program\n";
    fs::permissions(plain, fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec);
    setenv("VARO_MAIL_OPEN_COMMAND", plain.c_str(), 1);
    EXPECT_FALSE(mail::link::try_os_open("https://example.com/").ok());
}

}  // namespace
