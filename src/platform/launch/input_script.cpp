#include "platform/launch/input_script.h"

#include "platform/json/strict_json.h"

namespace mail::launch {

namespace {

Result<ui::Point> read_point(const json::Json& value, const char* name) {
    if (!value.is_array() || value.size() != 2 || !value[0].is_number() || !value[1].is_number())
        return make_error(std::string("\"") + name + "\" wants [x, y]");
    return ui::Point{value[0].get<float>(), value[1].get<float>()};
}

Result<ui::Modifiers> read_mods(const json::Json& object) {
    ui::Modifiers mods;
    if (!object.contains("mods")) return mods;
    const auto& list = object["mods"];
    if (!list.is_array()) return make_error("\"mods\" wants a list such as [\"shift\", \"ctrl\"]");
    for (const auto& m : list) {
        std::string name = m.is_string() ? m.get<std::string>() : "";
        if (name == "shift") mods.shift = true;
        else if (name == "ctrl" || name == "control") mods.ctrl = true;
        else if (name == "alt") mods.alt = true;
        else if (name == "meta" || name == "super") mods.meta = true;
        else return make_error("unknown modifier " + m.dump());
    }
    return mods;
}

Result<InputStep> read_step(const json::Json& o) {
    InputStep step;
    if (!o.is_object()) return make_error("each line must be a JSON object");
    if (o.contains("key")) {
        if (!o["key"].is_string() || o["key"].get<std::string>().empty()) return make_error("\"key\" wants a key name");
        auto mods = read_mods(o);
        if (!mods) return mods.error();
        ui::KeyPress key;
        key.key = o["key"].get<std::string>();
        key.modifiers = *mods;
        // A printable key types itself unless a command modifier is held.
        if (key.key.size() == 1 && !mods->ctrl && !mods->alt && !mods->meta) key.text = key.key;
        if (key.key == "Space" || key.key == " ") {
            key.key = " ";
            if (!mods->ctrl && !mods->alt && !mods->meta) key.text = " ";
        }
        step.action = std::vector<ui::Event>{key};
    } else if (o.contains("text")) {
        if (!o["text"].is_string()) return make_error("\"text\" wants a string");
        step.action = std::vector<ui::Event>{ui::TextCommit{o["text"].get<std::string>()}};
    } else if (o.contains("click")) {
        auto p = read_point(o["click"], "click");
        if (!p) return p.error();
        auto mods = read_mods(o);
        if (!mods) return mods.error();
        ui::PointerButton button = ui::PointerButton::Left;
        if (o.contains("button")) {
            std::string b = o["button"].is_string() ? o["button"].get<std::string>() : "";
            if (b == "right") button = ui::PointerButton::Right;
            else if (b == "middle") button = ui::PointerButton::Middle;
            else if (b != "left") return make_error("\"button\" is left, right or middle");
        }
        step.action = std::vector<ui::Event>{ui::PointerMove{*p, *mods}, ui::PointerPress{*p, button, *mods, 1},
                                             ui::PointerRelease{*p, button, *mods}};
    } else if (o.contains("move")) {
        auto p = read_point(o["move"], "move");
        if (!p) return p.error();
        step.action = std::vector<ui::Event>{ui::PointerMove{*p, {}}};
    } else if (o.contains("wheel")) {
        auto d = read_point(o["wheel"], "wheel");
        if (!d) return d.error();
        ui::Wheel wheel;
        wheel.delta = *d;
        if (o.contains("at")) {
            auto at = read_point(o["at"], "at");
            if (!at) return at.error();
            wheel.position = *at;
        }
        step.action = std::vector<ui::Event>{wheel};
    } else if (o.contains("wait_ms")) {
        if (!o["wait_ms"].is_number_integer() || o["wait_ms"].get<int>() < 0)
            return make_error("\"wait_ms\" wants a whole number of milliseconds");
        step.action = WaitMs{o["wait_ms"].get<int>()};
    } else if (o.contains("wait_idle")) {
        if (!o["wait_idle"].is_number() || o["wait_idle"].get<double>() < 0)
            return make_error("\"wait_idle\" wants a number of seconds");
        step.action = WaitIdle{o["wait_idle"].get<double>()};
    } else if (o.contains("semantic")) {
        if (!o["semantic"].is_string()) return make_error("\"semantic\" wants an id");
        ui::SemanticAction action;
        action.id = o["semantic"].get<std::string>();
        std::string kind = o.contains("kind") && o["kind"].is_string() ? o["kind"].get<std::string>() : "activate";
        if (kind == "activate") action.kind = ui::SemanticKind::Activate;
        else if (kind == "focus") action.kind = ui::SemanticKind::Focus;
        else if (kind == "expand") action.kind = ui::SemanticKind::Expand;
        else if (kind == "collapse") action.kind = ui::SemanticKind::Collapse;
        else if (kind == "set_value") action.kind = ui::SemanticKind::SetValue;
        else return make_error("unknown semantic kind \"" + kind + "\"");
        if (action.kind == ui::SemanticKind::SetValue) {
            if (!o.contains("value") || !o["value"].is_string()) return make_error("set_value wants a \"value\" string");
            action.value = o["value"].get<std::string>();
        }
        step.action = action;
    } else {
        return make_error("unknown input line (expected key, text, click, move, wheel, wait_ms, wait_idle or semantic)");
    }
    return step;
}

}  // namespace

Result<std::vector<InputStep>> parse_input_script(std::string_view text) {
    std::vector<InputStep> steps;
    int line_number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        ++line_number;
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty()) {
            if (end == text.size()) break;
            continue;
        }
        auto parsed = json::parse_strict(line);
        if (!parsed) return make_error("input line " + std::to_string(line_number) + ": " + parsed.error_text());
        auto step = read_step(*parsed);
        if (!step) return make_error("input line " + std::to_string(line_number) + ": " + step.error_text());
        step->line = line_number;
        steps.push_back(std::move(*step));
        if (end == text.size()) break;
    }
    return steps;
}

}  // namespace mail::launch
