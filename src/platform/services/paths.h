#pragma once
// Where the program keeps its files: the configuration root ($XDG_CONFIG_HOME/varo-mail, default
// ~/.config/varo-mail) and the data root ($XDG_DATA_HOME/varo-mail, default ~/.local/share/varo-mail).
// A directory given at launch (--config-dir DIR) holds both: the configuration root is DIR itself
// and the data root is DIR/data.
//
// As the XDG rules ask, an XDG variable that is empty or not an absolute path is ignored. The home
// directory is $HOME, else the one the user database gives.
#include <filesystem>
#include <optional>

namespace mail::services {

// Called once at start by the launch layer when --config-dir is given. A relative directory is
// made absolute against the current directory at the time of the call.
void set_root_override(std::filesystem::path dir);
void clear_root_override();

// Nothing when neither the environment nor the home directory names a place.
std::optional<std::filesystem::path> config_root();
std::optional<std::filesystem::path> data_root();

}  // namespace mail::services
