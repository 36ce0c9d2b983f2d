#include "app/assembly.h"

#include <filesystem>

#include "accounts/account_storage.h"
#include "app/launch_scenes.h"
#include "app/mail_actions.h"
#include "app/mail_app.h"
#include "app/scenes.h"
#include "engine/engine.h"
#include "engine/engine_request_json.h"
#include "platform/images/image_store.h"
#include "platform/services/net.h"

namespace mail::app {

namespace {

using ImageFetcher = std::function<std::optional<std::vector<std::uint8_t>>(const std::string&)>;

// Avatar pictures over the program's shared blocking HTTP client.
ImageFetcher http_image_fetcher() {
    auto built = net::http::blocking_client().max_body_bytes(kMaxAvatarBytes + 1).build();
    auto client = std::make_shared<net::http::BlockingClient>(
        built ? std::move(*built) : net::http::BlockingClient(net::http::ClientSettings{}));
    return [client](const std::string& url) -> std::optional<std::vector<std::uint8_t>> {
        auto response = client->get(url);
        if (!response) return std::nullopt;
        return accept_image_response(response->status, response->body);
    };
}

}  // namespace

std::optional<std::vector<std::uint8_t>> accept_image_response(long status, const std::string& body) {
    if (status < 200 || status > 299) return std::nullopt;
    if (body.empty() || body.size() > kMaxAvatarBytes) return std::nullopt;
    return std::vector<std::uint8_t>(body.begin(), body.end());
}

launch::WidgetBox build_normal_start() {
    accounts::LoadedAccounts loaded = accounts::load_accounts();
    auto images = ui::ImageStore::create(http_image_fetcher());
    auto state = std::make_shared<MailState>(std::move(loaded.accounts), loaded.active, current_minute());
    state->image_store = std::move(images);
    return std::make_unique<MailApp>(state, engine::start_engine(), StorageRoot::config_root());
}

launch::LaunchConfig make_launch_config() {
    launch::LaunchConfig config;
    config.application_id = kApplicationId;
    config.scene_names.assign(kSceneNames.begin(), kSceneNames.end());
    config.root = build_normal_start;
    config.scene = build_scene;
    config.window_size = [](const launch::LaunchContext& context) { return window_size_for_scene(context.scene); };
    config.setup = [](launch::App& app) {
        app.set_window_title("Mail");
        register_mail_actions(app.action_registry_mut());
    };
    config.persist_open = persist::open;
    config.may_close = [] { return true; };
    config.commands["engine-request"] = [](const std::string& file) { return engine::run_engine_request_file(file); };
    config.resizable = true;
    config.fullscreen = false;
    config.publish_accessibility = true;
    config.follow_system_scale = true;
    return config;
}

}  // namespace mail::app
