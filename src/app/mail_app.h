#pragma once
// The root widget: the navigation shell with the three panes, the welcome screen, the status
// line, and everything else that is not shared with the panes.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/mail_search.h"
#include "core/mail_state.h"
#include "core/storage_root.h"
#include "engine/engine.h"
#include "platform/ui/empty_state.h"
#include "platform/ui/nav_shell.h"
#include "platform/ui/theme.h"
#include "platform/ui/widget.h"

namespace mail::app {

class MailApp : public ui::Widget {
public:
    // Without an engine (launch scenes) requests that would go to it are dropped.
    MailApp(std::shared_ptr<MailState> state, std::optional<engine::EngineHandle> engine, StorageRoot storage_root);

    // Widget operations, in slot order.
    void sync(const ui::FrameContext& frame) override;
    void build_layout(const ui::LayoutContext& context) override;
    void apply_layout(ui::Rect bounds, const ui::LayoutContext& context) override;
    void draw(ui::Painter& painter, const ui::Theme& theme) override;
    ui::EventResult handle_event(const ui::Event& event) override;
    ui::AccessNode accessibility() const override;
    bool perform_action(std::string_view action) override;
    bool perform_semantic_action(const ui::SemanticAction& action) override;
    std::optional<ui::ControlInvocation> take_control_invocation() override;
    bool needs_idle_sync() const override;
    bool needs_animation_frame() const override;
    std::optional<ui::Instant> next_wake_up() const override;
    bool needs_redraw() const override;
    std::string_view debug_type_name() const override { return "MailApp"; }

    // The welcome screen stands in for the panes while there is no account and setup is closed.
    bool welcome_shown() const;
    const MailState& state() const { return *state_; }
    MailState& state_mut() { return *state_; }
    ui::NavShell& shell() { return shell_; }
    const MailCatalogue& catalogue() const { return catalogue_; }
    MailCatalogue& catalogue_mut() { return catalogue_; }
    const StorageRoot& storage_root() const { return storage_root_; }

    // Carries out what the panes and state operations queued, in order.
    void carry_out_commands();
    // Puts the request on the engine's channel and records it as pending; false when it was
    // not sent (no engine, or the worker has ended).
    bool send_request(EngineRequest request);
    bool busy() const { return busy_; }
    void set_busy(bool busy) { busy_ = busy; }
    void set_setup_open(bool open);

private:
    void apply_engine_event(const EngineEvent& event);
    bool work_outstanding() const;

    // The shell's own control invocations and the welcome screen's go through here.
    std::optional<ui::ControlInvocation> pending_invocation_;

    std::shared_ptr<MailState> state_;
    MailCatalogue catalogue_;
    ui::NavShell shell_;
    ui::EmptyState welcome_;
    ui::Theme theme_;
    std::optional<engine::EngineHandle> engine_;
    StorageRoot storage_root_;
    std::map<RequestId, RequestKind> pending_;
    bool busy_ = false;
    mutable std::optional<ui::Instant> poll_deadline_;  // next forced wake-up while work is outstanding
    std::optional<MailAccount> setup_account_;  // the account the setup sheet edits
    bool setup_open_ = false;
    bool needs_redraw_ = true;
};

}  // namespace mail::app
