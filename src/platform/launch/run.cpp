#include <QApplication>
#include <QEventLoop>
#include <QFontDatabase>
#include <QPixmap>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "platform/launch/command_line.h"
#include "platform/launch/input_script.h"
#include "platform/launch/launch.h"
#include "platform/launch/window.h"
#include "platform/log/log.h"
#include "platform/services/paths.h"
#include "platform/ui/gallery.h"

namespace mail::launch {

namespace {

bool has_display() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

void pump_for(std::chrono::milliseconds duration) {
    auto deadline = ui::Clock::now() + duration;
    while (ui::Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Runs frames until the root asks for none and has no wake-up due within the limit.
void pump_until_idle(MailWindow& window, RootHost& host, double seconds) {
    auto deadline = ui::Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    window.run_frame();
    while (ui::Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        bool busy = host.wants_frames();
        auto wake = host.next_wake_up();
        if (!busy && (!wake || *wake > deadline)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
        window.run_frame();
    }
    window.run_frame();
}

Status write_text(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return make_error("cannot write " + path);
    out << text;
    out.close();
    if (!out) return make_error("cannot write " + path);
    return {};
}

Result<std::string> read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return make_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Status run_script(const std::vector<InputStep>& steps, MailWindow& window, RootHost& host) {
    for (const auto& step : steps) {
        if (auto* events = std::get_if<std::vector<ui::Event>>(&step.action)) {
            for (const auto& event : *events) {
                host.deliver(event);
                window.run_frame();
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } else if (auto* wait = std::get_if<WaitMs>(&step.action)) {
            pump_for(std::chrono::milliseconds(wait->milliseconds));
        } else if (auto* idle = std::get_if<WaitIdle>(&step.action)) {
            pump_until_idle(window, host, idle->seconds);
        } else if (auto* action = std::get_if<ui::SemanticAction>(&step.action)) {
            if (!host.semantic(*action))
                return make_error("input line " + std::to_string(step.line) + ": nothing answers the semantic action \"" +
                                  action->id + "\"");
            window.run_frame();
        }
    }
    return {};
}

// Qt wants a private runtime directory and complains on standard error without one (as in CI
// or a plain ssh session); give it one of our own, readable by this user only.
void ensure_runtime_dir() {
    const char* existing = std::getenv("XDG_RUNTIME_DIR");
    if (existing && *existing) return;
    std::error_code ec;
    auto dir = std::filesystem::temp_directory_path(ec) / ("varo-mail-runtime-" + std::to_string(::getuid()));
    if (ec) return;
    std::filesystem::create_directories(dir, ec);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);
    if (!ec) setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
}

// The document the program's local decisions are kept in. Scenes keep theirs in memory; a
// document that cannot be opened is reported, left as it is, and the program runs on one in
// memory so that nothing it holds is overwritten.
persist::Document open_replica(const LaunchConfig& config, bool scene) {
    if (scene || !config.persist_open) return persist::open_in_memory();
    auto path = persist::default_path();
    if (!path) return persist::open_in_memory();
    auto opened = config.persist_open(*path);
    if (opened) return std::move(*opened);
    log::event("platform::launch", log::Level::Error, "replica document unavailable; changes are kept in memory only",
               {{"error", opened.error_text()}, {"path", path->string()}});
    return persist::open_in_memory();
}

}  // namespace

int run_or_exit(LaunchConfig config, int argc, char** argv) {
    // A peer that hangs up must end its connection with an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> program_options;
    for (const auto& [name, handler] : config.commands) program_options.push_back(name);

    auto parsed = parse_command_line(args, program_options);
    if (!parsed) {
        std::fprintf(stderr, "varo-mail: %s\n%s", parsed.error_text().c_str(), usage_text(program_options).c_str());
        return 2;
    }
    const CommandLine& cl = *parsed;
    if (cl.help) {
        std::fputs(usage_text(program_options).c_str(), stdout);
        return 0;
    }
    if (cl.config_dir) {
        std::error_code ec;
        std::filesystem::create_directories(*cl.config_dir, ec);
        services::set_root_override(std::filesystem::absolute(*cl.config_dir));
    }
    for (const auto& [name, value] : cl.commands) return config.commands.at(name)(value);

    const bool automation = cl.input || cl.wait_idle_seconds || cl.screenshot || cl.dump_accessibility ||
                            cl.dump_resources;
    const bool headless = cl.headless || !has_display();
    // Qt aborts without a display unless it is told to render offscreen.
    if (headless) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ensure_runtime_dir();

    int qt_argc = 1;
    char* qt_argv[] = {argv[0], nullptr};
    QApplication qt_app(qt_argc, qt_argv);
    QCoreApplication::setApplicationName(QString::fromStdString(config.application_id));
    for (const auto& font : config.font_files) QFontDatabase::addApplicationFont(QString::fromStdString(font));

    if (cl.gallery) {
        auto written = ui::write_gallery(*cl.gallery);
        if (!written) {
            std::fprintf(stderr, "varo-mail: gallery: %s\n", written.error_text().c_str());
            return 1;
        }
        std::printf("gallery written to %s\n", cl.gallery->c_str());
        return 0;
    }

    std::vector<InputStep> steps;
    if (cl.input) {
        auto text = read_text(*cl.input);
        if (!text) {
            std::fprintf(stderr, "varo-mail: %s\n", text.error_text().c_str());
            return 2;
        }
        auto script = parse_input_script(*text);
        if (!script) {
            std::fprintf(stderr, "varo-mail: %s: %s\n", cl.input->c_str(), script.error_text().c_str());
            return 2;
        }
        steps = std::move(*script);
    }

    App app;
    if (config.setup) config.setup(app);

    LaunchContext context{cl.scene};
    // Without a display and without anything asked for, show what the window would look like:
    // the default scene, rendered to a PNG below.
    const bool render_default_scene = headless && !automation;
    auto [width, height] = cl.size ? *cl.size : config.window_size(context);
    const bool scene = cl.scene || render_default_scene;
    WidgetBox root = scene ? config.scene(context) : config.root();
    RootHost host(std::move(root), open_replica(config, scene), app.action_registry());

    MailWindow window(host, config.may_close);
    window.setWindowTitle(QString::fromStdString(app.window_title()));
    // Offscreen Qt starts with an 800 × 800 screen: the size comes from the scene, not the screen.
    window.resize(width, height);
    std::unique_ptr<AccessBridge> access;
    if (config.publish_accessibility) {
        access = std::make_unique<AccessBridge>(window, host);
        window.set_access_bridge(access.get());
    }
    if (!config.resizable) window.setFixedSize(width, height);
    if (config.fullscreen && !headless) window.showFullScreen();
    else window.show();
    window.run_frame();

    if (!automation && !headless) return qt_app.exec();

    if (auto done = run_script(steps, window, host); !done) {
        std::fprintf(stderr, "varo-mail: %s: %s\n", cl.input->c_str(), done.error_text().c_str());
        return 2;
    }
    if (cl.wait_idle_seconds) pump_until_idle(window, host, *cl.wait_idle_seconds);
    window.run_frame();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    std::optional<std::string> screenshot = cl.screenshot;
    if (render_default_scene) {
        auto dir = std::filesystem::temp_directory_path();
        screenshot = (dir / ("varo-mail-" + cl.scene.value_or("wide") + ".png")).string();
    }
    if (screenshot) {
        QPixmap picture = window.grab();
        if (!picture.save(QString::fromStdString(*screenshot), "PNG")) {
            std::fprintf(stderr, "varo-mail: cannot write %s\n", screenshot->c_str());
            return 1;
        }
        if (!cl.screenshot)
            std::printf("No display found: rendered the window (%d × %d) to %s\n", width, height, screenshot->c_str());
    }
    if (cl.dump_accessibility) {
        if (auto w = write_text(*cl.dump_accessibility, ui::access_tree_json(host.root().accessibility()) + "\n"); !w) {
            std::fprintf(stderr, "varo-mail: %s\n", w.error_text().c_str());
            return 1;
        }
    }
    if (cl.dump_resources) {
        // The action framework publishes no resources yet.
        if (auto w = write_text(*cl.dump_resources, "[]\n"); !w) {
            std::fprintf(stderr, "varo-mail: %s\n", w.error_text().c_str());
            return 1;
        }
    }
    if (!headless && cl.input && !cl.screenshot && !cl.dump_accessibility && !cl.dump_resources) return qt_app.exec();
    return 0;
}

}  // namespace mail::launch
