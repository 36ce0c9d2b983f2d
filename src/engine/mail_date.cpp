#include "engine/mail_date.h"

#include <gmime/gmime.h>

#include <string>

#include "engine/message_parser.h"

namespace mail::engine {
namespace {

// A Date value longer than this is not a date; the cap keeps the date parser's work small.
constexpr std::size_t kMaxDateLength = 998;

bool is_wsp(char c) { return c == ' ' || c == '\t'; }

bool names_date(std::string_view line, std::size_t& value_start) {
    static constexpr std::string_view kName = "date";
    if (line.size() < kName.size()) return false;
    for (std::size_t i = 0; i < kName.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    std::size_t i = kName.size();
    while (i < line.size() && is_wsp(line[i])) ++i;  // obsolete syntax allows "Date :"
    if (i >= line.size() || line[i] != ':') return false;
    value_start = i + 1;
    return true;
}

// The unfolded value of the first Date field of the header block, if any.
std::optional<std::string> date_field(std::string_view raw) {
    std::optional<std::string> value;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string_view::npos) end = raw.size();
        std::string_view line = raw.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (line.empty()) break;  // end of the header block
        if (is_wsp(line.front())) {
            if (value) {
                value->append(line);
                if (value->size() > kMaxDateLength) return std::nullopt;
            }
            continue;
        }
        if (value) return value;  // the field ended at this line
        std::size_t start = 0;
        if (names_date(line, start)) value = std::string(line.substr(start));
        if (value && value->size() > kMaxDateLength) return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::int64_t> message_date_minutes(std::string_view raw) {
    std::optional<std::string> field = date_field(raw);
    if (!field) return std::nullopt;
    init_mime_library();
    GDateTime* date = g_mime_utils_header_decode_date(field->c_str());
    if (!date) return std::nullopt;
    std::int64_t seconds = g_date_time_to_unix(date);
    g_date_time_unref(date);
    return seconds / 60;
}

std::int64_t message_time_minutes(std::optional<std::int64_t> server_minutes, std::string_view raw,
                                  std::int64_t fallback_minutes) {
    if (server_minutes) return *server_minutes;
    return message_date_minutes(raw).value_or(fallback_minutes);
}

}  // namespace mail::engine
