#include "publish/position_saver.h"

#include <cstdio>
#include <utility>

namespace veldrin::publish {

PositionSaver::PositionSaver(bool background) : background_(background) {
    if (background_) {
        thread_ = std::thread([this] { run(); });
    }
}

PositionSaver::~PositionSaver() {
    if (background_) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
}

void PositionSaver::save(const std::string& path, const PublishedPosition& position,
                         const std::string& obsolete) {
    if (!background_) {
        write(path, Request{position, obsolete});
        return;
    }
    {
        std::lock_guard lock(mutex_);
        Request& request = pending_[path];
        request.position = position;
        if (!obsolete.empty()) {
            request.obsolete = obsolete;
        }
    }
    wake_.notify_all();
}

void PositionSaver::flush() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return pending_.empty() && !writing_; });
}

std::vector<std::string> PositionSaver::takeProblems() {
    std::lock_guard lock(mutex_);
    return std::exchange(problems_, {});
}

// Until stopped, and then until nothing is left to write.
void PositionSaver::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
        if (pending_.empty()) {
            return;
        }
        std::map<std::string, Request> batch;
        batch.swap(pending_);
        writing_ = true;
        lock.unlock();
        for (const auto& [path, request] : batch) {
            write(path, request);
        }
        lock.lock();
        writing_ = false;
        idle_.notify_all();
    }
}

void PositionSaver::write(const std::string& path, const Request& request) {
    std::string error;
    const bool written = savePosition(path, request.position, error);
    if (written && !request.obsolete.empty()) {
        std::remove(request.obsolete.c_str());
    }
    std::lock_guard lock(mutex_);
    std::string& lastError = lastErrors_[path];
    if (written) {
        lastError.clear();
    } else if (error != lastError) {
        problems_.push_back("MQTT: the published position cannot be kept: " + error);
        lastError = error;
    }
}

} // namespace veldrin::publish
