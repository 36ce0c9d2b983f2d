#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace mail {

// Travels as its one-byte number; the order is fixed.
enum class FolderRole : std::uint8_t { Inbox = 0, Starred = 1, Sent = 2, Drafts = 3, Archive = 4, Trash = 5, Junk = 6 };

inline constexpr std::array<FolderRole, 7> kFolderRoles = {
    FolderRole::Inbox, FolderRole::Starred, FolderRole::Sent, FolderRole::Drafts,
    FolderRole::Archive, FolderRole::Trash, FolderRole::Junk};

// "Inbox", "Starred", …
std::string_view folder_display_name(FolderRole role);
// "inbox", "starred", …
std::string_view folder_identifier(FolderRole role);
// The whole text, case-sensitively; "Inbox" is not a role.
std::optional<FolderRole> parse_folder_role(std::string_view identifier);
// The one-byte number; nothing for a number outside 0..6.
std::optional<FolderRole> folder_role_from_number(int number);

}  // namespace mail
