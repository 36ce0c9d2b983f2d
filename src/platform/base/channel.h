#pragma once
// The only places where threads meet: an unbounded closable channel, a one-shot result slot
// and a set-once cancel flag. No other lock is shared between threads.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace mail {

namespace detail {
template <typename T>
struct ChannelState {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<T> queue;
    int senders = 0;
    bool receiver_alive = true;
};
}  // namespace detail

template <typename T>
class Receiver;

// The sending end; copies share the channel. The channel closes for the receiver when the
// last sender is gone.
template <typename T>
class Sender {
public:
    Sender() = default;
    explicit Sender(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) { attach(); }
    Sender(const Sender& other) : state_(other.state_) { attach(); }
    Sender(Sender&& other) noexcept : state_(std::move(other.state_)) {}
    Sender& operator=(Sender other) noexcept {
        std::swap(state_, other.state_);
        return *this;
    }
    ~Sender() { detach(); }

    // False when the receiver is gone; the value is then dropped.
    bool send(T value) const {
        if (!state_) return false;
        {
            std::lock_guard lock(state_->mutex);
            if (!state_->receiver_alive) return false;
            state_->queue.push_back(std::move(value));
        }
        state_->ready.notify_one();
        return true;
    }

    bool is_connected() const {
        if (!state_) return false;
        std::lock_guard lock(state_->mutex);
        return state_->receiver_alive;
    }

private:
    void attach() {
        if (!state_) return;
        std::lock_guard lock(state_->mutex);
        ++state_->senders;
    }
    void detach() {
        if (!state_) return;
        {
            std::lock_guard lock(state_->mutex);
            --state_->senders;
        }
        state_->ready.notify_all();
        state_.reset();
    }
    std::shared_ptr<detail::ChannelState<T>> state_;
};

template <typename T>
class Receiver {
public:
    Receiver() = default;
    explicit Receiver(std::shared_ptr<detail::ChannelState<T>> state) : state_(std::move(state)) {}
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&& other) noexcept {
        close();
        state_ = std::move(other.state_);
        return *this;
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver() { close(); }

    // Blocks until a value arrives; nothing once every sender is gone and the queue is empty.
    std::optional<T> recv() {
        if (!state_) return std::nullopt;
        std::unique_lock lock(state_->mutex);
        state_->ready.wait(lock, [&] { return !state_->queue.empty() || state_->senders == 0; });
        return pop(lock);
    }

    std::optional<T> recv_for(std::chrono::milliseconds timeout) {
        if (!state_) return std::nullopt;
        std::unique_lock lock(state_->mutex);
        state_->ready.wait_for(lock, timeout, [&] { return !state_->queue.empty() || state_->senders == 0; });
        return pop(lock);
    }

    std::optional<T> try_recv() {
        if (!state_) return std::nullopt;
        std::unique_lock lock(state_->mutex);
        return pop(lock);
    }

    // Everything already queued, in arrival order, without waiting.
    std::vector<T> drain() {
        std::vector<T> out;
        if (!state_) return out;
        std::lock_guard lock(state_->mutex);
        while (!state_->queue.empty()) {
            out.push_back(std::move(state_->queue.front()));
            state_->queue.pop_front();
        }
        return out;
    }

    bool is_closed() const {
        if (!state_) return true;
        std::lock_guard lock(state_->mutex);
        return state_->senders == 0 && state_->queue.empty();
    }

    void close() {
        if (!state_) return;
        {
            std::lock_guard lock(state_->mutex);
            state_->receiver_alive = false;
            state_->queue.clear();
        }
        state_.reset();
    }

private:
    std::optional<T> pop(std::unique_lock<std::mutex>&) {
        if (state_->queue.empty()) return std::nullopt;
        T value = std::move(state_->queue.front());
        state_->queue.pop_front();
        return value;
    }
    std::shared_ptr<detail::ChannelState<T>> state_;
};

template <typename T>
struct Channel {
    Sender<T> sender;
    Receiver<T> receiver;
};

template <typename T>
Channel<T> make_channel() {
    auto state = std::make_shared<detail::ChannelState<T>>();
    return Channel<T>{Sender<T>(state), Receiver<T>(state)};
}

// A result delivered once from a worker thread; the reader polls it without waiting.
template <typename T>
class OneShot {
public:
    void set(T value) {
        std::lock_guard lock(state_->mutex);
        if (!state_->value) state_->value = std::move(value);
    }
    std::optional<T> take() {
        std::lock_guard lock(state_->mutex);
        std::optional<T> out = std::move(state_->value);
        state_->value.reset();
        return out;
    }
    bool ready() const {
        std::lock_guard lock(state_->mutex);
        return state_->value.has_value();
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::optional<T> value;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Set once, read from any thread; copies share the flag.
class CancelFlag {
public:
    void cancel() { flag_->store(true, std::memory_order_release); }
    bool is_cancelled() const { return flag_->load(std::memory_order_acquire); }

private:
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace mail
