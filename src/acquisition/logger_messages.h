#pragma once
// The numbered commands the window side sends to the acquisition worker and the numbered reports
// the worker posts back, with the way reports travel: posted to a sink, never waited for.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace veldrin {

constexpr int WM_LOGGER_STATUS = 1034;
constexpr int WM_LOGGER_COMMAND = 1035;

namespace command {
constexpr int connect = 0;
constexpr int download = 2;
constexpr int clockSetting = 4;
constexpr int reconnect = 5;
} // namespace command

namespace status {
constexpr int readingHeader = 0;
constexpr int unknownRecorder = 1;
constexpr int knownRecorder = 2;
constexpr int clockRead = 3;
constexpr int clockInTime = 4;
constexpr int connected = 5;
constexpr int progress = 6;
constexpr int commandDone = 7;
} // namespace status

// The number a status 7 carries when the download before it ended part-way: its text says that
// the download failed instead of that it finished.
constexpr int32_t kDownloadEndedPartWay = -1;

struct LoggerReport {
    int32_t number = 0; // the record count of status 6, else 0
    int code = 0;
};

// Where the worker posts its reports. Posting never blocks on the receiver.
class ReportSink {
public:
    virtual ~ReportSink() = default;
    virtual void postLoggerStatus(int32_t number, int code) = 0;
};

// A sink that a loop of its own drains: the command-line tool and the tests.
class ReportQueue final : public ReportSink {
public:
    void postLoggerStatus(int32_t number, int code) override {
        std::lock_guard lock(mutex_);
        reports_.push_back(LoggerReport{number, code});
        ready_.notify_one();
    }
    // Waits up to `timeout` of real time for a report.
    bool waitFor(LoggerReport& out, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, timeout, [&] { return !reports_.empty(); })) {
            return false;
        }
        out = reports_.front();
        reports_.pop_front();
        return true;
    }
    bool tryTake(LoggerReport& out) { return waitFor(out, std::chrono::milliseconds(0)); }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<LoggerReport> reports_;
};

} // namespace veldrin
