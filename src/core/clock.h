#pragma once
// Every pause and every "now" of the program goes through a Clock, so that tests can run on
// simulated time and never sleep for real.

#include "core/date_time.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace veldrin {

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual int64_t unixSeconds() = 0;
    // Local time of the PC clock, to the second.
    virtual DateTime nowLocal();
    // Monotonic milliseconds for measuring spans.
    virtual int64_t steadyMs() = 0;
    virtual void sleepMs(int64_t ms) = 0;
};

class SystemClock final : public Clock {
public:
    int64_t unixSeconds() override;
    int64_t steadyMs() override;
    void sleepMs(int64_t ms) override;
    static SystemClock& instance();
};

// Simulated time: sleeping advances the clock at once. Safe to share between threads.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t unixStartSeconds = 1308148212 /* 2011-06-15 14:30:12 UTC */)
        : ms_(unixStartSeconds * 1000) {}
    int64_t unixSeconds() override { return ms_.load() / 1000; }
    int64_t steadyMs() override { return ms_.load(); }
    void sleepMs(int64_t ms) override { advanceMs(ms); }
    void advanceMs(int64_t ms) { ms_.fetch_add(ms); }
    void setUnixSeconds(int64_t s) { ms_.store(s * 1000); }

private:
    std::atomic<int64_t> ms_;
};

} // namespace veldrin
