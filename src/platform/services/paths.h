#pragma once
// Where the program keeps its files: the configuration root ($XDG_CONFIG_HOME/varo-mail, default
// ~/.config/varo-mail) and the data root ($XDG_DATA_HOME/varo-mail, default ~/.local/share/varo-mail).
// A directory given at launch (--config-dir) holds both.
#include <filesystem>
#include <optional>

namespace mail::services {

// Called once at start by the launch layer when --config-dir is given.
void set_root_override(std::filesystem::path dir);

// Nothing when neither the environment nor the home directory names a place.
std::optional<std::filesystem::path> config_root();
std::optional<std::filesystem::path> data_root();

}  // namespace mail::services
