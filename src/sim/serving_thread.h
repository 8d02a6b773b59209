#pragma once
// The thread on which a transport serves, with a pipe whose read end the transport's poll loop
// watches, so that stop() wakes the loop at once instead of waiting for its next time-out.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace veldrin::sim {

class ServingThread {
public:
    ServingThread() = default;
    ~ServingThread() { stop(); }
    ServingThread(const ServingThread&) = delete;
    ServingThread& operator=(const ServingThread&) = delete;

    // Makes the wake pipe and runs `body` on its own thread; false with `error` when the pipe
    // cannot be made.
    bool start(std::function<void()> body, std::string& error);
    // Asks the loop to end, wakes it, waits for the thread and closes the pipe.
    void stop();

    bool started() const { return started_; }
    bool stopping() const { return stopping_.load(); }
    int wakeFd() const { return wakeRead_; }

private:
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    bool started_ = false;
    std::thread thread_;
};

} // namespace veldrin::sim
