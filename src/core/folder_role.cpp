#include "core/folder_role.h"

namespace mail {
namespace {
constexpr std::array<std::string_view, 7> kDisplayNames = {"Inbox", "Starred", "Sent", "Drafts",
                                                           "Archive", "Trash", "Junk"};
constexpr std::array<std::string_view, 7> kIdentifiers = {"inbox", "starred", "sent", "drafts",
                                                          "archive", "trash", "junk"};
}  // namespace

std::string_view folder_display_name(FolderRole role) { return kDisplayNames.at(static_cast<std::size_t>(role)); }

std::string_view folder_identifier(FolderRole role) { return kIdentifiers.at(static_cast<std::size_t>(role)); }

std::optional<FolderRole> parse_folder_role(std::string_view identifier) {
    for (std::size_t i = 0; i < kIdentifiers.size(); ++i)
        if (kIdentifiers[i] == identifier) return static_cast<FolderRole>(i);
    return std::nullopt;
}

std::optional<FolderRole> folder_role_from_number(int number) {
    if (number < 0 || number >= static_cast<int>(kFolderRoles.size())) return std::nullopt;
    return static_cast<FolderRole>(number);
}

}  // namespace mail
