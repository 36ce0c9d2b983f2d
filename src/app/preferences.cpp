#include "app/preferences.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "accounts/account_storage.h"
#include "platform/json/strict_json.h"

namespace mail::app {

std::optional<std::filesystem::path> preferences_path(const StorageRoot& root) {
    auto dir = accounts::resolve_storage_root(root);
    if (!dir) return std::nullopt;
    return *dir / kPreferencesFile;
}

bool parse_plain_text_preference(std::string_view text) {
    auto parsed = json::parse_strict(text);
    if (!parsed) return false;
    const json::Json* value = nullptr;
    if (parsed->is_object()) {
        auto it = parsed->find("compose_format");
        if (it != parsed->end()) value = &*it;
    } else if (parsed->is_array() && parsed->size() == 1) {
        // The record written as a sequence: its one field in order.
        value = &(*parsed)[0];
    }
    return value && value->is_string() && value->get<std::string>() == "text";
}

bool load_plain_text_preference(const StorageRoot& root) {
    auto file = preferences_path(root);
    if (!file) return false;
    std::ifstream in(*file, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return false;
    return parse_plain_text_preference(text.str());
}

std::string preferences_json(bool plain_text) {
    return std::string("{\"compose_format\":\"") + (plain_text ? "text" : "html") + "\"}";
}

Status save_plain_text_preference(const std::filesystem::path& file, bool plain_text) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return make_error(ec.message());
    // Replaced in place: a torn write only falls back to rich text on the next start.
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return make_error(std::strerror(errno));
    const std::string bytes = preferences_json(plain_text);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return make_error(std::strerror(errno ? errno : EIO));
    return {};
}

}  // namespace mail::app
