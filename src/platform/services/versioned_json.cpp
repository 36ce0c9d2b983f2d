#include "platform/services/versioned_json.h"

#include "platform/services/files.h"

namespace mail::services {

Error damaged_file(std::string_view what, const std::filesystem::path& file, const std::string& detail) {
    return make_error("damaged " + std::string(what) + " " + file.string() + ": " + detail);
}

Result<std::optional<json::Json>> read_versioned_json(const std::filesystem::path& file, std::string_view what,
                                                      int version) {
    auto content = read_file(file);
    if (!content) return content.error();
    if (!content->has_value()) return std::optional<json::Json>();
    auto parsed = json::parse_strict(**content);
    if (!parsed) return damaged_file(what, file, parsed.error_text());
    const json::Json& doc = *parsed;
    if (!doc.is_object()) return damaged_file(what, file, "not a JSON object");
    auto found = doc.find("version");
    if (found == doc.end() || !found->is_number_integer()) return damaged_file(what, file, "no \"version\"");
    if (found->get<std::int64_t>() != version) return damaged_file(what, file, "unsupported version " + found->dump());
    return std::optional<json::Json>(std::move(*parsed));
}

}  // namespace mail::services
