#pragma once
// The root widget: the navigation shell with the three panes, the welcome screen, the status
// line, the one link to the engine, and everything else that is not shared with the panes.
// UI thread only.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/mail_search.h"
#include "core/mail_state.h"
#include "core/storage_root.h"
#include "engine/engine.h"
#include "engine/replica_schema.h"
#include "platform/services/sync_reporter.h"
#include "platform/ui/empty_state.h"
#include "platform/ui/nav_shell.h"
#include "platform/ui/theme.h"
#include "platform/ui/toast.h"
#include "platform/ui/widget.h"

namespace mail::app {

// How long a status text stays on the line after the sync that first saw it.
inline constexpr std::chrono::milliseconds kStatusLifetime{3500};
// The shown folder is refreshed at the first idle sync more than this many minutes after the last.
inline constexpr std::int64_t kRefreshIntervalMinutes = 4;

// The wall clock in whole minutes since the Unix epoch (0 before it).
std::int64_t current_minute();

// The toast tone of a status text, from its words.
ui::ToastTone status_tone(const std::string& status);

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
    // Refreshes the shown folder of the mailbox's account (F5, the refresh action, the timer).
    bool refresh_current_folder();
    bool busy() const { return busy_; }
    void set_busy(bool busy) { busy_ = busy; }
    const std::map<RequestId, RequestKind>& pending() const { return pending_; }
    void set_setup_open(bool open);
    bool setup_open() const { return setup_open_; }

    // The composer's body format, as the preferences file keeps it.
    bool compose_plain_text() const { return compose_plain_text_; }
    void set_compose_plain_text(bool plain_text) { compose_plain_text_ = plain_text; }
    // Writes the format when it differs from the one last written.
    void save_preferences_if_changed();

    // The wall clock in whole minutes since the Unix epoch; tests replace it.
    void set_minute_clock(std::function<std::int64_t()> clock) { minute_clock_ = std::move(clock); }

private:
    void apply_engine_event(const EngineEvent& event);
    void apply_folder_synced(event::FolderSynced synced);
    void report_sync(const std::string& account_id, services::SyncState state, std::string_view error = {});
    void expire_status(ui::Instant now);
    void sync_replica();
    void start_up_once();
    void refresh_periodically();
    void save_active_account();
    bool work_outstanding() const;

    std::shared_ptr<MailState> state_;
    MailCatalogue catalogue_;
    ui::NavShell shell_;
    ui::EmptyState welcome_;
    ui::Theme theme_;
    std::optional<engine::EngineHandle> engine_;
    StorageRoot storage_root_;

    std::map<RequestId, RequestKind> pending_;
    bool busy_ = false;
    bool connect_sent_ = false;
    bool started_up_ = false;  // the first sync's start-up work is done
    // The replica document and action host of the sync in progress; null outside sync.
    persist::Document* replica_ = nullptr;
    const actionfw::ActionHost* actions_ = nullptr;
    bool replica_loaded_ = false;  // every message has been seeded once
    engine::ReplicaProjection projection_;
    mutable std::optional<ui::Instant> poll_deadline_;  // next forced wake-up while work is outstanding
    std::optional<std::string> status_seen_;
    std::optional<ui::Instant> status_deadline_;
    std::int64_t last_refresh_ = 0;  // minutes; 0 = none yet
    std::function<std::int64_t()> minute_clock_;
    std::optional<std::string> saved_account_;
    bool compose_plain_text_ = false;
    bool saved_plain_text_ = false;
    std::optional<MailAccount> setup_account_;  // the account the setup sheet edits
    bool setup_open_ = false;
    bool reopen_setup_ = false;
    bool needs_redraw_ = true;
    // Control invocations of the welcome screen, run by the window after the event.
    std::optional<ui::ControlInvocation> pending_invocation_;
};

}  // namespace mail::app
