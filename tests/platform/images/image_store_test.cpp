#include "platform/images/image_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace {

using namespace std::chrono_literals;
using mail::ui::ImageStore;
using Clock = std::chrono::steady_clock;

// A 2 × 3 RGBA PNG.
const std::vector<std::uint8_t> png = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x03, 0x08, 0x06, 0x00, 0x00, 0x00, 0xb9, 0xea, 0xde, 0x81, 0x00, 0x00, 0x00, 0x11, 0x49,
    0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x42, 0xff, 0x19, 0x30, 0x18, 0x00, 0x9b, 0x7f, 0x0b,
    0xf5, 0x61, 0x00, 0xc9, 0xec, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// Counts calls per URL and the most fetches seen running at once.
struct CountingFetcher {
    std::mutex mutex;
    std::map<std::string, int> calls;
    std::atomic<int> running{0};
    std::atomic<int> most_running{0};

    ImageStore::Fetcher make(std::chrono::milliseconds delay) {
        return [this, delay](const std::string& url) -> std::optional<std::vector<std::uint8_t>> {
            {
                std::lock_guard lock(mutex);
                ++calls[url];
            }
            const int now = ++running;
            int seen = most_running.load();
            while (now > seen && !most_running.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(delay);
            --running;
            if (url.find("missing") != std::string::npos) return std::nullopt;
            if (url.find("garbage") != std::string::npos) return std::vector<std::uint8_t>{'n', 'o', 'p', 'e'};
            if (url.find("throws") != std::string::npos) throw std::runtime_error("network down");
            return png;
        };
    }
    int calls_for(const std::string& url) {
        std::lock_guard lock(mutex);
        return calls.count(url) ? calls[url] : 0;
    }
    int total() {
        std::lock_guard lock(mutex);
        int sum = 0;
        for (const auto& [url, n] : calls) sum += n;
        return sum;
    }
};

bool settle(ImageStore& store, std::chrono::milliseconds limit = 10s) {
    const auto deadline = Clock::now() + limit;
    while (store.has_pending()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(ImageStore, FetchesEachUrlOnceOnTwoThreadsAndDecodes) {
    CountingFetcher fetcher;
    auto store = ImageStore::create(fetcher.make(30ms));
    const std::vector<std::string> urls = {"https://a/1", "https://a/2", "https://a/3", "https://a/4", "https://a/5"};
    // Many frames asking for the same pictures while the fetches run.
    for (int frame = 0; frame < 20; ++frame)
        for (const std::string& url : urls) (void)store->get(url);
    ASSERT_TRUE(settle(*store));
    for (const std::string& url : urls) {
        const auto image = store->get(url);
        ASSERT_TRUE(image.has_value()) << url;
        EXPECT_EQ(image->width(), 2);
        EXPECT_EQ(image->height(), 3);
        EXPECT_EQ(fetcher.calls_for(url), 1) << url;
    }
    EXPECT_EQ(fetcher.most_running.load(), 2);
    auto arrivals = store->take_arrivals();
    std::sort(arrivals.begin(), arrivals.end());
    EXPECT_EQ(arrivals, urls);
    EXPECT_TRUE(store->take_arrivals().empty());
}

TEST(ImageStore, FailedFetchesAreNotRetried) {
    CountingFetcher fetcher;
    auto store = ImageStore::create(fetcher.make(0ms));
    const std::vector<std::string> urls = {"https://x/missing", "https://x/garbage", "https://x/throws", ""};
    for (const std::string& url : urls) EXPECT_FALSE(store->get(url).has_value());
    ASSERT_TRUE(settle(*store));
    const std::uint64_t revision = store->revision();
    EXPECT_EQ(revision, 3u);
    for (int frame = 0; frame < 5; ++frame)
        for (const std::string& url : urls) EXPECT_FALSE(store->get(url).has_value());
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(store->has_pending());
    EXPECT_EQ(fetcher.total(), 3) << "each failure fetched once, the empty URL never";
    EXPECT_EQ(store->revision(), revision);
}

TEST(ImageStore, GetNeverWaitsForAFetch) {
    CountingFetcher fetcher;
    auto store = ImageStore::create(fetcher.make(400ms));
    const auto start = Clock::now();
    for (int frame = 0; frame < 100; ++frame) EXPECT_FALSE(store->get("https://slow/" + std::to_string(frame % 4)));
    EXPECT_LT(Clock::now() - start, 200ms);
    EXPECT_TRUE(store->has_pending());
    ASSERT_TRUE(settle(*store));
    EXPECT_TRUE(store->get("https://slow/0").has_value());
}

TEST(ImageStore, LeastRecentlyUsedImageLeavesAndIsFetchedAgain) {
    CountingFetcher fetcher;
    auto store = ImageStore::create(fetcher.make(0ms), ImageStore::Options{.capacity = 2, .threads = 2});
    (void)store->get("https://c/a");
    (void)store->get("https://c/b");
    ASSERT_TRUE(settle(*store));
    ASSERT_TRUE(store->get("https://c/a"));  // a is now the most recent
    (void)store->get("https://c/c");
    ASSERT_TRUE(settle(*store));
    EXPECT_TRUE(store->get("https://c/a"));
    EXPECT_TRUE(store->get("https://c/c"));
    EXPECT_FALSE(store->get("https://c/b")) << "b was the least recently used";
    ASSERT_TRUE(settle(*store));
    EXPECT_EQ(fetcher.calls_for("https://c/a"), 1);
    EXPECT_EQ(fetcher.calls_for("https://c/b"), 2);
}

TEST(ImageStore, DestroyingWhileFetchesSleepDropsTheQueue) {
    CountingFetcher fetcher;
    auto store = ImageStore::create(fetcher.make(300ms));
    for (int i = 0; i < 20; ++i) (void)store->get("https://queued/" + std::to_string(i));
    std::this_thread::sleep_for(50ms);  // two fetches are now asleep in the fetcher
    const auto start = Clock::now();
    store.reset();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(fetcher.running.load(), 0) << "threads joined";
    EXPECT_LE(fetcher.total(), 2) << "queued fetches are abandoned";
}

}  // namespace
