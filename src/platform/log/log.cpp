#include "platform/log/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>

namespace mail::log {

struct Capture::State {
    mutable std::mutex mutex;
    std::vector<Event> events;
};

namespace {

struct Sinks {
    std::mutex mutex;
    std::vector<std::shared_ptr<Capture::State>> captures;  // newest last
    int file = -1;
};

Sinks& sinks() {
    static Sinks* instance = new Sinks;  // never destroyed: threads may log during exit
    return *instance;
}

std::atomic<int>& max_level_slot() {
    static std::atomic<int> slot = [] {
        const char* env = std::getenv("VARO_MAIL_LOG");
        auto parsed = env ? parse_level(env) : std::nullopt;
        return static_cast<int>(parsed.value_or(Level::Info));
    }();
    return slot;
}

std::string timestamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03ldZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  now.tv_nsec / 1000000);
    return text;
}

std::string format_line(std::string_view target, Level level, std::string_view message,
                        std::initializer_list<Field> fields) {
    nlohmann::ordered_json line;
    line["ts"] = timestamp();
    line["level"] = level_name(level);
    line["target"] = target;
    line["message"] = message;
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (const Field& field : fields) {
        std::string name(field.name);
        std::visit([&](const auto& value) { object[name] = value; }, field.value);
    }
    line["fields"] = std::move(object);
    // Invalid UTF-8 in a message must not lose the event.
    std::string text = line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    text.push_back('\n');
    return text;
}

// One write call for the whole line; the loop only covers interruptions and short writes.
void write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

Event to_event(std::string_view target, Level level, std::string_view message,
               std::initializer_list<Field> fields) {
    Event event{std::string(target), level, std::string(message), {}};
    for (const Field& field : fields) {
        Event::Value value = std::visit(
            [](const auto& v) -> Event::Value {
                if constexpr (std::is_same_v<std::decay_t<decltype(v)>, std::string_view>) return std::string(v);
                else return v;
            },
            field.value);
        event.fields.emplace_back(std::string(field.name), std::move(value));
    }
    return event;
}

}  // namespace

std::string_view level_name(Level level) {
    switch (level) {
        case Level::Error: return "error";
        case Level::Warn: return "warn";
        case Level::Info: return "info";
        case Level::Debug: return "debug";
        case Level::Trace: return "trace";
    }
    return "info";
}

std::optional<Level> parse_level(std::string_view text) {
    for (Level level : {Level::Error, Level::Warn, Level::Info, Level::Debug, Level::Trace}) {
        if (text == level_name(level)) return level;
    }
    if (text == "warning") return Level::Warn;
    return std::nullopt;
}

void set_max_level(Level level) { max_level_slot().store(static_cast<int>(level)); }
Level max_level() { return static_cast<Level>(max_level_slot().load()); }

void event(std::string_view target, Level level, std::string_view message,
           std::initializer_list<Field> fields) {
    Sinks& s = sinks();
    {
        std::shared_ptr<Capture::State> capture;
        {
            std::lock_guard lock(s.mutex);
            if (!s.captures.empty()) capture = s.captures.back();
        }
        if (capture) {
            Event captured = to_event(target, level, message, fields);
            std::lock_guard lock(capture->mutex);
            capture->events.push_back(std::move(captured));
            return;
        }
    }
    if (static_cast<int>(level) > max_level_slot().load()) return;
    std::string line = format_line(target, level, message, fields);
    std::lock_guard lock(s.mutex);
    write_all(STDERR_FILENO, line);
    if (s.file >= 0) write_all(s.file, line);
}

Status log_to_file(const std::filesystem::path& file) {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return make_error("could not open log file " + file.string() + ": " + ec.message());
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return make_error("could not open log file " + file.string() + ": " + std::strerror(errno));
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    if (s.file >= 0) ::close(s.file);
    s.file = fd;
    return {};
}

void stop_logging_to_file() {
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    if (s.file >= 0) ::close(s.file);
    s.file = -1;
}

std::optional<std::string> Event::field(std::string_view name) const {
    for (const auto& [key, value] : fields) {
        if (key != name) continue;
        return std::visit(
            [](const auto& v) -> std::string {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::string>) return v;
                else if constexpr (std::is_same_v<T, bool>) return v ? "true" : "false";
                else if constexpr (std::is_same_v<T, double>) return nlohmann::json(v).dump();
                else return std::to_string(v);
            },
            value);
    }
    return std::nullopt;
}

Capture::Capture(std::shared_ptr<State> state) : state_(std::move(state)) {}
Capture::Capture(Capture&&) noexcept = default;

Capture& Capture::operator=(Capture&& other) noexcept {
    if (this != &other) {
        Capture dropped(std::move(*this));
        state_ = std::move(other.state_);
    }
    return *this;
}

Capture::~Capture() {
    if (!state_) return;
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    auto found = std::find(s.captures.begin(), s.captures.end(), state_);
    if (found != s.captures.end()) s.captures.erase(found);
}

std::vector<Event> Capture::events() const {
    if (!state_) return {};
    std::lock_guard lock(state_->mutex);
    return state_->events;
}

std::size_t Capture::count(std::string_view target, Level level, std::string_view message) const {
    if (!state_) return 0;
    std::lock_guard lock(state_->mutex);
    return static_cast<std::size_t>(std::count_if(state_->events.begin(), state_->events.end(), [&](const Event& e) {
        return e.target == target && e.level == level && e.message == message;
    }));
}

void Capture::clear() {
    if (!state_) return;
    std::lock_guard lock(state_->mutex);
    state_->events.clear();
}

Capture capture() {
    auto state = std::make_shared<Capture::State>();
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    s.captures.push_back(state);
    return Capture(state);
}

}  // namespace mail::log
