#pragma once
// Random edits for replica tests.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "platform/replica/document.h"

namespace mail::persist::testing {

inline Status write(Document& doc, const std::function<void(Transaction&)>& edit) {
    return doc.change([&](Transaction& tx) {
        edit(tx);
        return Status{};
    });
}

// Random edits over a small key space, so that replicas collide on keys, kinds and lists.
class Editor {
public:
    explicit Editor(std::uint32_t seed) : rng_(seed) {}

    void edit(Document& doc, int changes) {
        for (int c = 0; c < changes; ++c) {
            ASSERT_TRUE(write(doc, [&](Transaction& tx) {
                int ops = 1 + pick(3);
                for (int i = 0; i < ops; ++i) one(tx);
            }).ok());
        }
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::string key() { return std::string(1, static_cast<char>('a' + pick(3))); }

    MapView some_map(Transaction& tx) {
        MapView map = tx.root();
        while (pick(3) != 0) {
            auto child = map.get_map(key());
            if (!child) break;
            map = *child;
        }
        return map;
    }

    void one(Transaction& tx) {
        MapView map = some_map(tx);
        std::string k = key();
        switch (pick(9)) {
        case 0: tx.put_bool(map, k, pick(2) == 1); break;
        case 1: tx.put_int(map, k, pick(5)); break;
        case 2: tx.put_text(map, k, "t" + std::to_string(pick(4))); break;
        case 3: tx.remove(map, k); break;
        case 4:
        case 5: {
            MapView child = tx.ensure_map(map, k);
            tx.put_int(child, key(), pick(100));
            break;
        }
        case 6: {
            ListView list = tx.ensure_list(map, k);
            tx.push_text(list, "v" + std::to_string(pick(3)));
            break;
        }
        case 7: {
            auto list = map.get_list(k);
            if (list && !list->empty()) tx.remove_at(*list, static_cast<std::size_t>(pick(static_cast<int>(list->size()))));
            break;
        }
        default: {
            MapView child = tx.ensure_map(map, "labels-owner");
            ListView list = tx.ensure_list(child, "labels");
            tx.push_text(list, "L" + std::to_string(pick(3)));
            break;
        }
        }
    }

    std::mt19937 rng_;
};

}  // namespace mail::persist::testing
