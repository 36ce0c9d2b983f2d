#include "platform/log/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

namespace mail::log {
namespace {

// Points standard error at a file for the lifetime of the object.
class StderrToFile {
public:
    explicit StderrToFile(const std::filesystem::path& file) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrToFile() {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

std::filesystem::path temp_file(const std::string& name) {
    return std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

std::vector<std::string> lines_of(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(LogCapture, CollectsEventsWithTheirFieldsInsteadOfPrinting) {
    auto file = temp_file("log-capture");
    std::vector<Event> events;
    {
        StderrToFile redirect(file);
        auto captured = capture();
        std::string error = "connection refused";
        event("mail::engine", Level::Warn, "mail: live engine unavailable, using offline backend",
              {{"error", error}});
        event("mail::app", Level::Info, "mail: server folders listed", {{"count", 7}});
        event("mail::app", Level::Trace, "detail", {{"flag", true}, {"ratio", 0.5}, {"literal", "text"}});
        events = captured.events();
        EXPECT_EQ(captured.count("mail::engine", Level::Warn, "mail: live engine unavailable, using offline backend"), 1u);
        EXPECT_EQ(captured.count("mail::engine", Level::Error, "mail: live engine unavailable, using offline backend"), 0u);
    }
    EXPECT_TRUE(lines_of(file).empty()) << "a capture must keep events off standard error";
    std::filesystem::remove(file);

    ASSERT_EQ(events.size(), 3u);  // captures see every level, below the printing level too
    EXPECT_EQ(events[0].field("error"), "connection refused");
    EXPECT_EQ(events[1].field("count"), "7");
    EXPECT_EQ(events[2].level, Level::Trace);
    EXPECT_EQ(events[2].field("flag"), "true");
    EXPECT_EQ(events[2].field("ratio"), "0.5");
    EXPECT_EQ(events[2].field("literal"), "text");  // not turned into a bool
    EXPECT_EQ(events[2].field("missing"), std::nullopt);
}

TEST(LogCapture, NewestCaptureWinsAndEndsWithItsGuard) {
    auto outer = capture();
    {
        auto inner = capture();
        event("t", Level::Info, "inner");
        EXPECT_EQ(inner.events().size(), 1u);
    }
    event("t", Level::Info, "outer");
    auto events = outer.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].message, "outer");
    outer.clear();
    EXPECT_TRUE(outer.events().empty());
}

TEST(LogOutput, OneWholeJsonLinePerEventFromManyThreads) {
    auto file = temp_file("log-threads");
    constexpr int threads = 6;
    constexpr int per_thread = 300;
    {
        StderrToFile redirect(file);
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                std::string long_text(3000, static_cast<char>('a' + t));  // past the pipe's atomic size
                for (int i = 0; i < per_thread; ++i) {
                    event("mail::test", Level::Warn, "mail: busy \"quoted\"\n",
                          {{"thread", t}, {"index", i}, {"payload", long_text}});
                }
            });
        }
        for (auto& worker : workers) worker.join();
    }
    auto lines = lines_of(file);
    std::filesystem::remove(file);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(threads * per_thread));
    std::vector<int> next(threads, 0);
    for (const auto& line : lines) {
        auto json = nlohmann::ordered_json::parse(line);  // throws on a torn line
        std::vector<std::string> keys;
        for (auto& [key, value] : json.items()) keys.push_back(key);
        EXPECT_EQ(keys, (std::vector<std::string>{"ts", "level", "target", "message", "fields"}));
        EXPECT_EQ(json["level"], "warn");
        EXPECT_EQ(json["target"], "mail::test");
        EXPECT_EQ(json["message"], "mail: busy \"quoted\"\n");
        int t = json["fields"]["thread"];
        EXPECT_EQ(json["fields"]["index"], next[t]++) << "events of one thread keep their order";
        EXPECT_EQ(json["fields"]["payload"].get<std::string>(), std::string(3000, static_cast<char>('a' + t)));
        std::string ts = json["ts"];
        EXPECT_EQ(ts.size(), 24u) << ts;  // 2024-05-01T09:30:00.125Z
        EXPECT_EQ(ts.back(), 'Z');
    }
}

TEST(LogOutput, LevelFilterAndInvalidUtf8AndLogFile) {
    auto file = temp_file("log-filter");
    auto log_file = temp_file("log-dir") / "nested" / "mail.log";
    Level before = max_level();
    {
        StderrToFile redirect(file);
        ASSERT_TRUE(log_to_file(log_file).ok());
        set_max_level(Level::Warn);
        event("t", Level::Info, "hidden");
        event("t", Level::Error, "bad \xff byte", {{"error", "x\xc3"}});
        set_max_level(before);
        stop_logging_to_file();
        event("t", Level::Error, "only on stderr");
    }
    auto lines = lines_of(file);
    auto logged = lines_of(log_file);
    std::filesystem::remove(file);
    std::filesystem::remove_all(log_file.parent_path().parent_path());
    ASSERT_EQ(lines.size(), 2u);
    auto json = nlohmann::json::parse(lines[0]);
    EXPECT_EQ(json["level"], "error");
    EXPECT_EQ(json["message"], "bad \xEF\xBF\xBD byte");  // replaced, not dropped
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0], lines[0]);
}

TEST(LogLevels, NamesRoundTrip) {
    for (Level level : {Level::Error, Level::Warn, Level::Info, Level::Debug, Level::Trace}) {
        EXPECT_EQ(parse_level(level_name(level)), level);
    }
    EXPECT_EQ(parse_level("loud"), std::nullopt);
}

}  // namespace
}  // namespace mail::log
