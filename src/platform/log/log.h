#pragma once
// Structured log events: a target ("mail::engine"), a level, a message and named fields, written
// as one JSON line per event on standard error:
//   {"ts":"2024-05-01T09:30:00.125Z","level":"warn","target":"mail::engine","message":"…","fields":{"error":"…"}}
// Safe to call from any thread; each line reaches the stream in one piece.
//
// VARO_MAIL_LOG (error, warn, info, debug, trace) sets the most detailed level printed; the
// default is info. Captures (below) see every level.
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "platform/base/result.h"

namespace mail::log {

enum class Level { Error, Warn, Info, Debug, Trace };

// "error", "warn", "info", "debug", "trace".
std::string_view level_name(Level level);
std::optional<Level> parse_level(std::string_view text);

// A named value: text or a number. Holds views, so build fields inside the event call.
struct Field {
    using Value = std::variant<std::string_view, std::int64_t, std::uint64_t, double, bool>;

    Field(std::string_view name, std::string_view text) : name(name), value(text) {}
    Field(std::string_view name, const std::string& text) : name(name), value(std::string_view(text)) {}
    // Without this overload a string literal would pick the bool constructor.
    Field(std::string_view name, const char* text) : name(name), value(std::string_view(text ? text : "")) {}
    Field(std::string_view name, bool flag) : name(name), value(flag) {}
    Field(std::string_view name, double number) : name(name), value(number) {}
    template <typename T>
        requires(std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char>)
    Field(std::string_view name, T number) : name(name), value(to_value(number)) {}

    std::string_view name;
    Value value;

private:
    template <typename T>
    static Value to_value(T number) {
        if constexpr (std::is_signed_v<T>) return static_cast<std::int64_t>(number);
        else return static_cast<std::uint64_t>(number);
    }
};

void event(std::string_view target, Level level, std::string_view message,
           std::initializer_list<Field> fields = {});

// The most detailed level written to standard error and the log file.
void set_max_level(Level level);
Level max_level();

// Also appends every printed line to this file (created with mode 0600, parent directories
// made). Replaces an earlier log file.
Status log_to_file(const std::filesystem::path& file);
void stop_logging_to_file();

// One event as a capture keeps it.
struct Event {
    using Value = std::variant<std::string, std::int64_t, std::uint64_t, double, bool>;

    std::string target;
    Level level = Level::Info;
    std::string message;
    std::vector<std::pair<std::string, Value>> fields;

    // The field's value as text (numbers in decimal, flags as true/false); nothing if absent.
    std::optional<std::string> field(std::string_view name) const;
};

// While a capture is alive, events are collected by it instead of being printed; the newest
// capture wins when several are alive. Meant for tests ("this warning was logged once").
class Capture {
public:
    Capture(Capture&&) noexcept;
    Capture& operator=(Capture&&) noexcept;
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture();

    std::vector<Event> events() const;
    // Events with this target, level and message.
    std::size_t count(std::string_view target, Level level, std::string_view message) const;
    void clear();

    struct State;

private:
    friend Capture capture();
    explicit Capture(std::shared_ptr<State> state);
    std::shared_ptr<State> state_;
};

[[nodiscard]] Capture capture();

}  // namespace mail::log
