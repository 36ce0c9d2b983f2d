#include "platform/images/image_store.h"

#include <pthread.h>

#include <algorithm>
#include <span>
#include <system_error>
#include <utility>

namespace mail::ui {

std::shared_ptr<ImageStore> ImageStore::create(Fetcher fetcher, Options options) {
    return std::shared_ptr<ImageStore>(new ImageStore(std::move(fetcher), options));
}

ImageStore::ImageStore(Fetcher fetcher, Options options) : capacity_(std::max<std::size_t>(options.capacity, 1)) {
    Channel<std::string> requests = make_channel<std::string>();
    Channel<Fetched> results = make_channel<Fetched>();
    requests_ = std::move(requests.sender);
    results_ = std::move(results.receiver);
    // The pool shares one queue: whichever thread is free takes the next URL.
    auto queue = std::make_shared<Receiver<std::string>>(std::move(requests.receiver));
    auto shared_fetcher = std::make_shared<const Fetcher>(std::move(fetcher));
    const std::size_t threads = std::max<std::size_t>(options.threads, 1);
    for (std::size_t i = 0; i < threads; ++i) {
        try {
            workers_.emplace_back(&ImageStore::work, queue, results.sender, shared_fetcher, stop_, i + 1);
        } catch (const std::system_error&) {
            break;  // fewer threads still serve; none means every URL simply stays without image
        }
    }
}

ImageStore::~ImageStore() {
    stop_.cancel();
    requests_.reset();  // wakes idle threads: the queue is closed
    for (std::thread& worker : workers_) worker.join();
}

void ImageStore::work(std::shared_ptr<Receiver<std::string>> requests, Sender<Fetched> results,
                      std::shared_ptr<const Fetcher> fetcher, CancelFlag stop, std::size_t number) {
    const std::string name = "mail-images-" + std::to_string(number);
    pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
    while (std::optional<std::string> url = requests->recv()) {
        if (stop.is_cancelled()) return;
        std::optional<std::vector<std::uint8_t>> bytes;
        try {
            bytes = (*fetcher)(*url);
        } catch (...) {
            // A throwing fetcher counts as "no image"; it must not end the thread.
            bytes.reset();
        }
        if (stop.is_cancelled()) return;
        Fetched fetched{std::move(*url), std::nullopt};
        if (bytes && !bytes->empty() && bytes->size() <= max_image_bytes) {
            fetched.image = Image::decode(std::span<const std::uint8_t>(bytes->data(), bytes->size()));
            if (fetched.image && (fetched.image->width() <= 0 || fetched.image->height() <= 0)) fetched.image.reset();
        }
        if (!results.send(std::move(fetched))) return;
    }
}

void ImageStore::poll() {
    for (Fetched& fetched : results_.drain()) {
        pending_.erase(fetched.url);
        if (fetched.image) {
            remember(fetched.url, std::move(*fetched.image));
        } else {
            failed_.insert(fetched.url);
        }
        arrivals_.push_back(std::move(fetched.url));
        ++revision_;
    }
}

void ImageStore::remember(const std::string& url, Image image) {
    if (auto it = cache_.find(url); it != cache_.end()) {
        it->second.image = std::move(image);
        recent_.splice(recent_.begin(), recent_, it->second.recent);
        return;
    }
    recent_.push_front(url);
    cache_.emplace(url, Entry{std::move(image), recent_.begin()});
    while (cache_.size() > capacity_) {
        cache_.erase(recent_.back());
        recent_.pop_back();
    }
}

std::optional<Image> ImageStore::get(const std::string& url) {
    poll();
    if (url.empty()) return std::nullopt;
    if (auto it = cache_.find(url); it != cache_.end()) {
        recent_.splice(recent_.begin(), recent_, it->second.recent);
        return it->second.image;
    }
    if (failed_.contains(url) || pending_.contains(url)) return std::nullopt;
    if (workers_.empty() || !requests_ || !requests_->send(url)) {
        failed_.insert(url);
        return std::nullopt;
    }
    pending_.insert(url);
    return std::nullopt;
}

bool ImageStore::has_pending() {
    poll();
    return !pending_.empty();
}

std::vector<std::string> ImageStore::take_arrivals() {
    poll();
    return std::exchange(arrivals_, {});
}

std::uint64_t ImageStore::revision() {
    poll();
    return revision_;
}

}  // namespace mail::ui
