#pragma once
// What the panes and the state operations ask MailApp to carry out after an event.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "core/engine_request.h"
#include "core/stable_id.h"
#include "platform/ui/geometry.h"

namespace mail {

enum class SetupMode : std::uint8_t { Add, Edit };

namespace command {
struct ShowReadingPane {};
struct ShowList {};
struct CloseDrawer {};
struct Compose {};
struct Reply { StableId id; };
struct ReplyAll { StableId id; };
struct Forward { StableId id; };
struct EditDraft { StableId id; };
struct ContextMenu { StableId id; ui::Point position; };
struct OpenSetup { SetupMode mode = SetupMode::Add; std::size_t account_index = 0; };
struct SaveAttachment { StableId id; std::size_t index = 0; };
struct Engine { EngineRequest request; };
struct SetStatus { std::string text; };
struct ConfirmPurge {};
}  // namespace command

// The alternatives are in their fixed order: index() is the command's number.
using PaneCommand = std::variant<command::ShowReadingPane, command::ShowList, command::CloseDrawer, command::Compose,
                                 command::Reply, command::ReplyAll, command::Forward, command::EditDraft,
                                 command::ContextMenu, command::OpenSetup, command::SaveAttachment, command::Engine,
                                 command::SetStatus, command::ConfirmPurge>;

}  // namespace mail
