#pragma once
// The worker's command queue. A post fails once the queue is closed (the worker has ended), so a
// command can never wait for a worker that is not there.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace veldrin {

class CommandQueue {
public:
    // False when the queue is closed; the command is then dropped.
    bool post(int command) {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return false;
        }
        commands_.push_back(command);
        ready_.notify_one();
        return true;
    }

    // Waits for the next command; false once the queue is closed and empty.
    bool take(int& command) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !commands_.empty(); });
        if (commands_.empty()) {
            return false;
        }
        command = commands_.front();
        commands_.pop_front();
        return true;
    }

    // Closes the queue; returns how many commands were still waiting (they are dropped).
    std::size_t close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        const std::size_t dropped = commands_.size();
        commands_.clear();
        ready_.notify_all();
        return dropped;
    }

    bool closed() const {
        std::lock_guard lock(mutex_);
        return closed_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int> commands_;
    bool closed_ = false;
};

} // namespace veldrin
