#include "platform/ui/access.h"

#include <nlohmann/json.hpp>

namespace mail::ui {

const char* access_role_name(AccessRole role) {
    switch (role) {
        case AccessRole::Application: return "application";
        case AccessRole::Dialog: return "dialog";
        case AccessRole::Group: return "group";
        case AccessRole::Toolbar: return "toolbar";
        case AccessRole::List: return "list";
        case AccessRole::ListItem: return "list_item";
        case AccessRole::Tree: return "tree";
        case AccessRole::TreeItem: return "tree_item";
        case AccessRole::Menu: return "menu";
        case AccessRole::MenuItem: return "menu_item";
        case AccessRole::Button: return "button";
        case AccessRole::Text: return "text";
        case AccessRole::TextInput: return "text_input";
        case AccessRole::CheckBox: return "check_box";
        case AccessRole::Switch: return "switch";
        case AccessRole::ComboBox: return "combo_box";
        case AccessRole::Link: return "link";
        case AccessRole::Image: return "image";
        case AccessRole::ProgressIndicator: return "progress_indicator";
        case AccessRole::Document: return "document";
        case AccessRole::Article: return "article";
    }
    return "group";
}

const AccessNode* AccessNode::find_key(const std::string& wanted) const {
    if (key && *key == wanted) return this;
    for (const auto& child : children)
        if (const AccessNode* found = child.find_key(wanted)) return found;
    return nullptr;
}

namespace {

nlohmann::ordered_json to_json(const AccessNode& node) {
    nlohmann::ordered_json out;
    out["role"] = access_role_name(node.role);
    out["label"] = node.label;
    if (node.description) out["description"] = *node.description;
    if (node.value) out["value"] = *node.value;
    if (node.key) out["key"] = *node.key;
    if (node.bounds) out["bounds"] = {node.bounds->x0, node.bounds->y0, node.bounds->x1, node.bounds->y1};
    if (node.pos) out["pos"] = {node.pos->first, node.pos->second};
    if (node.selected) out["selected"] = *node.selected;
    if (node.expanded) out["expanded"] = *node.expanded;
    if (node.disabled) out["disabled"] = *node.disabled;
    if (node.pressed) out["pressed"] = *node.pressed;
    if (!node.children.empty()) {
        auto children = nlohmann::ordered_json::array();
        for (const auto& child : node.children) children.push_back(to_json(child));
        out["children"] = std::move(children);
    }
    return out;
}

}  // namespace

std::string access_tree_json(const AccessNode& root) {
    return to_json(root).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace mail::ui
