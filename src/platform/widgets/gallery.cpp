// The widget gallery: every widget in its states, one PNG per subject, for review.
#include "platform/ui/gallery.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ui/avatar.h"
#include "platform/ui/controls.h"
#include "platform/ui/empty_state.h"
#include "platform/ui/icons.h"
#include "platform/ui/modal.h"
#include "platform/ui/nav_shell.h"
#include "platform/ui/offscreen.h"
#include "platform/ui/painter.h"
#include "platform/ui/surface.h"
#include "platform/ui/text.h"
#include "platform/ui/text_input.h"
#include "platform/ui/theme.h"
#include "platform/ui/toast.h"

namespace mail::ui {
namespace {

namespace fs = std::filesystem;

constexpr float gallery_scale = 2;

struct Sheet {
    const Theme& theme;
    const fs::path& dir;

    Status shot(const char* file, Size size, const std::function<void(Painter&)>& draw) const {
        return render_png(size, gallery_scale, [&](Painter& p) {
            p.fill_rect({0, 0, size.width, size.height}, theme.colors.background);
            draw(p);
        }, dir / file);
    }
};

void caption(Painter& p, const Theme& theme, std::string_view text, Point at) {
    TextRenderer::draw_text(p, text, at, 11, 1, theme.colors.secondary_text);
}

void heading(Painter& p, const Theme& theme, std::string_view text, Point at) {
    TextRenderer::draw_text(p, text, at, 15, 3, theme.colors.primary_text);
}

// A grey bar standing in for a line of text in the sample panes.
void text_bar(Painter& p, float x, float y, float w, float h, Color c) { surface::pill(p, {x, y, x + w, y + h}, c); }

// --- sample panes for the shell -------------------------------------------------------------

enum class DemoRole { Sidebar, List, Detail };

class DemoPane : public Widget {
public:
    explicit DemoPane(DemoRole role) : role_(role) {}
    float header_inset = 20;  // room for the shell's drawer button when it has one
    float content_inset = 20; // room for the shell's back control
    int selected_row = 1;

    void draw(Painter& p, const Theme& theme) override {
        const Colors& c = theme.colors;
        const Rect r = bounds_;
        switch (role_) {
        case DemoRole::Sidebar: {
            p.fill_rect(r, c.sidebar_background);
            TextRenderer::draw_text(p, "Workspace", {r.x0 + 20, r.y0 + 19}, 16, 2, c.primary_text);
            Rect primary{r.x0 + 12, r.y0 + 56, r.x1 - 12, r.y0 + 96};
            ButtonContent content(IconName::Plus, "New item");
            content.with_label_style(14, 2).with_icon_size(18);
            Button::paint(p, theme, primary, ButtonKind::Primary, ButtonState::Rest, content, 10);
            const char* names[] = {"Overview", "Recent", "Shared", "Archive", "Trash"};
            const IconName icons[] = {IconName::Inbox, IconName::Star, IconName::Envelope, IconName::Archive,
                                      IconName::Trash};
            float y = r.y0 + 112;
            for (int i = 0; i < 5; ++i) {
                Rect row{r.x0 + 10, y, r.x1 - 10, y + 36};
                if (i == 0) {
                    surface::pill(p, row, 8, c.selected_surface);
                    p.fill_rect({row.x0, row.y0 + 6, row.x0 + 3, row.y1 - 6}, c.accent);
                }
                Icon::draw(p, icons[i], Rect::from_xywh(row.x0 + 12, row.y0 + 9, 18, 18), i == 0 ? c.accent : c.muted_icon);
                TextRenderer::draw_text(p, names[i], {row.x0 + 40, row.y0 + 9.5f}, 13, i == 0 ? 2 : 0,
                                        i == 0 ? c.primary_text : c.muted_text);
                y += 38;
            }
            break;
        }
        case DemoRole::List: {
            p.fill_rect(r, c.list_background);
            TextRenderer::draw_text(p, "Overview", {r.x0 + header_inset + 4, r.y0 + 16.75f}, 18, 3, c.primary_text);
            surface::separator(p, r.x0, r.x1, r.y0 + 59, c.separator);
            float y = r.y0 + 60;
            const char* names[] = {"Quarterly planning", "Design review", "Release notes", "Travel", "Budget 2025",
                                   "Team offsite", "Roadmap"};
            for (int i = 0; i < 7 && y < r.y1; ++i) {
                Rect row{r.x0, y, r.x1, y + 72};
                if (i == selected_row) {
                    p.fill_rect(row, c.selected_surface);
                    p.fill_rect({row.x0, row.y0, row.x0 + 3, row.y1}, c.accent);
                }
                Avatar::draw_at(p, Rect::from_xywh(row.x0 + 20, row.y0 + 18, 34, 34), std::string(1, names[i][0]),
                                c.avatar_palette[i % 6]);
                TextRenderer::draw_text(p, names[i], {row.x0 + 66, row.y0 + 15}, 13.5f, 2, c.primary_text);
                text_bar(p, row.x0 + 66, row.y0 + 40, std::max(40.0f, row.width() - 120 - 13.0f * (i % 3)), 7,
                         c.separator);
                surface::separator(p, row.x0, row.x1, row.y1 - 1, c.separator);
                y += 72;
            }
            break;
        }
        case DemoRole::Detail: {
            p.fill_rect(r, c.reader_background);
            const float x = r.x0 + 20;
            float bx = r.x0 + content_inset;
            const IconName icons[] = {IconName::Reply, IconName::Archive, IconName::Trash};
            const char* labels[] = {"Reply", "Archive", "Delete"};
            for (int i = 0; i < 3; ++i) {
                ButtonContent content(icons[i], labels[i]);
                content.with_label_style(12, 2);
                const float w = Button::natural_width(content, 12);
                if (bx + w > r.x1 - 12) break;
                Button::paint(p, theme, Rect::from_xywh(bx, r.y0 + 12, w, 32),
                              i == 2 ? ButtonKind::Destructive : ButtonKind::Standard, ButtonState::Rest, content, 8);
                bx += w + 8;
            }
            TextRenderer::draw_text(p, "Design review", {x + 4, r.y0 + 64}, 20, 3, c.primary_text);
            TextRenderer::draw_text(p, "Updated today · 3 comments", {x + 4, r.y0 + 94}, 12, 0, c.secondary_text);
            surface::separator(p, x + 4, r.x1 - 24, r.y0 + 120, c.separator);
            float y = r.y0 + 140;
            for (int i = 0; i < 9 && y < r.y1 - 20; ++i) {
                float w = (r.x1 - 24 - x - 4) * (i % 4 == 3 ? 0.55f : 0.92f - 0.06f * (i % 3));
                text_bar(p, x + 4, y, w, 8, Colors::lift(c.surface, 0.35f));
                y += i % 4 == 3 ? 34 : 20;
            }
            break;
        }
        }
    }
    std::string_view debug_type_name() const override { return "DemoPane"; }

private:
    DemoRole role_;
};

struct DemoShell {
    NavShell shell;
    DemoPane* sidebar;
    DemoPane* list;
    DemoPane* detail;
};

DemoShell make_shell() {
    auto sidebar = std::make_unique<DemoPane>(DemoRole::Sidebar);
    auto list = std::make_unique<DemoPane>(DemoRole::List);
    auto detail = std::make_unique<DemoPane>(DemoRole::Detail);
    DemoPane* s = sidebar.get();
    DemoPane* l = list.get();
    DemoPane* d = detail.get();
    NavShell shell = NavShell::create(std::move(list), std::move(detail)).with_sidebar(std::move(sidebar));
    shell.set_animations_enabled(false);
    return DemoShell{std::move(shell), s, l, d};
}

void lay_out(DemoShell& demo, Size size) {
    LayoutContext context{size, 1};
    demo.shell.apply_layout({0, 0, size.width, size.height}, context);
    if (auto button = demo.shell.drawer_button_rect()) {
        demo.list->header_inset = button->x1 - demo.shell.list_rect().value_or(Rect{}).x0 + 4;
    }
    if (auto back = demo.shell.back_button_rect()) demo.detail->content_inset = back->x1 - back->x0 + 24;
    else demo.detail->content_inset = 20;
}

// --- the sheets ---------------------------------------------------------------------------

Status buttons_sheet(const Sheet& s) {
    const ButtonKind kinds[] = {ButtonKind::Standard, ButtonKind::Primary, ButtonKind::Destructive, ButtonKind::Ghost};
    const char* kind_names[] = {"Standard", "Primary", "Destructive", "Ghost"};
    const ButtonState states[] = {ButtonState::Rest, ButtonState::Hover, ButtonState::Pressed, ButtonState::Disabled};
    const char* state_names[] = {"Rest", "Hover", "Pressed", "Disabled"};
    const IconName icons[] = {IconName::Archive, IconName::Plus, IconName::Trash, IconName::Refresh};
    const char* labels[] = {"Archive", "Create", "Delete", "Refresh"};
    return s.shot("buttons.png", {820, 560}, [&](Painter& p) {
        heading(p, s.theme, "Buttons", {32, 24});
        for (int col = 0; col < 4; ++col) caption(p, s.theme, state_names[col], {170 + col * 160.0f, 60});
        for (int row = 0; row < 4; ++row) {
            const float y = 84 + row * 100.0f;
            caption(p, s.theme, kind_names[row], {32, y + 8});
            for (int col = 0; col < 4; ++col) {
                const float x = 170 + col * 160.0f;
                ButtonContent with_icon(icons[row], labels[row]);
                Button::paint(p, s.theme, Rect::from_xywh(x, y, 124, 34), kinds[row], states[col], with_icon, 8);
                ButtonContent label_only(labels[row]);
                Button::paint(p, s.theme, Rect::from_xywh(x, y + 44, 84, 32), kinds[row], states[col], label_only, 16);
                ButtonContent icon_only(icons[row]);
                Button::paint(p, s.theme, Rect::from_xywh(x + 92, y + 44, 32, 32), kinds[row], states[col], icon_only, 9);
            }
        }
        caption(p, s.theme, "Focused", {32, 506});
        ButtonContent focused("Continue");
        Button::paint(p, s.theme, Rect::from_xywh(170, 498, 124, 34), ButtonKind::Primary, ButtonState::Rest, focused, 8,
                      true);
    });
}

Status toggles_sheet(const Sheet& s) {
    return s.shot("toggles.png", {460, 200}, [&](Painter& p) {
        heading(p, s.theme, "Toggles", {32, 24});
        const char* names[] = {"Off", "Off, hovered", "On", "On, hovered"};
        for (int i = 0; i < 4; ++i) {
            const float x = 32 + i * 104.0f;
            Toggle::paint(p, s.theme, Rect::from_xywh(x, 70, 40, 22), i >= 2, i % 2 == 1);
            caption(p, s.theme, names[i], {x, 102});
        }
        Toggle::paint(p, s.theme, Rect::from_xywh(32, 140, 40, 22), false, false, true);
        caption(p, s.theme, "Disabled", {82, 144});
        Toggle::paint(p, s.theme, Rect::from_xywh(190, 140, 40, 22), true, false, true);
        caption(p, s.theme, "On, disabled", {240, 144});
    });
}

Status text_inputs_sheet(const Sheet& s) {
    return s.shot("text_inputs.png", {760, 560}, [&](Painter& p) {
        heading(p, s.theme, "Text inputs", {32, 24});
        auto field = [&](TextInput input, Rect r, const char* label, const std::function<void(TextInput&)>& setup) {
            caption(p, s.theme, label, {r.x0, r.y0 - 18});
            input.apply_layout_external(r);
            if (setup) setup(input);
            input.draw(p, s.theme);
        };
        const float w = 320;
        field(TextInput::local("empty").with_placeholder("Search everything").with_frame(true),
              Rect::from_xywh(32, 84, w, 34), "Empty, placeholder", nullptr);
        field(TextInput::local("focused").with_placeholder("name@example.com").with_kind(TextInputKind::Email).with_frame(true),
              Rect::from_xywh(400, 84, w, 34), "Empty, focused", [](TextInput& t) { t.set_focused(true); });
        field(TextInput::local("text").with_initial_value("Quarterly planning notes").with_frame(true),
              Rect::from_xywh(32, 164, w, 34), "With text", nullptr);
        field(TextInput::local("caret").with_initial_value("Quarterly planning notes").with_frame(true),
              Rect::from_xywh(400, 164, w, 34), "Focused, caret after \u201cplanning\u201d", [](TextInput& t) {
                  t.set_focused(true);
                  t.set_selection(18, 18);
              });
        field(TextInput::local("selection").with_initial_value("Quarterly planning notes").with_frame(true),
              Rect::from_xywh(32, 244, w, 34), "Selection (double-clicked word)", [](TextInput& t) {
                  t.set_focused(true);
                  t.set_selection(10, 18);
              });
        field(TextInput::local("password").with_initial_value("correct horse").with_kind(TextInputKind::Password).with_frame(true),
              Rect::from_xywh(400, 244, w, 34), "Password, masked", [](TextInput& t) { t.set_focused(true); });
        field(TextInput::local("scrolled")
                  .with_initial_value("A long single line that scrolls so the caret stays in view at the end")
                  .with_frame(true),
              Rect::from_xywh(32, 324, w, 34), "Scrolled to the caret", [](TextInput& t) { t.set_focused(true); });
        field(TextInput::local("error").with_initial_value("name@").with_kind(TextInputKind::Email).with_frame(true),
              Rect::from_xywh(400, 324, w, 34), "Error", [](TextInput& t) { t.set_error(true); });
        field(TextInput::local("body")
                  .with_kind(TextInputKind::Multiline)
                  .with_initial_value("Hi all,\n\nThe review moves to Thursday at 10:00. Bring the latest sketches "
                                      "and the open questions from last week.\n\nThanks!")
                  .with_frame(true),
              Rect::from_xywh(32, 404, w, 130), "Multi-line, selection across lines", [](TextInput& t) {
                  t.set_focused(true);
                  const std::string& body = t.text();
                  t.set_selection(body.find("Thursday"), body.find("sketches") + 8);
              });
        field(TextInput::local("body-empty").with_kind(TextInputKind::Multiline).with_placeholder("Write a note…").with_frame(true),
              Rect::from_xywh(400, 404, w, 130), "Multi-line, placeholder", nullptr);
    });
}

Status icons_sheet(const Sheet& s) {
    const auto names = all_icons();
    std::vector<IconName> filled;
    for (IconName name : names) {
        if (Icon::has_filled_form(name)) filled.push_back(name);
    }
    const int columns = 8;
    const float cell_w = 104, cell_h = 78;
    auto rows_for = [&](std::size_t n) { return static_cast<float>((n + columns - 1) / columns); };
    const float filled_top = 64 + rows_for(names.size()) * cell_h + 40;
    const Size size{32 * 2 + columns * cell_w, filled_top + rows_for(filled.size()) * cell_h + 16};
    auto cell = [&](Painter& p, std::size_t i, float top, IconName name, bool solid) {
        const float x = 32 + static_cast<float>(i % columns) * cell_w;
        const float y = top + static_cast<float>(i / columns) * cell_h;
        Rect box = Rect::from_xywh(x + 4, y + 4, cell_w - 8, cell_h - 8);
        surface::card(p, box, 10, s.theme.colors.surface.faded(0.6f));
        Rect glyph = Rect::from_xywh(box.center().x - 12, box.y0 + 12, 24, 24);
        if (solid) Icon::draw_filled(p, name, glyph, s.theme.colors.primary_text);
        else Icon::draw(p, name, glyph, s.theme.colors.primary_text);
        std::string label = TextRenderer::elide_to_width(icon_name(name), 10, 0, box.width() - 8);
        TextRenderer::draw_text_aligned(p, label, {box.x0, box.y0 + 46, box.x1, box.y0 + 58.5f}, TextAlign::Center, 10, 0,
                                        s.theme.colors.secondary_text);
    };
    return s.shot("icons.png", size, [&](Painter& p) {
        heading(p, s.theme, "Icons", {32, 24});
        for (std::size_t i = 0; i < names.size(); ++i) cell(p, i, 64, names[i], false);
        heading(p, s.theme, "Solid forms", {32, filled_top - 34});
        for (std::size_t i = 0; i < filled.size(); ++i) cell(p, i, filled_top, filled[i], true);
    });
}

Status toasts_sheet(const Sheet& s) {
    struct Sample {
        ToastTone tone;
        const char* name;
        const char* text;
    };
    const Sample samples[] = {
        {ToastTone::Plain, "Plain", "Copied to the clipboard"},
        {ToastTone::Progress, "Progress", "Syncing\u2026"},
        {ToastTone::Warning, "Warning", "You\u2019re offline \u00b7 Showing saved items"},
        {ToastTone::Error, "Error", "Couldn\u2019t save: the disk is full"},
        {ToastTone::Error, "Elided", "Send failed: the server closed the connection while the message was being "
                                     "transferred, and no reason was given"},
    };
    const float band = 96;
    return s.shot("toasts.png", {620, 40 + band * 5}, [&](Painter& p) {
        for (int i = 0; i < 5; ++i) {
            Rect area{20, 20 + i * band, 600, 20 + (i + 1) * band - 8};
            surface::card(p, area, 10, s.theme.colors.reader_background, Border{panel_border(s.theme), 1});
            caption(p, s.theme, samples[i].name, {area.x0 + 14, area.y0 + 10});
            toast::paint_transient(p, s.theme, area.inset(0, -16), samples[i].text, samples[i].tone);
        }
    });
}

Status shell_sheets(const Sheet& s) {
    {
        DemoShell demo = make_shell();
        const Size wide{1100, 620};
        lay_out(demo, wide);
        MAIL_TRY(s.shot("nav_shell_wide.png", wide, [&](Painter& p) { demo.shell.draw_with_presence(p, s.theme); }));
    }
    const Size narrow{420, 620};
    {
        DemoShell demo = make_shell();
        lay_out(demo, narrow);
        MAIL_TRY(s.shot("nav_shell_compact.png", narrow, [&](Painter& p) { demo.shell.draw_with_presence(p, s.theme); }));
    }
    {
        DemoShell demo = make_shell();
        demo.shell.snap_sidebar();
        lay_out(demo, narrow);
        MAIL_TRY(s.shot("nav_shell_drawer.png", narrow, [&](Painter& p) { demo.shell.draw_with_presence(p, s.theme); }));
    }
    {
        DemoShell demo = make_shell();
        demo.shell.snap(NavTarget::Detail);
        lay_out(demo, narrow);
        MAIL_TRY(s.shot("nav_shell_detail.png", narrow, [&](Painter& p) { demo.shell.draw_with_presence(p, s.theme); }));
    }
    return {};
}

Status empty_state_sheet(const Sheet& s) {
    return s.shot("empty_state.png", {860, 420}, [&](Painter& p) {
        Rect left{20, 20, 420, 400};
        Rect right{440, 20, 840, 400};
        p.fill_rect(left, s.theme.colors.list_background);
        p.fill_rect(right, s.theme.colors.reader_background);
        EmptyState plain(IconName::Search, "No matching items", "Try another name, tag, or keyword.");
        plain.paint(p, s.theme, left);
        EmptyState welcome(IconName::Envelope, "Welcome",
                           "Connect an account to start. Everything stays on this device until you sync.");
        welcome.with_button("Add account", "demo.add-account").with_secondary_button("Learn more", "demo.learn-more");
        welcome.paint(p, s.theme, right);
    });
}

Status modal_sheet(const Sheet& s) {
    const Size size{900, 600};
    return s.shot("modal.png", size, [&](Painter& p) {
        DemoShell demo = make_shell();
        lay_out(demo, size);
        demo.shell.draw_with_presence(p, s.theme);
        const Rect window{0, 0, size.width, size.height};
        ModalFrame::paint_backdrop(p, s.theme, window);
        ModalLayout layout = ModalFrame::layout(window, {460, 238});
        ModalFrame::paint_frame(p, s.theme, layout);
        const Rect c = layout.content;
        const Colors& col = s.theme.colors;
        TextRenderer::draw_text(p, "Rename item", {c.x0, c.y0}, 20, 3, col.primary_text);
        TextRenderer::draw_text(p, "The new name shows everywhere the item appears.", {c.x0, c.y0 + 34}, 13, 0,
                                col.secondary_text);
        caption(p, s.theme, "Name", {c.x0, c.y0 + 72});
        TextInput input = TextInput::local("name").with_initial_value("Design review").with_frame(true);
        input.apply_layout_external({c.x0, c.y0 + 92, c.x1, c.y0 + 128});
        input.set_focused(true);
        input.select_all();
        input.draw(p, s.theme);
        const float by = c.y1 - 34;
        Button::paint(p, s.theme, {c.x1 - 96, by, c.x1, by + 34}, ButtonKind::Primary, ButtonState::Rest,
                      ButtonContent("Rename"), 9);
        Button::paint(p, s.theme, {c.x1 - 192, by, c.x1 - 106, by + 34}, ButtonKind::Standard, ButtonState::Rest,
                      ButtonContent("Cancel"), 9);
    });
}

Status surfaces_sheet(const Sheet& s) {
    return s.shot("surfaces.png", {860, 530}, [&](Painter& p) {
        const Colors& c = s.theme.colors;
        heading(p, s.theme, "Cards", {32, 24});
        Rect plain = Rect::from_xywh(32, 60, 180, 110);
        surface::card(p, plain, 10, c.surface);
        caption(p, s.theme, "card", {plain.x0 + 14, plain.y0 + 12});
        Rect bordered = Rect::from_xywh(232, 60, 180, 110);
        surface::card(p, bordered, 10, c.surface, Border{panel_border(s.theme), 1});
        caption(p, s.theme, "card with border", {bordered.x0 + 14, bordered.y0 + 12});
        Rect raised = Rect::from_xywh(432, 60, 180, 110);
        surface::shadow(p, raised, 12, 1);
        surface::card(p, raised, 12, c.surface_raised);
        surface::edge_outline(p, raised, 12);
        caption(p, s.theme, "shadow + edge outline", {raised.x0 + 14, raised.y0 + 12});
        Rect dialog = Rect::from_xywh(632, 60, 196, 110);
        surface::shadow(p, dialog, 14, 2);
        surface::card(p, dialog, 14, c.surface, Border{panel_border(s.theme), 1});
        surface::edge_outline(p, dialog, 14);
        caption(p, s.theme, "elevation 2", {dialog.x0 + 14, dialog.y0 + 12});

        heading(p, s.theme, "Pills", {32, 196});
        float x = 32;
        auto pill_with = [&](const char* text, Color fill, Color ink, float radius) {
            float w = TextRenderer::measure(text, 11, 2).width + 20;
            Rect r = Rect::from_xywh(x, 232, w, 22);
            if (radius < 0) surface::pill(p, r, fill);
            else surface::pill(p, r, radius, fill);
            TextRenderer::draw_text_aligned(p, text, {r.x0, r.y0 + 4.1f, r.x1, r.y1}, TextAlign::Center, 11, 2, ink);
            x += w + 12;
        };
        pill_with("12", c.accent, c.white, -1);
        pill_with("3", c.neutral_badge, c.body_text, -1);
        pill_with("Selected", c.selected_surface, c.primary_text, 8);
        pill_with("Hovered", c.hover_surface, c.primary_text, 8);
        pill_with("Preview \u00b7 unchanged", c.accent.with_alpha(0.14f), c.accent, 7);
        pill_with("Offline", c.warning.with_alpha(0.16f), c.warning, -1);

        heading(p, s.theme, "Separators", {32, 284});
        Rect list = Rect::from_xywh(32, 318, 380, 120);
        surface::card(p, list, 10, c.list_background, Border{panel_border(s.theme), 1});
        for (int i = 1; i < 3; ++i) surface::separator(p, list.x0, list.x1, list.y0 + i * 40.0f, c.separator);
        for (int i = 0; i < 3; ++i) {
            TextRenderer::draw_text(p, i == 0 ? "First row" : i == 1 ? "Second row" : "Third row",
                                    {list.x0 + 16, list.y0 + 12 + i * 40.0f}, 13, 0, c.body_text);
        }
        surface::vertical_separator(p, 212, list.y0 + 10, list.y1 - 10, c.separator);

        heading(p, s.theme, "Avatars", {452, 284});
        const char* initials[] = {"AB", "C", "JD", "MK", "?", "ZW", "LT", "É"};
        const Color palette[] = {c.avatar_palette[0], c.avatar_palette[1], c.avatar_palette[2], c.avatar_palette[3],
                                 c.avatar_palette[4], c.avatar_palette[5], Color::rgb(217, 70, 239),
                                 Color::rgb(20, 184, 166)};
        for (int i = 0; i < 8; ++i) {
            Avatar::draw_at(p, Rect::from_xywh(452 + (i % 4) * 56.0f, 322 + (i / 4) * 56.0f, 40, 40), initials[i], palette[i]);
        }
        const float sizes[] = {20, 26, 34, 52};
        float ax = 452;
        for (float sz : sizes) {
            Avatar::draw_at(p, Rect::from_xywh(ax, 450 + (52 - sz) / 2, sz, sz), "RS", c.avatar_palette[0]);
            ax += sz + 16;
        }
        caption(p, s.theme, "sized to the square", {ax + 4, 470});
    });
}

Status rich_text_sheet(const Sheet& s) {
    const Colors& c = s.theme.colors;
    StyledText text;
    text.text = "Bold, italic, underlined and struck text sit beside inline code and a coloured word. "
                "Weights and sizes mix within one paragraph, and the caret and selection follow the glyphs.";
    text.size_pt = 15;
    text.color = c.body_text;
    auto run = [&](std::string_view word, TextSpanStyle style) {
        std::size_t start = text.text.find(word);
        text.runs.push_back({start, start + word.size(), style});
    };
    TextSpanStyle bold;
    bold.weight = 3;
    run("Bold", bold);
    TextSpanStyle italic;
    italic.italic = true;
    run("italic", italic);
    TextSpanStyle underline;
    underline.underline = true;
    run("underlined", underline);
    TextSpanStyle strike;
    strike.strikethrough = true;
    run("struck", strike);
    TextSpanStyle code;
    code.monospace = true;
    code.color = c.primary_text;
    code.background = Colors::lift(c.surface, 0.72f);
    run("inline code", code);
    TextSpanStyle coloured;
    coloured.weight = 2;
    coloured.color = c.accent;
    run("coloured", coloured);
    TextSpanStyle strong;
    strong.weight = 2;
    run("Weights", strong);
    TextSpanStyle large;
    large.size_pt = 19.0f;
    run("sizes", large);
    std::sort(text.runs.begin(), text.runs.end(), [](const StyledRun& a, const StyledRun& b) { return a.start < b.start; });
    return s.shot("rich_text.png", {640, 212}, [&](Painter& p) {
        heading(p, s.theme, "Rich text", {32, 24});
        Rect card = Rect::from_xywh(24, 60, 592, 132);
        surface::card(p, card, 12, c.reader_background, Border{panel_border(s.theme), 1});
        const Point origin{card.x0 + 20, card.y0 + 20};
        RichTextLayout layout = RichTextLayout::shape_styled(text, card.width() - 40);
        const std::size_t sel_start = text.text.find("caret");
        const std::size_t sel_end = text.text.find("glyphs") + 6;
        for (Rect r : layout.selection_rects(sel_start, sel_end)) {
            p.fill_rect(r.translated(origin.x, origin.y), c.accent.with_alpha(0.36f));
        }
        layout.draw(p, origin);
        Rect caret = layout.caret_geometry(text.text.find("paragraph")).translated(origin.x, origin.y);
        p.fill_rect({caret.x0 - 0.75f, caret.y0 + 2, caret.x0 + 0.75f, caret.y1 - 2}, c.focus_ring);
        caption(p, s.theme, "Caret before \u201cparagraph\u201d; selection from \u201ccaret\u201d to \u201cglyphs\u201d",
                {card.x0 + 20, card.y1 - 26});
    });
}

}  // namespace

Status write_gallery(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) return make_error("create " + dir.string() + ": " + ec.message());
    ensure_gui_application();
    const Theme theme = Theme::dark();
    Sheet sheet{theme, dir};
    MAIL_TRY(buttons_sheet(sheet));
    MAIL_TRY(toggles_sheet(sheet));
    MAIL_TRY(text_inputs_sheet(sheet));
    MAIL_TRY(icons_sheet(sheet));
    MAIL_TRY(toasts_sheet(sheet));
    MAIL_TRY(shell_sheets(sheet));
    MAIL_TRY(empty_state_sheet(sheet));
    MAIL_TRY(modal_sheet(sheet));
    MAIL_TRY(surfaces_sheet(sheet));
    MAIL_TRY(rich_text_sheet(sheet));
    return {};
}

}  // namespace mail::ui
