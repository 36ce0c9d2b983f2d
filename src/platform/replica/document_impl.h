#pragma once
// Inside of the replica document; included only by this folder's .cpp files.
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/replica/document.h"
#include "platform/replica/model.h"
#include "platform/replica/sqlite_log.h"

namespace mail::persist::detail {

struct MapNode;
struct ListNode;

struct Containers {
    std::vector<std::unique_ptr<MapNode>> maps;
    std::vector<std::unique_ptr<ListNode>> lists;
};

// One key of one map instance: the newest scalar written there and the containers made there.
struct Slot {
    std::string key;
    Stamp scalar_stamp;  // zero when no scalar was ever written
    Value scalar;
    std::unique_ptr<Containers> containers;
    std::uint64_t changed_at = 0;  // last generation that wrote here or below
    std::uint64_t shaped_at = 0;   // last generation that wrote a scalar or made a container here
    std::uint32_t prev = kNone;    // neighbours in the node's change order, oldest first
    std::uint32_t next = kNone;

    bool empty() const {
        return scalar_stamp.is_zero() && (!containers || (containers->maps.empty() && containers->lists.empty()));
    }
};

struct MapNode {
    Stamp id;  // the write that made it; zero for the root
    MapNode* parent = nullptr;
    std::uint32_t parent_slot = kNone;
    std::vector<std::unique_ptr<Slot>> slots;
    std::unique_ptr<std::unordered_map<std::string_view, std::uint32_t>> index;  // once large
    std::uint32_t change_head = kNone;
    std::uint32_t change_tail = kNone;

    Slot* find(std::string_view key) const;
    std::uint32_t find_index(std::string_view key) const;
    std::uint32_t find_or_add(std::string_view key);
};

struct Element {
    Stamp id;
    Value value;
    bool removed = false;
};

struct ListNode {
    Stamp id;
    MapNode* parent = nullptr;
    std::uint32_t parent_slot = kNone;
    std::vector<Element> elements;       // by stamp
    std::vector<Stamp> early_removals;   // removals that arrived before their element

    std::size_t find(const Stamp& id) const;  // elements.size() when missing
};

struct NodeRef {
    MapNode* map = nullptr;
    ListNode* list = nullptr;
};

// How to take back one in-memory write when its change fails.
struct Undo {
    enum class Type { Scalar, MapMade, ListMade, Inserted, Removed, EarlyRemoval, NewReplica } type;
    Slot* slot = nullptr;
    Stamp stamp;
    Value value;
    void* node = nullptr;
};

struct Impl {
    Impl();

    std::deque<Replica> replicas;  // stable addresses
    std::unordered_map<Uuid, Replica*> replica_by_id;
    const Replica* local = nullptr;
    std::uint64_t clock = 0;  // highest counter seen

    MapNode root;
    std::unordered_map<Stamp, NodeRef, StampHash> instances;  // while loading

    std::uint64_t generation = 0;
    std::unique_ptr<SqliteLog> log;

    // The change in progress.
    bool in_change = false;
    bool loading = false;
    std::uint64_t pending_generation = 0;
    std::uint64_t clock_before = 0;
    std::vector<Undo> undo;
    std::size_t written = 0;  // records of this change
    Status write_failure;

    Replica* intern(const Uuid& id);
    Stamp next_stamp();

    // The joins every path goes through: local writes, loading and merging. Each answers
    // whether the state changed; while a change is in progress it also keeps the undo record
    // and sends the record to the log.
    bool join_scalar(MapNode& map, std::string_view key, const Stamp& stamp, const Value& value);
    MapNode* join_map(MapNode& map, std::string_view key, const Stamp& stamp, bool& made);
    ListNode* join_list(MapNode& map, std::string_view key, const Stamp& stamp, bool& made);
    bool join_insert(ListNode& list, const Stamp& stamp, const Value& value);
    bool join_removal(ListNode& list, const Stamp& element);

    void touch(MapNode* node, std::uint32_t slot);
    void record(const LogRecord& record);

    void begin_change();
    Status end_change(Status edit_result);
    void roll_back();

    MapView root_view() const;
    void check_view(const void* doc) const;
    void merge_map(MapNode& ours, const MapNode& theirs);
    void merge_list(ListNode& ours, const ListNode& theirs);
    Stamp translate(const Stamp& theirs);

    Status load();
};

std::uint64_t next_generation();

}  // namespace mail::persist::detail
