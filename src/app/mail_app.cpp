#include "app/mail_app.h"

#include <algorithm>
#include <chrono>
#include <type_traits>

#include "platform/ui/painter.h"
#include "platform/ui/toast.h"
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

// The status line's tone, from its words.
ui::ToastTone tone_for(const std::string& status) {
    std::string lower = status;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return c < 0x80 ? static_cast<char>(std::tolower(c)) : static_cast<char>(c); });
    auto has = [&](std::string_view word) { return lower.find(word) != std::string::npos; };
    if (has("failed") || has("couldn\u2019t") || has("couldn't") || has("error")) return ui::ToastTone::Error;
    if (has("offline") || has("isn't available")) return ui::ToastTone::Warning;
    if (has("sync") || has("connecting") || has("opening")) return ui::ToastTone::Progress;
    return ui::ToastTone::Plain;
}

}  // namespace

MailApp::MailApp(std::shared_ptr<MailState> state, std::optional<engine::EngineHandle> engine, StorageRoot storage_root)
    : state_(std::move(state)),
      shell_(make_shell(state_)),
      welcome_(ui::IconName::Envelope, "Welcome to Mail", "Add your email account to start reading and sending mail."),
      theme_(ui::Theme::dark()),
      engine_(std::move(engine)),
      storage_root_(std::move(storage_root)) {
    if (auto failure = catalogue_.refresh(state_->mailbox)) state_->status = *failure;
    if (const MailAccount* account = state_->current_account()) setup_account_ = *account;
    welcome_.with_button("Add account", "mail.add-account");
}

bool MailApp::welcome_shown() const { return state_->accounts.empty() && !setup_open_; }

void MailApp::sync(const ui::FrameContext& frame) {
    poll_deadline_.reset();
    if (engine_)
        for (const EngineEvent& event : engine_->drain_events()) apply_engine_event(event);
    carry_out_commands();
    shell_.sync(frame);
    if (auto failure = catalogue_.refresh(state_->mailbox)) {
        state_->status = *failure;
        needs_redraw_ = true;
    }
}

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

void MailApp::apply_engine_event(const EngineEvent& event) {
    auto it = pending_.find(event_request_id(event));
    if (it == pending_.end()) return;  // an answer to nothing we are waiting for
    if (auto* failed = std::get_if<event::Failed>(&event)) {
        state_->status = failed->stage + ": " + failed->message;
    } else if (std::holds_alternative<event::Finished>(event)) {
        pending_.erase(it);
        busy_ = !pending_.empty();
    }
    // What each successful answer changes in the mailbox arrives with the event handling.
    needs_redraw_ = true;
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
    if (state_->status) ui::toast::paint_transient(painter, theme_, bounds_, *state_->status, tone_for(*state_->status));
    needs_redraw_ = false;
    state_->changed = false;
}

ui::EventResult MailApp::handle_event(const ui::Event& event) {
    needs_redraw_ = true;
    if (welcome_shown()) {
        welcome_.handle_event(event);
        if (auto invocation = welcome_.take_control_invocation()) pending_invocation_ = invocation;
        // The welcome screen covers the whole window: nothing reaches the panes.
        return ui::EventResult::Handled;
    }
    return shell_.handle_event(event);
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
    if (welcome_shown()) {
        bool done = welcome_.perform_semantic_action(action);
        if (auto invocation = welcome_.take_control_invocation()) pending_invocation_ = invocation;
        return done;
    }
    return shell_.perform_semantic_action(action);
}

std::optional<ui::ControlInvocation> MailApp::take_control_invocation() {
    if (pending_invocation_) return std::exchange(pending_invocation_, std::nullopt);
    return shell_.take_control_invocation();
}

// Outstanding work: requests at the engine, or a search index being built.
bool MailApp::work_outstanding() const { return busy_ || catalogue_.rebuilding(); }

bool MailApp::needs_idle_sync() const { return work_outstanding() || shell_.needs_idle_sync(); }
bool MailApp::needs_animation_frame() const { return busy_ || shell_.needs_animation_frame(); }

std::optional<ui::Instant> MailApp::next_wake_up() const {
    // Outstanding work is polled every 16 ms; an idle window asks for nothing.
    if (work_outstanding()) {
        if (!poll_deadline_) poll_deadline_ = ui::Clock::now() + std::chrono::milliseconds(16);
        return poll_deadline_;
    }
    return shell_.next_wake_up();
}
bool MailApp::needs_redraw() const { return needs_redraw_ || state_->changed || shell_.needs_redraw(); }

}  // namespace mail::app
