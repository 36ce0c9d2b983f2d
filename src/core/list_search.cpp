#include "core/list_search.h"

#include <algorithm>
#include <string>

#include "core/text_case.h"

namespace mail {
namespace {

// Lower-cases into a reused buffer and looks for the needle there.
bool contains_folded(std::string_view haystack, std::string_view needle, std::string& buffer) {
    buffer.clear();
    append_lower(haystack, buffer);
    return buffer.find(needle) != std::string::npos;
}

}  // namespace

ListSearchResult list_search(const Mailbox& mailbox, std::string_view query, std::optional<FolderRole> role,
                             std::size_t scan_limit, std::size_t result_limit) {
    ListSearchResult result;
    std::string needle = to_lower(trim_white_space(query));
    if (needle.empty() || scan_limit == 0 || result_limit == 0) return result;

    std::string buffer;
    const auto& records = mailbox.ordered_messages();
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const MailMessage* message = *it;
        if (role ? message->folder != *role : message->folder == FolderRole::Trash) continue;
        // Only a record that is left over marks the result as cut short.
        if (result.scanned == scan_limit || result.matches.size() == result_limit) {
            result.truncated = true;
            break;
        }
        ++result.scanned;
        if (contains_folded(message->subject, needle, buffer) ||
            contains_folded(message->from.shown(), needle, buffer) ||
            contains_folded(message->from.address, needle, buffer) ||
            contains_folded(message->body, needle, buffer))
            result.matches.push_back(message);
    }
    std::stable_sort(result.matches.begin(), result.matches.end(),
                     [](const MailMessage* a, const MailMessage* b) { return a->date > b->date; });
    return result;
}

}  // namespace mail
