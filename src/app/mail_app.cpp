#include "app/mail_app.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <type_traits>

#include "accounts/account_storage.h"
#include "app/mail_actions.h"
#include "app/preferences.h"
#include "core/text_case.h"
#include "platform/ui/painter.h"
#include "ui/pane.h"

namespace mail::app {

namespace {

ui::NavShell make_shell(const std::shared_ptr<MailState>& state) {
    using panes::Pane;
    using panes::PaneRole;
    auto shell = ui::NavShell::create(std::make_unique<Pane>(state, PaneRole::List),
                                      std::make_unique<Pane>(state, PaneRole::Reader))
                     .with_sidebar(std::make_unique<Pane>(state, PaneRole::Sidebar));
    shell.set_collapse_width(860);
    shell.set_sidebar_width(260);
    shell.set_list_width(340);
    return shell;
}

bool contains_any(const std::string& text, std::initializer_list<std::string_view> words) {
    return std::any_of(words.begin(), words.end(), [&](std::string_view w) { return text.find(w) != std::string::npos; });
}


}  // namespace

std::int64_t current_minute() {
    std::time_t seconds = std::time(nullptr);
    return seconds < 0 ? 0 : static_cast<std::int64_t>(seconds) / 60;
}

ui::ToastTone status_tone(const std::string& status) {
    const std::string lower = to_ascii_lower(status);
    if (contains_any(lower, {"failed", "couldn\u2019t", "couldn't", "error"})) return ui::ToastTone::Error;
    if (contains_any(lower, {"offline", "isn't available"})) return ui::ToastTone::Warning;
    if (contains_any(lower, {"sync", "connecting", "opening"})) return ui::ToastTone::Progress;
    return ui::ToastTone::Plain;
}

MailApp::MailApp(std::shared_ptr<MailState> state, std::optional<engine::EngineHandle> engine, StorageRoot storage_root)
    : state_(std::move(state)),
      shell_(make_shell(state_)),
      welcome_(ui::IconName::Envelope, "Welcome to Mail", "Add your email account to start reading and sending mail."),
      theme_(ui::Theme::dark()),
      engine_(std::move(engine)),
      storage_root_(std::move(storage_root)),
      minute_clock_(current_minute) {
    if (auto failure = catalogue_.refresh(state_->mailbox)) state_->status = *failure;
    if (const MailAccount* account = state_->current_account()) setup_account_ = *account;
    compose_plain_text_ = load_plain_text_preference(storage_root_);
    saved_plain_text_ = compose_plain_text_;
    welcome_.with_button("Add account", "mail.add-account");
}

bool MailApp::welcome_shown() const { return state_->accounts.empty() && !setup_open_; }

// --- sync ---------------------------------------------------------------------------------

void MailApp::sync(const ui::FrameContext& frame) {
    replica_ = frame.replica;
    actions_ = frame.actions;
    poll_deadline_.reset();
    if (reopen_setup_) {
        reopen_setup_ = false;
        set_setup_open(true);
    }
    if (engine_) {
        auto events = engine_->drain_events();
        if (!events.empty()) {
            for (auto& event : events) apply_engine_event(event);
            state_->changed = true;
            busy_ = !pending_.empty();
        }
    }
    // The setup sheet's workers and the file pickers are polled here once they exist.
    expire_status(frame.now);
    sync_replica();
    start_up_once();
    refresh_periodically();
    save_active_account();
    if (auto failure = catalogue_.refresh(state_->mailbox)) {
        state_->status = *failure;
        needs_redraw_ = true;
    }
    shell_.sync(frame);
    replica_ = nullptr;
    actions_ = nullptr;
}

// Local decisions live in the replica document: messages seed it only where it holds nothing,
// the application's own changes are recorded in it, and it is projected back onto the mailbox.
void MailApp::sync_replica() {
    if (!replica_) return;
    if (!replica_loaded_) {
        std::vector<MailMessage> all;
        all.reserve(state_->mailbox.size());
        for (const MailMessage* message : state_->mailbox.ordered_messages()) all.push_back(*message);
        (void)engine::seed_messages(*replica_, all);
        replica_loaded_ = true;
    }
    if (actions_ && !state_->pending_actions.empty()) {
        const std::vector<MailAction> actions = std::exchange(state_->pending_actions, {});
        // A message changed before it was ever seeded must count as present first; seeding
        // writes only what the document lacks, in one change for all of them.
        std::vector<MailMessage> named;
        for (const MailAction& action : actions)
            std::visit(
                [&](const auto& a) {
                    if constexpr (requires { a.ids; })
                        for (const auto& id : a.ids)
                            if (auto parsed = Uuid::parse(id))
                                if (const MailMessage* m = state_->mailbox.find(*parsed)) named.push_back(*m);
                },
                action.value);
        if (!named.empty()) (void)engine::seed_messages(*replica_, named);
        for (const MailAction& action : actions) issue_action(*replica_, *actions_, action);
    }
    if (projection_.project(*replica_, state_->mailbox)) state_->changed = true;
}

void MailApp::expire_status(ui::Instant now) {
    if (state_->status != status_seen_) {
        status_seen_ = state_->status;
        status_deadline_ = state_->status ? std::optional(now + kStatusLifetime) : std::nullopt;
    }
    if (status_deadline_ && now >= *status_deadline_) {
        state_->status.reset();
        status_seen_.reset();
        status_deadline_.reset();
        state_->changed = true;
    }
}

void MailApp::start_up_once() {
    if (started_up_) return;
    started_up_ = true;
    // The replica document is seeded and projected here once it is handed to sync.
    if (!state_->accounts.empty() && engine_ && !connect_sent_) {
        send_request(Connect(state_->mailbox.account));
        send_request(RefreshFolder(state_->mailbox.account, FolderRole::Inbox));
        state_->status = "Syncing\u2026";
        connect_sent_ = true;
    }
}

void MailApp::refresh_periodically() {
    if (!engine_) return;
    state_->now = minute_clock_();
    if (busy_ || state_->accounts.empty()) return;
    if (last_refresh_ == 0) {
        last_refresh_ = state_->now;
    } else if (state_->now - last_refresh_ > kRefreshIntervalMinutes) {
        refresh_current_folder();
    }
}

bool MailApp::refresh_current_folder() {
    const StoredConfig& account = state_->mailbox.account;
    if (account.email.empty() || !engine_) return false;
    if (!send_request(RefreshFolder(account, state_->folder))) return false;
    if (const MailAccount* selected = state_->current_account()) report_sync(selected->id, services::SyncState::Started);
    last_refresh_ = state_->now;
    state_->status = "Syncing\u2026";
    return true;
}

void MailApp::save_active_account() {
    const MailAccount* account = state_->current_account();
    std::optional<std::string> id = account ? std::optional(account->id) : std::nullopt;
    if (id == saved_account_) return;
    if (auto saved = accounts::persist_accounts(state_->accounts, state_->selected_account, storage_root_); !saved) {
        state_->status = "Selected account, but could not save that preference: " + saved.error_text();
        return;  // tried again at the next sync
    }
    saved_account_ = id;
}

void MailApp::save_preferences_if_changed() {
    if (compose_plain_text_ == saved_plain_text_) return;
    auto file = preferences_path(storage_root_);
    if (!file) {
        saved_plain_text_ = compose_plain_text_;
        return;
    }
    if (auto saved = save_plain_text_preference(*file, compose_plain_text_); !saved) {
        state_->status = "Compose format changed, but could not save that preference: " + saved.error_text();
        return;
    }
    saved_plain_text_ = compose_plain_text_;
}

// --- requests and commands ------------------------------------------------------------------

bool MailApp::send_request(EngineRequest request) {
    if (!engine_) return false;
    const RequestId id = request_id(request);
    const RequestKind kind = request_kind(request);
    if (!engine_->send(std::move(request))) {
        state_->status = "Mail worker is unavailable";
        needs_redraw_ = true;
        return false;
    }
    pending_[id] = kind;
    busy_ = true;
    return true;
}

void MailApp::carry_out_commands() {
    for (PaneCommand& command : state_->take_commands()) {
        std::visit(
            [&](auto& c) {
                using C = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<C, command::ShowReadingPane>) {
                    shell_.snap(ui::NavTarget::Detail);
                } else if constexpr (std::is_same_v<C, command::ShowList>) {
                    shell_.snap(ui::NavTarget::List);
                } else if constexpr (std::is_same_v<C, command::CloseDrawer>) {
                    shell_.close_sidebar();
                } else if constexpr (std::is_same_v<C, command::OpenSetup>) {
                    set_setup_open(true);
                } else if constexpr (std::is_same_v<C, command::Engine>) {
                    send_request(std::move(c.request));
                } else if constexpr (std::is_same_v<C, command::SetStatus>) {
                    state_->status = c.text;
                }
                // The composer, the context menu, the save picker and the purge confirmation
                // take their commands once they exist.
            },
            command);
    }
    needs_redraw_ = true;
}

void MailApp::set_setup_open(bool open) {
    setup_open_ = open;
    needs_redraw_ = true;
}

// --- widget ---------------------------------------------------------------------------------

void MailApp::build_layout(const ui::LayoutContext& context) {
    if (welcome_shown()) welcome_.build_layout(context);
    else shell_.build_layout(context);
}

void MailApp::apply_layout(ui::Rect bounds, const ui::LayoutContext& context) {
    bounds_ = bounds;
    if (welcome_shown()) welcome_.apply_layout(bounds, context);
    else shell_.apply_layout(bounds, context);
}

void MailApp::draw(ui::Painter& painter, const ui::Theme&) {
    painter.fill_rect(bounds_, theme_.colors.background);
    shell_.draw_with_presence(painter, theme_);
    if (welcome_shown()) {
        painter.fill_rect(bounds_, theme_.colors.background);
        welcome_.draw(painter, theme_);
    }
    if (state_->status) ui::toast::paint_transient(painter, theme_, bounds_, *state_->status, status_tone(*state_->status));
    needs_redraw_ = false;
    state_->changed = false;
}

ui::EventResult MailApp::handle_event(const ui::Event& event) {
    needs_redraw_ = true;
    ui::EventResult result = ui::EventResult::Ignored;
    if (welcome_shown()) {
        welcome_.handle_event(event);
        if (auto invocation = welcome_.take_control_invocation()) pending_invocation_ = invocation;
        // The welcome screen covers the whole window: nothing reaches the panes.
        result = ui::EventResult::Handled;
    } else {
        result = shell_.handle_event(event);
        carry_out_commands();
    }
    save_preferences_if_changed();
    return result;
}

ui::AccessNode MailApp::accessibility() const {
    if (welcome_shown()) return ui::AccessNode(ui::AccessRole::Application, "Mail");
    ui::AccessNode root(ui::AccessRole::Application, "Mail");
    std::string view = "folders, message list, and reading pane";
    if (shell_.is_compact()) {
        if (shell_.sidebar_open()) view = "folder drawer";
        else if (shell_.detail_open()) view = "reading pane";
        else view = "message list";
    }
    root.description = "Current view: " + view;
    return root;
}

bool MailApp::perform_action(std::string_view action) {
    if (action == "mail.add-account") {
        // The setup sheet opens in add mode; until it exists the panes show behind it.
        set_setup_open(true);
        return true;
    }
    return shell_.perform_action(action);
}

bool MailApp::perform_semantic_action(const ui::SemanticAction& action) {
    needs_redraw_ = true;
    bool done = false;
    if (welcome_shown()) {
        done = welcome_.perform_semantic_action(action);
        if (auto invocation = welcome_.take_control_invocation()) pending_invocation_ = invocation;
    } else {
        done = shell_.perform_semantic_action(action);
    }
    carry_out_commands();
    save_preferences_if_changed();
    return done;
}

std::optional<ui::ControlInvocation> MailApp::take_control_invocation() {
    if (pending_invocation_) return std::exchange(pending_invocation_, std::nullopt);
    return shell_.take_control_invocation();
}

// Outstanding work: requests at the engine, a status line waiting to expire, or a search index
// being built.
bool MailApp::work_outstanding() const { return busy_ || catalogue_.rebuilding(); }

bool MailApp::needs_idle_sync() const {
    return work_outstanding() || status_deadline_.has_value() || shell_.needs_idle_sync();
}

bool MailApp::needs_animation_frame() const {
    return busy_ || status_deadline_.has_value() || shell_.needs_animation_frame();
}

std::optional<ui::Instant> MailApp::next_wake_up() const {
    std::optional<ui::Instant> wake;
    // Outstanding work is polled every 16 ms; an idle window asks for nothing.
    if (work_outstanding()) {
        if (!poll_deadline_) poll_deadline_ = ui::Clock::now() + std::chrono::milliseconds(16);
        wake = poll_deadline_;
    }
    if (status_deadline_ && (!wake || *status_deadline_ < *wake)) wake = status_deadline_;
    if (auto shell_wake = shell_.next_wake_up(); shell_wake && (!wake || *shell_wake < *wake)) wake = shell_wake;
    return wake;
}

bool MailApp::needs_redraw() const { return needs_redraw_ || state_->changed || shell_.needs_redraw(); }

}  // namespace mail::app
