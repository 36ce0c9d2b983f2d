#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace mail::launch {

struct CommandLine {
    std::optional<std::string> scene;
    std::optional<std::string> config_dir;
    bool headless = false;
    std::optional<std::pair<int, int>> size;
    std::optional<std::string> input;
    std::optional<double> wait_idle_seconds;
    std::optional<std::string> screenshot;
    std::optional<std::string> dump_accessibility;
    std::optional<std::string> dump_resources;
    std::optional<std::string> gallery;
    std::vector<std::pair<std::string, std::string>> commands;  // program-defined options with a value
    bool help = false;
};

// `program_options` are the options the program itself defines (without "--").
Result<CommandLine> parse_command_line(const std::vector<std::string>& args,
                                       const std::vector<std::string>& program_options);

std::string usage_text(const std::vector<std::string>& program_options);

}  // namespace mail::launch
