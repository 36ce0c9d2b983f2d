#pragma once
// The program's entry into the toolkit: it hands over a launch configuration, the toolkit opens
// one window (or an offscreen surface) and drives the root widget until the window closes.
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/actionfw/action_host.h"
#include "platform/base/result.h"
#include "platform/replica/document.h"
#include "platform/ui/widget.h"

namespace mail::launch {

struct LaunchContext {
    std::optional<std::string> scene;  // the scene asked for with --scene
};

class App {
public:
    void set_window_title(std::string title) { title_ = std::move(title); }
    const std::string& window_title() const { return title_; }
    actionfw::ActionRegistry& action_registry_mut() { return registry_; }
    const actionfw::ActionRegistry& action_registry() const { return registry_; }

private:
    std::string title_ = "Application";
    actionfw::ActionRegistry registry_;
};

using WidgetBox = std::unique_ptr<ui::Widget>;

struct LaunchConfig {
    std::string application_id;

    // Extra font files to register, MIME types and URL schemes the program opens, and extra
    // command-line options it accepts; this program leaves all four empty.
    std::vector<std::string> font_files;
    std::vector<std::string> mime_types;
    std::vector<std::string> url_schemes;
    std::vector<std::string> extra_options;

    std::vector<std::string> scene_names;
    std::function<WidgetBox()> root;
    std::function<WidgetBox(const LaunchContext&)> scene;
    std::function<std::pair<int, int>(const LaunchContext&)> window_size;
    std::function<void(App&)> setup;
    // Opens the replica document the platform keeps for the program (durable, under the data
    // root); scenes get a fresh one in memory instead.
    std::function<Result<persist::Document>(const std::filesystem::path&)> persist_open;
    // Asked before the window closes; closing goes ahead when it answers true.
    std::function<bool()> may_close;

    bool resizable = true;
    bool fullscreen = false;
    bool publish_accessibility = true;
    bool follow_system_scale = true;

    // Runs instead of the window when the named command-line option is given with a value
    // (`--engine-request FILE`): the exit code it answers ends the process.
    std::map<std::string, std::function<int(const std::string& value)>> commands;
};

// Parses the command line, opens the window (offscreen with --headless or without a display),
// and returns the process exit code when the window closes or the headless run is done.
int run_or_exit(LaunchConfig config, int argc, char** argv);

}  // namespace mail::launch
