// The document written out as JSON: its content for people, its whole state for comparisons.
#include <algorithm>

#include "platform/json/strict_json.h"
#include "platform/replica/document_impl.h"

namespace mail::persist {
namespace {

using detail::ListNode;
using detail::MapNode;
using detail::Stamp;
using detail::Value;
using json::OrderedJson;

OrderedJson scalar_json(Kind kind, bool boolean, std::int64_t integer, std::string_view text) {
    switch (kind) {
    case Kind::Bool: return boolean;
    case Kind::Int: return integer;
    case Kind::Text: return std::string(text);
    default: return nullptr;
    }
}

OrderedJson map_json(const MapView& map) {
    OrderedJson out = OrderedJson::object();
    for (std::string_view key : map.keys()) {
        std::string name(key);
        switch (map.kind(key)) {
        case Kind::Map: out[name] = map_json(*map.get_map(key)); break;
        case Kind::List: {
            OrderedJson items = OrderedJson::array();
            ListView list = *map.get_list(key);
            for (std::size_t i = 0; i < list.size(); ++i) {
                Scalar s = list.at(i);
                items.push_back(scalar_json(s.kind, s.boolean, s.integer, s.text));
            }
            out[name] = std::move(items);
            break;
        }
        case Kind::Bool: out[name] = *map.get_bool(key); break;
        case Kind::Int: out[name] = *map.get_int(key); break;
        case Kind::Text: out[name] = std::string(*map.get_text(key)); break;
        case Kind::Absent: break;
        }
    }
    return out;
}

std::string stamp_text(const Stamp& s) {
    return std::to_string(s.counter) + "@" + (s.replica ? s.replica->id.to_string() : std::string("root"));
}

OrderedJson value_json(const Value& v) {
    OrderedJson out = OrderedJson::array();
    out.push_back(static_cast<int>(v.kind));
    out.push_back(scalar_json(v.kind, v.boolean, v.integer, v.text));
    return out;
}

OrderedJson list_state(const ListNode& list) {
    OrderedJson out = OrderedJson::object();
    out["id"] = stamp_text(list.id);
    OrderedJson elements = OrderedJson::array();
    for (const auto& e : list.elements)
        elements.push_back(OrderedJson::array({stamp_text(e.id), value_json(e.value), e.removed}));
    out["elements"] = std::move(elements);
    std::vector<Stamp> early = list.early_removals;
    std::sort(early.begin(), early.end());
    OrderedJson removals = OrderedJson::array();
    for (const Stamp& s : early)
        if (list.find(s) == list.elements.size()) removals.push_back(stamp_text(s));
    out["early_removals"] = std::move(removals);
    return out;
}

OrderedJson map_state(const MapNode& map) {
    std::vector<const detail::Slot*> slots;
    for (const auto& slot : map.slots)
        if (!slot->empty()) slots.push_back(slot.get());
    std::sort(slots.begin(), slots.end(), [](const auto* a, const auto* b) { return a->key < b->key; });
    OrderedJson out = OrderedJson::object();
    out["id"] = stamp_text(map.id);
    OrderedJson keys = OrderedJson::array();
    for (const detail::Slot* slot : slots) {
        OrderedJson entry = OrderedJson::object();
        entry["key"] = slot->key;
        if (!slot->scalar_stamp.is_zero())
            entry["scalar"] = OrderedJson::array({stamp_text(slot->scalar_stamp), value_json(slot->scalar)});
        if (slot->containers) {
            std::vector<const MapNode*> maps;
            for (const auto& m : slot->containers->maps) maps.push_back(m.get());
            std::sort(maps.begin(), maps.end(), [](const auto* a, const auto* b) { return a->id < b->id; });
            OrderedJson m = OrderedJson::array();
            for (const MapNode* node : maps) m.push_back(map_state(*node));
            entry["maps"] = std::move(m);
            std::vector<const ListNode*> lists;
            for (const auto& l : slot->containers->lists) lists.push_back(l.get());
            std::sort(lists.begin(), lists.end(), [](const auto* a, const auto* b) { return a->id < b->id; });
            OrderedJson l = OrderedJson::array();
            for (const ListNode* node : lists) l.push_back(list_state(*node));
            entry["lists"] = std::move(l);
        }
        keys.push_back(std::move(entry));
    }
    out["keys"] = std::move(keys);
    return out;
}

std::string dump(const OrderedJson& value) {
    // Text from elsewhere may hold malformed UTF-8; it is shown replaced rather than refused.
    return value.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

}  // namespace

std::string Document::to_json() const { return dump(map_json(root())); }

std::string Document::state_text() const { return dump(map_state(impl_->root)); }

}  // namespace mail::persist
