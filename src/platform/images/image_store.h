#pragma once
// Remote pictures (avatars) for drawing. `get` never waits: it answers a decoded image once its
// bytes have arrived, and otherwise starts the fetch (once per URL) on a background pool and
// answers nothing, so a caller draws a placeholder now and the picture on a later frame.
//
// Threads: the store is used on the UI thread only. The fetcher runs on the store's two
// "mail-images-N" threads, possibly on both at once, so it must be safe to call concurrently;
// decoding happens there too. A URL whose fetch or decoding failed is never fetched again.
// At most `capacity` images stay cached, least recently used leaving first; an image that left
// is fetched again when asked for.
//
// Destroying the store drops the queued fetches and joins the threads, which waits for fetches
// already in flight to return; their results are discarded. Give the fetcher a time limit.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/base/channel.h"
#include "platform/ui/painter.h"

namespace mail::ui {

class ImageStore {
public:
    // Answers the bytes at the URL, or nothing when there is no image there.
    using Fetcher = std::function<std::optional<std::vector<std::uint8_t>>(const std::string& url)>;

    struct Options {
        std::size_t capacity = 256;
        std::size_t threads = 2;
    };

    // Bodies larger than this are not decoded: no picture worth drawing is that big.
    static constexpr std::size_t max_image_bytes = 64 * 1024 * 1024;

    static std::shared_ptr<ImageStore> create(Fetcher fetcher) { return create(std::move(fetcher), Options{}); }
    static std::shared_ptr<ImageStore> create(Fetcher fetcher, Options options);

    ~ImageStore();
    ImageStore(const ImageStore&) = delete;
    ImageStore& operator=(const ImageStore&) = delete;

    // The image for `url` if it has arrived; else nothing, starting its fetch if none has run.
    std::optional<Image> get(const std::string& url);

    // Whether fetches are still outstanding; the window keeps redrawing while they are.
    bool has_pending();
    // URLs whose fetch ended (with or without an image) since the last call.
    std::vector<std::string> take_arrivals();
    // Grows each time a fetch ends, for callers that only need to know that something changed.
    std::uint64_t revision();

private:
    struct Fetched {
        std::string url;
        std::optional<Image> image;
    };
    struct Entry {
        Image image;
        std::list<std::string>::iterator recent;
    };

    ImageStore(Fetcher fetcher, Options options);
    static void work(std::shared_ptr<Receiver<std::string>> requests, Sender<Fetched> results,
                     std::shared_ptr<const Fetcher> fetcher, CancelFlag stop, std::size_t number);
    // Takes in every result that has arrived.
    void poll();
    void remember(const std::string& url, Image image);

    std::size_t capacity_;
    std::unordered_map<std::string, Entry> cache_;
    std::list<std::string> recent_;  // most recently used first
    std::unordered_set<std::string> pending_;
    std::unordered_set<std::string> failed_;
    std::vector<std::string> arrivals_;
    std::uint64_t revision_ = 0;

    std::optional<Sender<std::string>> requests_;
    Receiver<Fetched> results_;
    CancelFlag stop_;
    std::vector<std::thread> workers_;
};

}  // namespace mail::ui
