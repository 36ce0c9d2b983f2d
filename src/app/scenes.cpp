#include "app/scenes.h"

#include <filesystem>
#include <random>

#include "engine/sample_mailbox.h"
#include "platform/images/image_store.h"

namespace mail::app {

namespace {

// A directory that lives as long as the application and is removed with it.
class TemporaryDirectory {
public:
    static std::shared_ptr<TemporaryDirectory> create(const std::string& prefix) {
        static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device random;
        std::error_code ec;
        auto base = std::filesystem::temp_directory_path(ec);
        if (ec) return nullptr;
        for (int attempt = 0; attempt < 16; ++attempt) {
            std::string name = prefix;
            for (int i = 0; i < 6; ++i) name.push_back(alphabet[random() % (sizeof(alphabet) - 1)]);
            auto path = base / name;
            if (std::filesystem::create_directory(path, ec) && !ec)
                return std::shared_ptr<TemporaryDirectory>(new TemporaryDirectory(path));
        }
        return nullptr;
    }
    ~TemporaryDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    explicit TemporaryDirectory(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};

StorageRoot sample_storage_root() {
    auto dir = TemporaryDirectory::create("varo-mail-sample-");
    if (!dir) return StorageRoot::none();
    // The root shares ownership of the directory: it goes when the application goes.
    return StorageRoot::directory(std::shared_ptr<const std::filesystem::path>(dir, &dir->path()));
}

}  // namespace

launch::WidgetBox build_scene(const launch::LaunchContext& context) {
    const std::string_view scene = context.scene ? std::string_view(*context.scene) : "wide";
    auto state = scene == "firstrun" ? std::make_shared<MailState>()
                                     : std::make_shared<MailState>(engine::build_sample_state());
    // Scenes never reach the network: avatars stay initials.
    state->image_store = ui::ImageStore::create(
        [](const std::string&) -> std::optional<std::vector<std::uint8_t>> { return std::nullopt; });

    auto app = std::make_unique<MailApp>(state, std::nullopt, sample_storage_root());
    apply_scene_preset(*app, scene);
    app->carry_out_commands();
    return app;
}

void apply_scene_preset(MailApp& app, std::string_view scene) {
    MailState& state = app.state_mut();
    if (scene == "narrow_detail") {
        app.shell().snap(ui::NavTarget::Detail);
    } else if (scene == "narrow_drawer") {
        app.shell().snap_sidebar();
    } else if (scene == "search") {
        state.search_query = "spatial";
        const auto& rows = state.visible_list();
        state.selected = rows.empty() ? std::nullopt : std::optional(rows.front().id);
        state.changed = true;
    } else if (scene == "preview") {
        // The newest unread Inbox message.
        for (const MailMessage* message : state.folder_list(FolderRole::Inbox)) {
            if (!message->seen) {
                state.preview(message->id);
                break;
            }
        }
    } else if (scene == "bulk") {
        const std::vector<VisibleRow> rows = state.visible_list();
        for (std::size_t i = 0; i < rows.size() && i < 2; ++i) state.toggle_bulk(rows[i].id);
    } else if (scene == "html_mail") {
        for (const MailMessage* message : state.folder_list(FolderRole::Inbox)) {
            if (message->html_body && message->from.address == "newsletter@orbit-weekly.example") {
                state.open(message->id);
                break;
            }
        }
    } else if (scene == "empty") {
        state.mailbox = Mailbox(state.mailbox.account);
        state.selected.reset();
        state.changed = true;
    } else if (scene == "loading") {
        app.set_busy(true);
        state.status = "Syncing Inbox\u2026";
    } else if (scene == "offline") {
        state.status = "You\u2019re offline \u00b7 Showing downloaded mail";
    } else if (scene == "setup" || scene == "setup_narrow" || scene == "setup_add" || scene == "setup_oauth" ||
               scene == "error") {
        app.set_setup_open(true);
    }
    // "compose", "compose_narrow", "reply", "context_menu" and
    // "bulk_purge_confirmation" take their presets with the composer, the reader page and the
    // overlays; "html_mail" shows its page once the reader's web view exists.
}

}  // namespace mail::app
