#include "engine/mime_types.h"

#include <string>
#include <utility>

namespace mail::engine {
namespace {

// Tried in order; the first row that lists the extension wins.
constexpr std::pair<std::string_view, std::string_view> kTable[] = {
    {"pdf", "application/pdf"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"gif", "image/gif"},
    {"svg", "image/svg+xml"},
    {"txt", "text/plain"},
    {"log", "text/plain"},
    {"md", "text/markdown"},
    {"csv", "text/csv"},
    {"html", "text/html"},
    {"htm", "text/html"},
    {"ics", "text/calendar"},
    {"zip", "application/zip"},
    {"tar", "application/x-tar"},
    {"gz", "application/gzip"},
    {"doc", "application/msword"},
    {"docx", "application/msword"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.ms-excel"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.ms-powerpoint"},
    {"json", "application/json"},
};

constexpr std::string_view kDefault = "application/octet-stream";

}  // namespace

std::string_view mime_for_name(std::string_view file_name) {
    std::string_view extension = file_name;
    if (auto dot = file_name.rfind('.'); dot != std::string_view::npos) extension = file_name.substr(dot + 1);
    // No listed extension is longer than four letters.
    if (extension.empty() || extension.size() > 4) return kDefault;
    std::string lower(extension);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const auto& [ext, type] : kTable)
        if (ext == lower) return type;
    return kDefault;
}

}  // namespace mail::engine
