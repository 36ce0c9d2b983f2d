#pragma once
// The records the replica document is made of, shared by the in-memory state and the log.
// Included only by this folder's .cpp files.
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "platform/base/uuid.h"
#include "platform/replica/document.h"

namespace mail::persist::detail {

inline constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

struct Replica {
    Uuid id;
    mutable std::int64_t row = 0;  // in the file's replica table; 0 until written there
};

// Replicas are interned per document, so the pointer stands for the id.
struct Stamp {
    std::uint64_t counter = 0;
    const Replica* replica = nullptr;  // none only for the zero stamp of the root

    bool is_zero() const { return counter == 0 && replica == nullptr; }
    friend bool operator==(const Stamp& a, const Stamp& b) {
        return a.counter == b.counter && a.replica == b.replica;
    }
    friend bool operator<(const Stamp& a, const Stamp& b) {
        if (a.counter != b.counter) return a.counter < b.counter;
        if (a.replica == b.replica) return false;
        if (!a.replica) return true;
        if (!b.replica) return false;
        return a.replica->id < b.replica->id;
    }
};

inline Stamp max_stamp(const Stamp& a, const Stamp& b) { return a < b ? b : a; }

struct StampHash {
    std::size_t operator()(const Stamp& s) const noexcept {
        return std::hash<std::uint64_t>{}(s.counter * 0x9e3779b97f4a7c15ULL ^
                                          reinterpret_cast<std::uintptr_t>(s.replica));
    }
};

// A scalar as stored. Absent marks a removal.
struct Value {
    Kind kind = Kind::Absent;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string text;

    friend bool operator==(const Value&, const Value&) = default;
};

// The kinds of write; their numbers are stored in the log.
enum class Op : int { Put = 0, MakeMap = 1, MakeList = 2, Insert = 3, Remove = 4 };

// One write as it goes to the log. Put, MakeMap and MakeList name a key of the target map;
// Insert carries a value for the target list; Remove names the removed element in ref.
struct LogRecord {
    Op op = Op::Put;
    Stamp stamp;
    Stamp target;
    std::string_view key;
    const Value* value = nullptr;
    Stamp ref;
};

}  // namespace mail::persist::detail
