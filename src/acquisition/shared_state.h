#pragma once
// State shared between the window side and the acquisition worker. Everything here is safe to use
// from both threads.

#include "core/recorder_types.h"
#include "device/logger_header.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace veldrin {

class SharedState {
public:
    // 1 from a command post until the window side decides the chain has ended.
    std::atomic<int> workerBusy{0};
    // The presence state as of the last change seen by the presence poll.
    std::atomic<int> recorderPresent{0};
    // The result of the latest presence poll (the status bar's connection picture).
    std::atomic<int> recorderAttached{0};
    // Downloads that ended part-way (a recorder read failed), counted since start: the history on
    // disk is consistent but may lack the newest records.
    std::atomic<int> failedDownloads{0};
    // Whether the latest download ended part-way: a later complete one has caught up.
    std::atomic<bool> lastDownloadFailed{false};
    // Workers that ended because a reconnect found no recorder.
    std::atomic<int> endedWorkers{0};

    RecorderIdentity connectedIdentity() const {
        std::lock_guard lock(mutex_);
        return identity_;
    }
    void setConnectedIdentity(const RecorderIdentity& id) {
        std::lock_guard lock(mutex_);
        identity_ = id;
    }

    // The most recent header image read from the recorder; the configuration write sends back
    // what the recorder held in the bytes it does not define.
    void rememberHeader(const HeaderImage& header) {
        std::lock_guard lock(mutex_);
        header_ = header;
        hasHeader_ = true;
    }
    bool lastHeader(HeaderImage& out) const {
        std::lock_guard lock(mutex_);
        out = header_;
        return hasHeader_;
    }

    // Handshake of a recognition or registration: the worker takes a ticket before it posts
    // status 1 or 2 and waits until the window side has finished registering, so that its header
    // refresh sees the registry and the recorder number as they are meant to be. `settled` false:
    // the window side gave the recorder no number (it went before it took its identity, or before
    // it was recognised), and the worker treats it as not yet identified.
    uint64_t expectRegistration() {
        std::lock_guard lock(mutex_);
        return ++expected_;
    }
    void registrationDone(bool settled = true) {
        std::lock_guard lock(mutex_);
        done_ = expected_;
        settled_ = settled;
        registered_.notify_all();
    }
    // True once the window side has settled the recorder's number; false when it said it did not
    // or took longer than the bound.
    bool waitRegistration(uint64_t ticket) {
        std::unique_lock lock(mutex_);
        return registered_.wait_for(lock, registrationBound_, [&] { return done_ >= ticket; }) &&
               settled_;
    }
    void setRegistrationBound(std::chrono::milliseconds bound) {
        std::lock_guard lock(mutex_);
        registrationBound_ = bound;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable registered_;
    RecorderIdentity identity_;
    HeaderImage header_{};
    bool hasHeader_ = false;
    std::chrono::milliseconds registrationBound_{5000};
    uint64_t expected_ = 0;
    uint64_t done_ = 0;
    bool settled_ = true;
};

} // namespace veldrin
