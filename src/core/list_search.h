#pragma once
// The search field's filter over the local mailbox: a case-insensitive substring match over
// subject, sender and body, with fixed limits so a huge mailbox stays responsive.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "core/mailbox.h"

namespace mail {

inline constexpr std::size_t kListSearchScanLimit = 4096;
inline constexpr std::size_t kListSearchResultLimit = 200;

struct ListSearchResult {
    std::vector<const MailMessage*> matches;  // newest first by date
    std::size_t scanned = 0;                   // records considered
    bool truncated = false;                    // a limit stopped the scan before the end
};

// Walks the arrival order from the newest arrival back. A role of nothing means every folder
// but Trash. Letter case is folded with to_lower (ASCII and the common alphabets).
ListSearchResult list_search(const Mailbox& mailbox, std::string_view query, std::optional<FolderRole> role,
                             std::size_t scan_limit = kListSearchScanLimit,
                             std::size_t result_limit = kListSearchResultLimit);

}  // namespace mail
