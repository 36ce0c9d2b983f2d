#include "platform/launch/access_bridge.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QWindow>
#include <map>
#include <vector>

namespace mail::launch {

using Path = std::vector<int>;

struct AccessBridge::Private {
    QWidget& window;
    RootHost& host;
    ui::AccessNode snapshot;
    std::string snapshot_json;
    std::map<Path, QAccessible::Id> registered;

    const ui::AccessNode* resolve(const Path& path) const {
        const ui::AccessNode* node = &snapshot;
        for (int index : path) {
            if (index < 0 || index >= static_cast<int>(node->children.size())) return nullptr;
            node = &node->children[static_cast<std::size_t>(index)];
        }
        return node;
    }
    QAccessibleInterface* interface_for(const Path& path);
    void forget_children() {
        for (auto& [path, id] : registered) QAccessible::deleteAccessibleInterface(id);
        registered.clear();
    }
};

namespace {

QAccessible::Role qt_role(ui::AccessRole role) {
    using R = ui::AccessRole;
    switch (role) {
        case R::Application: return QAccessible::Application;
        case R::Dialog: return QAccessible::Dialog;
        case R::Group: return QAccessible::Grouping;
        case R::Toolbar: return QAccessible::ToolBar;
        case R::List: return QAccessible::List;
        case R::ListItem: return QAccessible::ListItem;
        case R::Tree: return QAccessible::Tree;
        case R::TreeItem: return QAccessible::TreeItem;
        case R::Menu: return QAccessible::PopupMenu;
        case R::MenuItem: return QAccessible::MenuItem;
        case R::Button: return QAccessible::Button;
        case R::Text: return QAccessible::StaticText;
        case R::TextInput: return QAccessible::EditableText;
        case R::CheckBox: return QAccessible::CheckBox;
        case R::Switch: return QAccessible::CheckBox;
        case R::ComboBox: return QAccessible::ComboBox;
        case R::Link: return QAccessible::Link;
        case R::Image: return QAccessible::Graphic;
        case R::ProgressIndicator: return QAccessible::ProgressBar;
        case R::Document: return QAccessible::Document;
        case R::Article: return QAccessible::Section;
    }
    return QAccessible::Grouping;
}

QString text_of(const ui::AccessNode& node, QAccessible::Text t) {
    switch (t) {
        case QAccessible::Name: return QString::fromStdString(node.label);
        case QAccessible::Description: return node.description ? QString::fromStdString(*node.description) : QString();
        case QAccessible::Value: return node.value ? QString::fromStdString(*node.value) : QString();
        default: return {};
    }
}

QAccessible::State state_of(const ui::AccessNode& node) {
    QAccessible::State s;
    if (node.selected) {
        s.selectable = true;
        s.selected = *node.selected;
    }
    if (node.expanded) {
        s.expandable = true;
        s.expanded = *node.expanded;
        s.collapsed = !*node.expanded;
    }
    if (node.disabled && *node.disabled) s.disabled = true;
    if (node.pressed) {
        s.checkable = true;
        s.checked = *node.pressed;
    }
    if (node.role == ui::AccessRole::TextInput) s.editable = true;
    if (node.key) s.focusable = true;
    return s;
}

// One node below the window, addressed by its path of child indices in the snapshot.
class NodeAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    NodeAccessible(AccessBridge::Private& bridge, Path path) : bridge_(bridge), path_(std::move(path)) {}

    bool isValid() const override { return node() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return bridge_.window.windowHandle(); }
    QAccessibleInterface* parent() const override {
        if (path_.size() <= 1) return QAccessible::queryAccessibleInterface(&bridge_.window);
        return bridge_.interface_for(Path(path_.begin(), path_.end() - 1));
    }
    QAccessibleInterface* child(int index) const override {
        const auto* n = node();
        if (!n || index < 0 || index >= static_cast<int>(n->children.size())) return nullptr;
        Path p = path_;
        p.push_back(index);
        return bridge_.interface_for(p);
    }
    int childCount() const override {
        const auto* n = node();
        return n ? static_cast<int>(n->children.size()) : 0;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const auto* n = node();
        if (!n) return nullptr;
        QPoint local = bridge_.window.mapFromGlobal(QPoint(x, y));
        for (int i = 0; i < static_cast<int>(n->children.size()); ++i) {
            const auto& b = n->children[static_cast<std::size_t>(i)].bounds;
            if (b && b->contains({static_cast<float>(local.x()), static_cast<float>(local.y())})) return child(i);
        }
        return nullptr;
    }
    QString text(QAccessible::Text t) const override {
        const auto* n = node();
        return n ? text_of(*n, t) : QString();
    }
    void setText(QAccessible::Text t, const QString& text) override {
        const auto* n = node();
        if (!n || !n->key || t != QAccessible::Value) return;
        bridge_.host.semantic({*n->key, ui::SemanticKind::SetValue, text.toStdString()});
    }
    QRect rect() const override {
        const auto* n = node();
        if (!n || !n->bounds) return {};
        QPoint origin = bridge_.window.mapToGlobal(QPoint(0, 0));
        return QRect(origin.x() + static_cast<int>(n->bounds->x0), origin.y() + static_cast<int>(n->bounds->y0),
                     static_cast<int>(n->bounds->width()), static_cast<int>(n->bounds->height()));
    }
    QAccessible::Role role() const override {
        const auto* n = node();
        return n ? qt_role(n->role) : QAccessible::NoRole;
    }
    QAccessible::State state() const override {
        const auto* n = node();
        return n ? state_of(*n) : QAccessible::State();
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override {
        const auto* n = node();
        if (!n || !n->key) return {};
        QStringList names{pressAction(), setFocusAction()};
        if (n->expanded) names << (*n->expanded ? toggleAction() : showMenuAction());
        return names;
    }
    void doAction(const QString& name) override {
        const auto* n = node();
        if (!n || !n->key) return;
        ui::SemanticKind kind = ui::SemanticKind::Activate;
        if (name == setFocusAction()) kind = ui::SemanticKind::Focus;
        else if (name == toggleAction()) kind = ui::SemanticKind::Collapse;
        else if (name == showMenuAction()) kind = ui::SemanticKind::Expand;
        bridge_.host.semantic({*n->key, kind, {}});
        bridge_.window.update();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    const ui::AccessNode* node() const { return bridge_.resolve(path_); }

    AccessBridge::Private& bridge_;
    Path path_;
};

// The window itself stands for the tree's root node.
class WindowAccessible : public QAccessibleWidget {
public:
    WindowAccessible(QWidget* window, AccessBridge::Private& bridge)
        : QAccessibleWidget(window, QAccessible::Application), bridge_(bridge) {}

    int childCount() const override { return static_cast<int>(bridge_.snapshot.children.size()); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= childCount()) return nullptr;
        return bridge_.interface_for(Path{index});
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (this->child(i) == child) return i;
        return -1;
    }
    QString text(QAccessible::Text t) const override {
        QString own = text_of(bridge_.snapshot, t);
        return own.isEmpty() ? QAccessibleWidget::text(t) : own;
    }
    QAccessible::Role role() const override { return qt_role(bridge_.snapshot.role); }

private:
    AccessBridge::Private& bridge_;
};

AccessBridge::Private* g_bridge = nullptr;

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (g_bridge && object == &g_bridge->window) return new WindowAccessible(&g_bridge->window, *g_bridge);
    return nullptr;
}

}  // namespace

QAccessibleInterface* AccessBridge::Private::interface_for(const Path& path) {
    if (!resolve(path)) return nullptr;
    if (auto it = registered.find(path); it != registered.end()) return QAccessible::accessibleInterface(it->second);
    auto* iface = new NodeAccessible(*this, path);
    registered[path] = QAccessible::registerAccessibleInterface(iface);
    return iface;
}

AccessBridge::AccessBridge(QWidget& window, RootHost& host) : d_(new Private{window, host, {}, {}, {}}) {
    g_bridge = d_;
    QAccessible::installFactory(factory);
}

AccessBridge::~AccessBridge() {
    QAccessible::removeFactory(factory);
    d_->forget_children();
    g_bridge = nullptr;
    delete d_;
}

void AccessBridge::refresh() {
    if (!QAccessible::isActive()) return;
    ui::AccessNode tree = d_->host.root().accessibility();
    std::string json = ui::access_tree_json(tree);
    if (json == d_->snapshot_json) return;
    d_->snapshot = std::move(tree);
    d_->snapshot_json = std::move(json);
    // Paths may now name other nodes: hand out fresh interfaces and tell the reader to look again.
    d_->forget_children();
    QAccessibleEvent event(&d_->window, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&event);
}

}  // namespace mail::launch
