#include "platform/replica/document.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "platform/base/fatal.h"
#include "platform/replica/document_impl.h"
#include "platform/services/paths.h"

namespace mail::persist {
namespace detail {

std::uint64_t next_generation() {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

namespace {

// Small maps (one message's flags) are searched in place; large ones get a hash index.
constexpr std::size_t kIndexFrom = 8;

Value text_value(std::string_view text) {
    Value v;
    v.kind = Kind::Text;
    v.text = std::string(text);
    return v;
}

Scalar to_scalar(const Value& value) {
    Scalar s;
    s.kind = value.kind;
    s.boolean = value.boolean;
    s.integer = value.integer;
    s.text = value.text;
    return s;
}

// One key read across the instances of a map view.
struct Resolved {
    Kind kind = Kind::Absent;
    const Value* scalar = nullptr;
    NodeSet<MapNode> maps;
    NodeSet<ListNode> lists;
    std::uint64_t shaped_at = 0;
};

// The newest write at the key decides the kind. Containers of that kind count only when newer
// than every write of another kind there: an older one was replaced.
Resolved resolve(const NodeSet<MapNode>& nodes, std::string_view key, bool with_children) {
    Stamp scalar_stamp, map_max, list_max;
    const Value* scalar = nullptr;
    std::uint64_t shaped_at = 0;
    bool any = false;
    nodes.each([&](const MapNode& node) {
        const Slot* slot = node.find(key);
        if (!slot) return;
        any = true;
        shaped_at = std::max(shaped_at, slot->shaped_at);
        if (!slot->scalar_stamp.is_zero() && scalar_stamp < slot->scalar_stamp) {
            scalar_stamp = slot->scalar_stamp;
            scalar = &slot->scalar;
        }
        if (slot->containers) {
            for (const auto& m : slot->containers->maps) map_max = max_stamp(map_max, m->id);
            for (const auto& l : slot->containers->lists) list_max = max_stamp(list_max, l->id);
        }
    });
    Resolved out;
    if (!any) return out;
    out.shaped_at = shaped_at;
    Stamp best = max_stamp(scalar_stamp, max_stamp(map_max, list_max));
    if (best.is_zero()) return out;
    if (best == scalar_stamp && scalar) {
        out.kind = scalar->kind;
        out.scalar = scalar;
        return out;
    }
    bool map_wins = best == map_max;
    out.kind = map_wins ? Kind::Map : Kind::List;
    if (!with_children) return out;
    Stamp floor = map_wins ? max_stamp(scalar_stamp, list_max) : max_stamp(scalar_stamp, map_max);
    nodes.each([&](const MapNode& node) {
        const Slot* slot = node.find(key);
        if (!slot || !slot->containers) return;
        if (map_wins) {
            for (const auto& m : slot->containers->maps)
                if (floor < m->id) out.maps.add(m.get());
        } else {
            for (const auto& l : slot->containers->lists)
                if (floor < l->id) out.lists.add(l.get());
        }
    });
    return out;
}

std::vector<ListEntry> list_entries(const NodeSet<ListNode>& lists) {
    std::vector<ListEntry> entries;
    lists.each([&](ListNode& list) {
        for (std::size_t i = 0; i < list.elements.size(); ++i)
            if (!list.elements[i].removed) entries.push_back({&list, i});
    });
    if (lists.size() > 1) {
        std::sort(entries.begin(), entries.end(), [](const ListEntry& a, const ListEntry& b) {
            return a.owner->elements[a.index].id < b.owner->elements[b.index].id;
        });
    }
    return entries;
}

}  // namespace

Slot* MapNode::find(std::string_view key) const {
    std::uint32_t at = find_index(key);
    return at == kNone ? nullptr : slots[at].get();
}

std::uint32_t MapNode::find_index(std::string_view key) const {
    if (index) {
        auto it = index->find(key);
        return it == index->end() ? kNone : it->second;
    }
    for (std::uint32_t i = 0; i < slots.size(); ++i)
        if (slots[i]->key == key) return i;
    return kNone;
}

std::uint32_t MapNode::find_or_add(std::string_view key) {
    std::uint32_t at = find_index(key);
    if (at != kNone) return at;
    auto slot = std::make_unique<Slot>();
    slot->key = std::string(key);
    at = static_cast<std::uint32_t>(slots.size());
    slots.push_back(std::move(slot));
    if (index) {
        index->emplace(slots.back()->key, at);
    } else if (slots.size() > kIndexFrom) {
        index = std::make_unique<std::unordered_map<std::string_view, std::uint32_t>>();
        index->reserve(slots.size() * 2);
        for (std::uint32_t i = 0; i < slots.size(); ++i) index->emplace(slots[i]->key, i);
    }
    return at;
}

std::size_t ListNode::find(const Stamp& id) const {
    auto it = std::lower_bound(elements.begin(), elements.end(), id,
                               [](const Element& e, const Stamp& s) { return e.id < s; });
    if (it != elements.end() && it->id == id) return static_cast<std::size_t>(it - elements.begin());
    return elements.size();
}

Impl::Impl() = default;

Replica* Impl::intern(const Uuid& id) {
    auto it = replica_by_id.find(id);
    if (it != replica_by_id.end()) return it->second;
    replicas.push_back(Replica{id, 0});
    Replica* replica = &replicas.back();
    replica_by_id.emplace(id, replica);
    if (in_change) undo.push_back(Undo{Undo::Type::NewReplica, nullptr, {}, {}, nullptr});
    return replica;
}

Stamp Impl::next_stamp() { return Stamp{++clock, local}; }

// Marks the slot and every slot above it as written in this generation, keeping each node's
// change order oldest first so that changes_since reads only the tail.
void Impl::touch(MapNode* node, std::uint32_t at) {
    const std::uint64_t gen = pending_generation;
    while (node && at != kNone) {
        Slot& slot = *node->slots[at];
        if (slot.changed_at == gen) break;  // this one and those above are marked already
        slot.changed_at = gen;
        if (node->change_tail != at) {
            if (slot.prev != kNone) node->slots[slot.prev]->next = slot.next;
            else if (node->change_head == at) node->change_head = slot.next;
            if (slot.next != kNone) node->slots[slot.next]->prev = slot.prev;
            slot.prev = node->change_tail;
            slot.next = kNone;
            if (node->change_tail != kNone) node->slots[node->change_tail]->next = at;
            node->change_tail = at;
            if (node->change_head == kNone) node->change_head = at;
        }
        at = node->parent_slot;
        node = node->parent;
    }
}

void Impl::record(const LogRecord& rec) {
    ++written;
    if (!log || loading || !write_failure) return;
    write_failure = log->append(rec);
}

bool Impl::join_scalar(MapNode& map, std::string_view key, const Stamp& stamp, const Value& value) {
    std::uint32_t at = map.find_or_add(key);
    Slot& slot = *map.slots[at];
    if (!(slot.scalar_stamp < stamp)) return false;
    if (in_change) undo.push_back(Undo{Undo::Type::Scalar, &slot, slot.scalar_stamp, slot.scalar});
    slot.scalar_stamp = stamp;
    slot.scalar = value;
    slot.shaped_at = pending_generation;
    touch(&map, at);
    record(LogRecord{Op::Put, stamp, map.id, slot.key, &slot.scalar, {}});
    return true;
}

MapNode* Impl::join_map(MapNode& map, std::string_view key, const Stamp& stamp, bool& made) {
    made = false;
    std::uint32_t at = map.find_or_add(key);
    Slot& slot = *map.slots[at];
    if (!slot.containers) slot.containers = std::make_unique<Containers>();
    for (const auto& existing : slot.containers->maps)
        if (existing->id == stamp) return existing.get();
    auto node = std::make_unique<MapNode>();
    node->id = stamp;
    node->parent = &map;
    node->parent_slot = at;
    MapNode* out = node.get();
    slot.containers->maps.push_back(std::move(node));
    if (loading) instances.emplace(stamp, NodeRef{out, nullptr});
    if (in_change) undo.push_back(Undo{Undo::Type::MapMade, &slot, stamp, {}, out});
    slot.shaped_at = pending_generation;
    touch(&map, at);
    record(LogRecord{Op::MakeMap, stamp, map.id, slot.key, nullptr, {}});
    made = true;
    return out;
}

ListNode* Impl::join_list(MapNode& map, std::string_view key, const Stamp& stamp, bool& made) {
    made = false;
    std::uint32_t at = map.find_or_add(key);
    Slot& slot = *map.slots[at];
    if (!slot.containers) slot.containers = std::make_unique<Containers>();
    for (const auto& existing : slot.containers->lists)
        if (existing->id == stamp) return existing.get();
    auto node = std::make_unique<ListNode>();
    node->id = stamp;
    node->parent = &map;
    node->parent_slot = at;
    ListNode* out = node.get();
    slot.containers->lists.push_back(std::move(node));
    if (loading) instances.emplace(stamp, NodeRef{nullptr, out});
    if (in_change) undo.push_back(Undo{Undo::Type::ListMade, &slot, stamp, {}, out});
    slot.shaped_at = pending_generation;
    touch(&map, at);
    record(LogRecord{Op::MakeList, stamp, map.id, slot.key, nullptr, {}});
    made = true;
    return out;
}

bool Impl::join_insert(ListNode& list, const Stamp& stamp, const Value& value) {
    auto it = std::lower_bound(list.elements.begin(), list.elements.end(), stamp,
                               [](const Element& e, const Stamp& s) { return e.id < s; });
    if (it != list.elements.end() && it->id == stamp) return false;
    bool removed = std::find(list.early_removals.begin(), list.early_removals.end(), stamp) !=
                   list.early_removals.end();
    it = list.elements.insert(it, Element{stamp, value, removed});
    if (in_change) undo.push_back(Undo{Undo::Type::Inserted, nullptr, stamp, {}, &list});
    touch(list.parent, list.parent_slot);
    record(LogRecord{Op::Insert, stamp, list.id, {}, &it->value, {}});
    return true;
}

bool Impl::join_removal(ListNode& list, const Stamp& element) {
    std::size_t at = list.find(element);
    if (at < list.elements.size()) {
        if (list.elements[at].removed) return false;
        list.elements[at].removed = true;
        if (in_change) undo.push_back(Undo{Undo::Type::Removed, nullptr, element, {}, &list});
    } else {
        if (std::find(list.early_removals.begin(), list.early_removals.end(), element) != list.early_removals.end())
            return false;
        list.early_removals.push_back(element);
        if (in_change) undo.push_back(Undo{Undo::Type::EarlyRemoval, nullptr, element, {}, &list});
    }
    touch(list.parent, list.parent_slot);
    // The removal is a write of this replica, so it takes a stamp of its own while loading
    // keeps the stamp it was logged with (the clock is past it anyway).
    record(LogRecord{Op::Remove, loading ? Stamp{} : next_stamp(), list.id, {}, nullptr, element});
    return true;
}

void Impl::begin_change() {
    if (in_change) fatal("replica document changes do not nest");
    in_change = true;
    pending_generation = next_generation();
    clock_before = clock;
    undo.clear();
    written = 0;
    write_failure = {};
}

void Impl::roll_back() {
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
        Undo& u = *it;
        switch (u.type) {
        case Undo::Type::Scalar:
            u.slot->scalar_stamp = u.stamp;
            u.slot->scalar = std::move(u.value);
            break;
        case Undo::Type::MapMade: {
            auto& maps = u.slot->containers->maps;
            maps.erase(std::find_if(maps.begin(), maps.end(), [&](const auto& m) { return m.get() == u.node; }));
            break;
        }
        case Undo::Type::ListMade: {
            auto& lists = u.slot->containers->lists;
            lists.erase(std::find_if(lists.begin(), lists.end(), [&](const auto& l) { return l.get() == u.node; }));
            break;
        }
        case Undo::Type::Inserted: {
            auto* list = static_cast<ListNode*>(u.node);
            list->elements.erase(list->elements.begin() + static_cast<std::ptrdiff_t>(list->find(u.stamp)));
            break;
        }
        case Undo::Type::Removed: {
            auto* list = static_cast<ListNode*>(u.node);
            list->elements[list->find(u.stamp)].removed = false;
            break;
        }
        case Undo::Type::EarlyRemoval: {
            auto* list = static_cast<ListNode*>(u.node);
            list->early_removals.erase(std::find(list->early_removals.begin(), list->early_removals.end(), u.stamp));
            break;
        }
        case Undo::Type::NewReplica:
            replica_by_id.erase(replicas.back().id);
            replicas.pop_back();
            break;
        }
    }
    undo.clear();
    clock = clock_before;
    if (log) log->roll_back();
}

Status Impl::end_change(Status edit_result) {
    Status result = std::move(edit_result);
    if (result && written > 0 && log) {
        if (write_failure) write_failure = log->commit();
        if (!write_failure) result = write_failure;
    }
    if (!result) {
        roll_back();
    } else if (written > 0) {
        generation = pending_generation;
    }
    // Slots touched by a change that was undone keep their marks; that only makes a later
    // changes_since list a key that reads the same.
    undo.clear();
    in_change = false;
    return result;
}

MapView Impl::root_view() const {
    NodeSet<MapNode> nodes;
    nodes.add(const_cast<MapNode*>(&root));
    return MapView(this, std::move(nodes), 0);
}

void Impl::check_view(const void* doc) const {
    if (doc != this) fatal("replica view used with another document");
}

Stamp Impl::translate(const Stamp& theirs) {
    if (!theirs.replica) return theirs;
    return Stamp{theirs.counter, intern(theirs.replica->id)};
}

void Impl::merge_map(MapNode& ours, const MapNode& theirs) {
    for (const auto& their_slot : theirs.slots) {
        if (their_slot->empty()) continue;
        if (!their_slot->scalar_stamp.is_zero())
            join_scalar(ours, their_slot->key, translate(their_slot->scalar_stamp), their_slot->scalar);
        if (!their_slot->containers) continue;
        for (const auto& their_map : their_slot->containers->maps) {
            bool made = false;
            MapNode* mine = join_map(ours, their_slot->key, translate(their_map->id), made);
            if (mine) merge_map(*mine, *their_map);
        }
        for (const auto& their_list : their_slot->containers->lists) {
            bool made = false;
            ListNode* mine = join_list(ours, their_slot->key, translate(their_list->id), made);
            if (mine) merge_list(*mine, *their_list);
        }
    }
}

void Impl::merge_list(ListNode& ours, const ListNode& theirs) {
    for (const Element& element : theirs.elements) {
        Stamp id = translate(element.id);
        join_insert(ours, id, element.value);
        if (element.removed) join_removal(ours, id);
    }
    for (const Stamp& early : theirs.early_removals) join_removal(ours, translate(early));
}

Status Impl::load() {
    loading = true;
    instances.emplace(Stamp{}, NodeRef{&root, nullptr});
    pending_generation = next_generation();
    std::unordered_map<std::int64_t, const Replica*> by_row;
    auto stamp_of = [&](std::int64_t counter, std::int64_t row, Stamp& out) -> bool {
        if (row == 0) {
            out = Stamp{};
            return counter == 0;
        }
        auto it = by_row.find(row);
        if (it == by_row.end() || counter <= 0) return false;
        out = Stamp{static_cast<std::uint64_t>(counter), it->second};
        return true;
    };
    auto value_of = [](const StoredRecord& r, Value& out) -> bool {
        out = Value{};
        switch (r.type) {
        case static_cast<int>(Kind::Absent): return !r.value_is_integer && !r.value_is_text;
        case static_cast<int>(Kind::Bool):
            if (!r.value_is_integer || (r.integer != 0 && r.integer != 1)) return false;
            out.kind = Kind::Bool;
            out.boolean = r.integer == 1;
            return true;
        case static_cast<int>(Kind::Int):
            if (!r.value_is_integer) return false;
            out.kind = Kind::Int;
            out.integer = r.integer;
            return true;
        case static_cast<int>(Kind::Text):
            if (!r.value_is_text) return false;
            out = text_value(r.text);
            return true;
        default: return false;
        }
    };
    Value value;
    Status status = log->read(
        [&](std::int64_t row, const Uuid& id) -> Status {
            if (row <= 0 || by_row.count(row)) return make_error("a replica row is repeated");
            by_row.emplace(row, intern(id));
            by_row.at(row)->row = row;
            return {};
        },
        [&](const StoredRecord& r) -> Status {
            Stamp stamp, target;
            if (!stamp_of(r.counter, r.replica, stamp) || stamp.is_zero())
                return make_error("a change has no valid stamp");
            if (!stamp_of(r.target_counter, r.target_replica, target))
                return make_error("a change names an unknown target");
            clock = std::max(clock, stamp.counter);
            auto it = instances.find(target);
            if (it == instances.end()) return make_error("a change names a target that was never made");
            NodeRef node = it->second;
            bool made = false;
            switch (static_cast<Op>(r.op)) {
            case Op::Put:
                if (!node.map || !r.key || !value_of(r, value)) return make_error("a map write is malformed");
                join_scalar(*node.map, *r.key, stamp, value);
                return {};
            case Op::MakeMap:
                if (!node.map || !r.key) return make_error("a map is made outside a map");
                join_map(*node.map, *r.key, stamp, made);
                return {};
            case Op::MakeList:
                if (!node.map || !r.key) return make_error("a list is made outside a map");
                join_list(*node.map, *r.key, stamp, made);
                return {};
            case Op::Insert:
                if (!node.list || !value_of(r, value) || value.kind == Kind::Absent)
                    return make_error("a list insertion is malformed");
                join_insert(*node.list, stamp, value);
                return {};
            case Op::Remove: {
                Stamp element;
                if (!node.list || !stamp_of(r.ref_counter, r.ref_replica, element) || element.is_zero())
                    return make_error("a list removal is malformed");
                join_removal(*node.list, element);
                return {};
            }
            }
            return make_error("a change has an unknown kind " + std::to_string(r.op));
        });
    loading = false;
    instances = {};  // only the log names instances by stamp; everything else walks the tree
    if (!status) return status;
    local = intern(log->local_replica());
    generation = pending_generation;
    return {};
}

}  // namespace detail

using detail::Impl;
using detail::ListNode;
using detail::MapNode;
using detail::NodeSet;
using detail::Resolved;
using detail::Stamp;
using detail::Value;

// ---- MapView

Kind MapView::kind(std::string_view key) const { return detail::resolve(nodes_, key, false).kind; }

std::optional<bool> MapView::get_bool(std::string_view key) const {
    Resolved r = detail::resolve(nodes_, key, false);
    if (r.kind != Kind::Bool) return std::nullopt;
    return r.scalar->boolean;
}

std::optional<std::int64_t> MapView::get_int(std::string_view key) const {
    Resolved r = detail::resolve(nodes_, key, false);
    if (r.kind != Kind::Int) return std::nullopt;
    return r.scalar->integer;
}

std::optional<std::string_view> MapView::get_text(std::string_view key) const {
    Resolved r = detail::resolve(nodes_, key, false);
    if (r.kind != Kind::Text) return std::nullopt;
    return std::string_view(r.scalar->text);
}

std::optional<MapView> MapView::get_map(std::string_view key) const {
    Resolved r = detail::resolve(nodes_, key, true);
    if (r.kind != Kind::Map) return std::nullopt;
    return MapView(doc_, std::move(r.maps), std::max(shaped_at_, r.shaped_at));
}

std::optional<ListView> MapView::get_list(std::string_view key) const {
    Resolved r = detail::resolve(nodes_, key, true);
    if (r.kind != Kind::List) return std::nullopt;
    auto entries = detail::list_entries(r.lists);
    return ListView(doc_, std::move(r.lists), std::move(entries));
}

std::vector<std::string_view> MapView::keys() const {
    std::vector<std::string_view> out;
    nodes_.each([&](const MapNode& node) {
        for (const auto& slot : node.slots)
            if (!slot->empty()) out.push_back(slot->key);
    });
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    out.erase(std::remove_if(out.begin(), out.end(), [&](std::string_view key) { return kind(key) == Kind::Absent; }),
              out.end());
    return out;
}

MapView::Changes MapView::changes_since(std::uint64_t generation) const {
    Changes changes;
    if (shaped_at_ > generation) {
        changes.everything = true;
        return changes;
    }
    nodes_.each([&](const MapNode& node) {
        for (std::uint32_t at = node.change_tail; at != detail::kNone; at = node.slots[at]->prev) {
            const detail::Slot& slot = *node.slots[at];
            if (slot.changed_at <= generation) break;
            changes.keys.push_back(slot.key);
        }
    });
    if (nodes_.size() > 1) {
        std::sort(changes.keys.begin(), changes.keys.end());
        changes.keys.erase(std::unique(changes.keys.begin(), changes.keys.end()), changes.keys.end());
    }
    return changes;
}

// ---- ListView

Scalar ListView::at(std::size_t index) const {
    if (index >= elements_.size()) return Scalar{};
    const Entry& e = elements_[index];
    return detail::to_scalar(e.owner->elements[e.index].value);
}

std::vector<std::string_view> ListView::texts() const {
    std::vector<std::string_view> out;
    out.reserve(elements_.size());
    for (const Entry& e : elements_) {
        const Value& v = e.owner->elements[e.index].value;
        if (v.kind == Kind::Text) out.push_back(v.text);
    }
    return out;
}

// ---- Transaction

MapView Transaction::root() const { return doc_.root_view(); }

MapView Transaction::ensure_map(const MapView& parent, std::string_view key) {
    doc_.check_view(parent.doc_);
    Resolved r = detail::resolve(parent.nodes_, key, true);
    if (r.kind == Kind::Map) return MapView(&doc_, std::move(r.maps), std::max(parent.shaped_at_, r.shaped_at));
    bool made = false;
    MapNode* node = doc_.join_map(*parent.nodes_.first(), key, doc_.next_stamp(), made);
    NodeSet<MapNode> nodes;
    nodes.add(node);
    return MapView(&doc_, std::move(nodes), doc_.pending_generation);
}

ListView Transaction::ensure_list(const MapView& parent, std::string_view key) {
    doc_.check_view(parent.doc_);
    Resolved r = detail::resolve(parent.nodes_, key, true);
    if (r.kind == Kind::List) {
        auto entries = detail::list_entries(r.lists);
        return ListView(&doc_, std::move(r.lists), std::move(entries));
    }
    bool made = false;
    ListNode* node = doc_.join_list(*parent.nodes_.first(), key, doc_.next_stamp(), made);
    NodeSet<ListNode> lists;
    lists.add(node);
    return ListView(&doc_, std::move(lists), {});
}

void Transaction::put_bool(const MapView& map, std::string_view key, bool value) {
    doc_.check_view(map.doc_);
    Value v;
    v.kind = Kind::Bool;
    v.boolean = value;
    doc_.join_scalar(*map.nodes_.first(), key, doc_.next_stamp(), v);
}

void Transaction::put_int(const MapView& map, std::string_view key, std::int64_t value) {
    doc_.check_view(map.doc_);
    Value v;
    v.kind = Kind::Int;
    v.integer = value;
    doc_.join_scalar(*map.nodes_.first(), key, doc_.next_stamp(), v);
}

void Transaction::put_text(const MapView& map, std::string_view key, std::string_view value) {
    doc_.check_view(map.doc_);
    doc_.join_scalar(*map.nodes_.first(), key, doc_.next_stamp(), detail::text_value(value));
}

void Transaction::remove(const MapView& map, std::string_view key) {
    doc_.check_view(map.doc_);
    if (map.kind(key) == Kind::Absent) return;
    doc_.join_scalar(*map.nodes_.first(), key, doc_.next_stamp(), Value{});
}

void Transaction::push_bool(const ListView& list, bool value) {
    doc_.check_view(list.doc_);
    Value v;
    v.kind = Kind::Bool;
    v.boolean = value;
    doc_.join_insert(*list.lists_.first(), doc_.next_stamp(), v);
}

void Transaction::push_int(const ListView& list, std::int64_t value) {
    doc_.check_view(list.doc_);
    Value v;
    v.kind = Kind::Int;
    v.integer = value;
    doc_.join_insert(*list.lists_.first(), doc_.next_stamp(), v);
}

void Transaction::push_text(const ListView& list, std::string_view value) {
    doc_.check_view(list.doc_);
    doc_.join_insert(*list.lists_.first(), doc_.next_stamp(), detail::text_value(value));
}

void Transaction::remove_at(const ListView& list, std::size_t index) {
    doc_.check_view(list.doc_);
    if (index >= list.elements_.size()) return;
    const detail::ListEntry& e = list.elements_[index];
    doc_.join_removal(*e.owner, e.owner->elements[e.index].id);
}

// ---- Document

Document::Document(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

MapView Document::root() const { return impl_->root_view(); }

Status Document::change(const std::function<Status(Transaction&)>& edit) {
    impl_->begin_change();
    Transaction tx(*impl_);
    Status result = edit(tx);
    return impl_->end_change(std::move(result));
}

Status Document::merge(const Document& other) {
    if (other.impl_.get() == impl_.get()) return {};
    // A copy of this replica's file that went its own way reuses our stamps for other writes;
    // joining the two would keep one write of each pair at random.
    if (other.replica_id() == replica_id())
        return make_error("cannot merge two replica documents with the same replica id " + replica_id().to_string());
    impl_->begin_change();
    impl_->merge_map(impl_->root, other.impl_->root);
    impl_->clock = std::max(impl_->clock, other.impl_->clock);
    return impl_->end_change({});
}

std::uint64_t Document::generation() const { return impl_->generation; }
const Uuid& Document::replica_id() const { return impl_->local->id; }
bool Document::durable() const { return impl_->log != nullptr; }

Result<Document> open(const std::filesystem::path& file) {
    auto log = detail::SqliteLog::open(file);
    if (!log.ok()) return log.error();
    auto impl = std::make_unique<Impl>();
    impl->log = std::move(*log);
    MAIL_TRY(impl->load());
    return Document(std::move(impl));
}

Document open_in_memory() {
    auto impl = std::make_unique<Impl>();
    impl->local = impl->intern(Uuid::random_v4());
    impl->generation = detail::next_generation();
    return Document(std::move(impl));
}

std::optional<std::filesystem::path> default_path() {
    auto root = services::data_root();
    if (!root) return std::nullopt;
    return *root / "replica" / "document.sqlite3";
}

}  // namespace mail::persist
