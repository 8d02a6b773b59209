#include "sim/serving_thread.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace veldrin::sim {

bool ServingThread::start(std::function<void()> body, std::string& error) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    stopping_ = false;
    started_ = true;
    thread_ = std::thread(std::move(body));
    return true;
}

void ServingThread::stop() {
    if (!started_) {
        return;
    }
    stopping_ = true;
    const uint8_t byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(wakeRead_);
    ::close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    started_ = false;
}

} // namespace veldrin::sim
