#pragma once
// The replica document: a CRDT of nested maps, lists and scalars (booleans, integers, text) that
// two replicas can edit apart and merge. UI thread only; nothing here is thread-safe.
//
// Merge rules (the state is a join of everything either replica ever wrote, so merging is
// commutative, associative and idempotent):
// - Every write carries a stamp (Lamport counter, replica id). A local write takes a counter above
//   every counter the replica has seen, so it wins over everything it could see.
// - A map key holds the value of its newest write: last writer wins, ties broken by replica id.
//   Removing a key is a write too.
// - A map or list made at a key is an instance of its own. When two replicas make one at the
//   same key without seeing each other, both instances are shown as one (their keys, or their
//   elements, together). An instance is hidden for good once a newer write of another kind
//   (a scalar, a removal, or the other container kind) lands on its key.
// - List elements are ordered by the stamp of their insertion; removing one removes that
//   element only. A value added on one replica while another removes its earlier copy stays
//   (add wins). Readers that want a set take each value's first occurrence.
// - Text is a scalar: a concurrent edit of the same text keeps one version whole.
//
// A document opened from a file keeps every change in an append-only SQLite log; change()
// returns only after its writes are committed to disk (WAL, synchronous=FULL), so an
// acknowledged change survives a crash, kill -9 or power loss. The file is locked for this
// process while the document is open.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/uuid.h"

namespace mail::persist {

namespace detail {
struct Impl;
struct MapNode;
struct ListNode;

struct ListEntry {
    ListNode* owner;
    std::size_t index;  // into the owner's elements
};

// The instances a view reads as one; almost always exactly one.
template <typename Node>
class NodeSet {
public:
    void add(Node* node) {
        if (!first_) first_ = node;
        else more_.push_back(node);
    }
    Node* first() const { return first_; }
    bool empty() const { return first_ == nullptr; }
    std::size_t size() const { return first_ ? 1 + more_.size() : 0; }
    template <typename F>
    void each(F&& f) const {
        if (first_) f(*first_);
        for (Node* node : more_) f(*node);
    }

private:
    Node* first_ = nullptr;
    std::vector<Node*> more_;
};
}  // namespace detail

enum class Kind : std::uint8_t { Absent, Bool, Int, Text, Map, List };

// A scalar as read; the text points into the document and lives until its next change.
struct Scalar {
    Kind kind = Kind::Absent;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string_view text;
};

class ListView;

// A map as it reads now. A view taken outside a change stays valid until the document's next
// change or merge; one taken inside a change, until that change ends.
class MapView {
public:
    Kind kind(std::string_view key) const;
    bool contains(std::string_view key) const { return kind(key) != Kind::Absent; }
    // Nothing when the key is absent or holds another kind.
    std::optional<bool> get_bool(std::string_view key) const;
    std::optional<std::int64_t> get_int(std::string_view key) const;
    std::optional<std::string_view> get_text(std::string_view key) const;
    std::optional<MapView> get_map(std::string_view key) const;
    std::optional<ListView> get_list(std::string_view key) const;

    // Keys that hold a value, in byte order.
    std::vector<std::string_view> keys() const;
    bool empty() const { return keys().empty(); }

    // What may read differently than it did at an earlier generation of the document: either
    // everything (the map itself was replaced or made since), or the keys listed, whose values
    // or contents were written since. May list keys whose value ended up the same.
    struct Changes {
        bool everything = false;
        std::vector<std::string_view> keys;
    };
    Changes changes_since(std::uint64_t generation) const;

private:
    friend class Document;
    friend class Transaction;
    friend struct detail::Impl;
    MapView(const detail::Impl* doc, detail::NodeSet<detail::MapNode> nodes, std::uint64_t shaped_at)
        : doc_(doc), nodes_(std::move(nodes)), shaped_at_(shaped_at) {}

    const detail::Impl* doc_;
    detail::NodeSet<detail::MapNode> nodes_;
    std::uint64_t shaped_at_;  // last write that could change which instances this view reads
};

// A list as it reads now, in insertion order; valid as long as a map view.
class ListView {
public:
    std::size_t size() const { return elements_.size(); }
    bool empty() const { return elements_.empty(); }
    Scalar at(std::size_t index) const;  // Absent past the end
    // The text elements in order (other kinds skipped).
    std::vector<std::string_view> texts() const;

private:
    friend class MapView;
    friend class Transaction;
    friend struct detail::Impl;
    using Entry = detail::ListEntry;
    ListView(const detail::Impl* doc, detail::NodeSet<detail::ListNode> lists, std::vector<Entry> elements)
        : doc_(doc), lists_(std::move(lists)), elements_(std::move(elements)) {}

    const detail::Impl* doc_;
    detail::NodeSet<detail::ListNode> lists_;
    std::vector<Entry> elements_;
};

// Writes of one change. Reads through the views see the writes made so far.
class Transaction {
public:
    MapView root() const;
    // The map or list at the key; made empty on the spot when the key is absent or holds
    // another kind (which it then replaces).
    MapView ensure_map(const MapView& parent, std::string_view key);
    ListView ensure_list(const MapView& parent, std::string_view key);

    void put_bool(const MapView& map, std::string_view key, bool value);
    void put_int(const MapView& map, std::string_view key, std::int64_t value);
    void put_text(const MapView& map, std::string_view key, std::string_view value);
    // Writes nothing when the key is already absent.
    void remove(const MapView& map, std::string_view key);

    void push_bool(const ListView& list, bool value);
    void push_int(const ListView& list, std::int64_t value);
    void push_text(const ListView& list, std::string_view value);
    void remove_at(const ListView& list, std::size_t index);  // nothing past the end

private:
    friend class Document;
    explicit Transaction(detail::Impl& doc) : doc_(doc) {}
    detail::Impl& doc_;
};

class Document {
public:
    Document(Document&&) noexcept;
    Document& operator=(Document&&) noexcept;
    ~Document();

    MapView root() const;

    // Runs edit as one change: its writes show at once and reach the disk together, before
    // change returns. If edit returns an error, or the disk write fails, every write of edit
    // is undone and the error comes back. Changes do not nest.
    Status change(const std::function<Status(Transaction&)>& edit);

    // Takes in everything the other replica holds (one durable change). Refused when the other
    // has this document's replica id: a copied file edited apart.
    Status merge(const Document& other);

    // A number from a process-wide counter that only grows; it moves with every change or
    // merge that wrote something, so equal generations mean an unchanged document.
    std::uint64_t generation() const;

    const Uuid& replica_id() const;
    // Whether changes go to a file.
    bool durable() const;

    // The content as JSON, keys in byte order: for logs and tests.
    std::string to_json() const;
    // The whole state, hidden instances and removed elements included, in a canonical order:
    // two replicas hold the same state exactly when these texts are equal.
    std::string state_text() const;

private:
    friend Result<Document> open(const std::filesystem::path& file);
    friend Document open_in_memory();
    explicit Document(std::unique_ptr<detail::Impl> impl);

    std::unique_ptr<detail::Impl> impl_;
};

// Opens the document kept in this SQLite file, making the file (mode 0600) and its directory
// when missing. A file that is not a replica document, or is damaged, is an error and is left
// as it is; so is a file another process holds open.
Result<Document> open(const std::filesystem::path& file);

// A fresh, empty document that lives only in memory, with a replica id of its own.
Document open_in_memory();

// "replica/document.sqlite3" under the data root; nothing when there is no data root.
std::optional<std::filesystem::path> default_path();

}  // namespace mail::persist
