#pragma once
// Accessibility nodes: plain data that the window layer publishes to assistive technology and
// the command line can dump as JSON.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ui/geometry.h"

namespace mail::ui {

enum class AccessRole {
    Application, Dialog, Group, Toolbar, List, ListItem, Tree, TreeItem, Menu, MenuItem, Button,
    Text, TextInput, CheckBox, Switch, ComboBox, Link, Image, ProgressIndicator, Document, Article,
};

const char* access_role_name(AccessRole role);

struct AccessNode {
    AccessRole role = AccessRole::Group;
    std::string label;
    std::optional<std::string> description;
    std::optional<std::string> value;
    std::optional<std::string> key;        // the action id it performs; also its identity
    std::optional<Rect> bounds;            // window coordinates
    std::optional<std::pair<int, int>> pos;  // index from 1, set size
    std::optional<bool> selected;
    std::optional<bool> expanded;
    std::optional<bool> disabled;
    std::optional<bool> pressed;
    std::vector<AccessNode> children;

    AccessNode() = default;
    AccessNode(AccessRole r, std::string l) : role(r), label(std::move(l)) {}

    AccessNode with_children(std::vector<AccessNode> nodes) && {
        children = std::move(nodes);
        return std::move(*this);
    }
    AccessNode with_optional_value(std::optional<std::string> v) && {
        value = std::move(v);
        return std::move(*this);
    }

    // The node with `key`, searched depth first.
    const AccessNode* find_key(const std::string& wanted) const;
};

// The tree as JSON: role, label, description, value, key, bounds [x0,y0,x1,y1], pos [index,size],
// selected, expanded, disabled, pressed, children; absent properties left out.
std::string access_tree_json(const AccessNode& root);

}  // namespace mail::ui
