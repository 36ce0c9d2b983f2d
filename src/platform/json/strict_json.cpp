#include "platform/json/strict_json.h"

#include <set>
#include <string>
#include <vector>

namespace mail::json {

Result<Json> parse_strict(std::string_view text) {
    // One set of seen keys per open object; arrays push an unused set to keep depths aligned.
    std::vector<std::set<std::string>> seen;
    std::string duplicate;
    auto callback = [&](int /*depth*/, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                seen.emplace_back();
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                if (!seen.empty()) seen.pop_back();
                break;
            case Json::parse_event_t::key: {
                std::string key = parsed.get<std::string>();
                if (!seen.empty() && !seen.back().insert(key).second && duplicate.empty()) duplicate = key;
                break;
            }
            case Json::parse_event_t::value:
                break;
        }
        return true;
    };
    Json value = Json::parse(text.begin(), text.end(), callback, /*allow_exceptions=*/false);
    if (value.is_discarded()) return make_error("invalid JSON");
    if (!duplicate.empty()) return make_error("duplicate key \"" + duplicate + "\"");
    return value;
}

}  // namespace mail::json
