#include "platform/launch/command_line.h"

#include <algorithm>
#include <charconv>

namespace mail::launch {

namespace {

std::optional<std::pair<int, int>> parse_size(const std::string& text) {
    auto x = text.find('x');
    if (x == std::string::npos) return std::nullopt;
    int w = 0, h = 0;
    auto [p1, e1] = std::from_chars(text.data(), text.data() + x, w);
    auto [p2, e2] = std::from_chars(text.data() + x + 1, text.data() + text.size(), h);
    if (e1 != std::errc() || e2 != std::errc() || p1 != text.data() + x || p2 != text.data() + text.size())
        return std::nullopt;
    if (w < 1 || h < 1 || w > 16384 || h > 16384) return std::nullopt;
    return std::pair{w, h};
}

}  // namespace

Result<CommandLine> parse_command_line(const std::vector<std::string>& args,
                                       const std::vector<std::string>& program_options) {
    CommandLine cl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inline_value;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        auto value = [&]() -> Result<std::string> {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size()) return make_error("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--headless") {
            cl.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            cl.help = true;
        } else if (arg == "--scene" || arg == "--config-dir" || arg == "--size" || arg == "--input" ||
                   arg == "--wait-idle" || arg == "--screenshot" || arg == "--dump-accessibility" ||
                   arg == "--dump-resources" || arg == "--gallery") {
            auto v = value();
            if (!v) return v.error();
            if (arg == "--scene") cl.scene = *v;
            else if (arg == "--config-dir") cl.config_dir = *v;
            else if (arg == "--input") cl.input = *v;
            else if (arg == "--screenshot") cl.screenshot = *v;
            else if (arg == "--dump-accessibility") cl.dump_accessibility = *v;
            else if (arg == "--dump-resources") cl.dump_resources = *v;
            else if (arg == "--gallery") cl.gallery = *v;
            else if (arg == "--size") {
                cl.size = parse_size(*v);
                if (!cl.size) return make_error("--size wants WIDTHxHEIGHT, e.g. 1280x800, not \"" + *v + "\"");
            } else {
                double seconds = 0;
                auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), seconds);
                if (ec != std::errc() || p != v->data() + v->size() || seconds < 0)
                    return make_error("--wait-idle wants a number of seconds, not \"" + *v + "\"");
                cl.wait_idle_seconds = seconds;
            }
        } else if (arg.rfind("--", 0) == 0 &&
                   std::find(program_options.begin(), program_options.end(), arg.substr(2)) !=
                       program_options.end()) {
            auto v = value();
            if (!v) return v.error();
            cl.commands.emplace_back(arg.substr(2), *v);
        } else {
            return make_error("unknown option \"" + args[i] + "\"");
        }
    }
    return cl;
}

std::string usage_text(const std::vector<std::string>& program_options) {
    std::string text =
        "usage: varo-mail [options]\n"
        "  --scene NAME                 start in a launch scene over the sample mailbox\n"
        "  --config-dir DIR             keep configuration and data under DIR\n"
        "  --headless                   no window; render offscreen\n"
        "  --size WxH                   window size in logical pixels (default: the scene's)\n"
        "  --input FILE                 replay input events from a JSON-lines file\n"
        "  --wait-idle SECONDS          run frames until nothing is outstanding (or time out)\n"
        "  --screenshot FILE.png        render the current frame to a PNG, then exit\n"
        "  --dump-accessibility FILE    write the accessibility tree as JSON, then exit\n"
        "  --dump-resources FILE        write the action resource tree as JSON, then exit\n"
        "  --gallery DIR                write PNGs of every toolkit widget, then exit\n";
    for (const auto& option : program_options) text += "  --" + option + " VALUE\n";
    return text;
}

}  // namespace mail::launch
