#include "platform/services/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace mail::services {
namespace {

constexpr const char* kAppDir = "varo-mail";

struct Override {
    std::mutex mutex;
    std::optional<std::filesystem::path> dir;
};

Override& root_override() {
    static Override instance;
    return instance;
}

std::optional<std::filesystem::path> overridden() {
    Override& o = root_override();
    std::lock_guard lock(o.mutex);
    return o.dir;
}

std::optional<std::filesystem::path> absolute_env(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    std::filesystem::path path(value);
    if (!path.is_absolute()) return std::nullopt;
    return path;
}

std::optional<std::filesystem::path> home_dir() {
    if (auto home = absolute_env("HOME")) return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return std::nullopt;
    if (!found->pw_dir || found->pw_dir[0] != '/') return std::nullopt;
    return std::filesystem::path(found->pw_dir);
}

std::optional<std::filesystem::path> xdg_root(const char* variable, const char* fallback_under_home) {
    if (auto base = absolute_env(variable)) return *base / kAppDir;
    if (auto home = home_dir()) return *home / fallback_under_home / kAppDir;
    return std::nullopt;
}

}  // namespace

void set_root_override(std::filesystem::path dir) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    Override& o = root_override();
    std::lock_guard lock(o.mutex);
    o.dir = ec ? dir : absolute;
}

void clear_root_override() {
    Override& o = root_override();
    std::lock_guard lock(o.mutex);
    o.dir.reset();
}

std::optional<std::filesystem::path> config_root() {
    if (auto dir = overridden()) return dir;
    return xdg_root("XDG_CONFIG_HOME", ".config");
}

std::optional<std::filesystem::path> data_root() {
    if (auto dir = overridden()) return *dir / "data";
    return xdg_root("XDG_DATA_HOME", ".local/share");
}

}  // namespace mail::services
