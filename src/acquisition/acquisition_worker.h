#pragma once
// The acquisition worker: one thread that carries out the numbered commands (connect, download,
// clock setting, reconnect) one at a time and posts numbered reports back. It ends when a
// reconnect finds no recorder; from then on every command posted to it is refused.

#include "acquisition/command_queue.h"
#include "acquisition/history_download.h"
#include "acquisition/logger_messages.h"
#include "acquisition/shared_state.h"
#include "core/clock.h"
#include "device/logger_link.h"
#include "store/data_store.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <thread>

namespace veldrin {

// What the worker reaches through the main view.
struct WorkerContext {
    LoggerLink& link;
    DataStore& store;
    Clock& clock;
    ReportSink& reports;
    SharedState& shared;
};

// Bounds of the waits the worker makes: the pause after reporting a recognised or unknown
// recorder (at least this long, and until the window side has registered it, at most
// SharedState::registrationBound of real time), and the passes of the clock loop for a recorder
// that never takes the time (about a minute), after which the run ends as a failed read does.
constexpr int64_t kPauseAfterIdentityMs = 50;
constexpr int64_t kClockRecheckMs = 5000;
constexpr int kMaxClockPasses = 12;
constexpr int64_t kClockToleranceSeconds = 5;
// Recorder reads that failed in a row (header, clock) before a reconnect ends the worker even when
// the recorder is still on the bus.
constexpr int kMaxFailedInARow = 3;
// A download that brought at least this many records (a recorder's first, or one after a long
// absence) gives the memory its batches took back to the system once they are freed; the few
// records of a 15-second cycle leave blocks that the thread's next download uses again.
constexpr std::size_t kReleaseAfterRecords = 1024;

class AcquisitionWorker {
public:
    // Starts the thread at once.
    explicit AcquisitionWorker(WorkerContext context);
    // Closes the queue and waits for the thread.
    ~AcquisitionWorker();
    AcquisitionWorker(const AcquisitionWorker&) = delete;
    AcquisitionWorker& operator=(const AcquisitionWorker&) = delete;

    // Queues a command; false once the worker has ended (the command is dropped).
    bool post(int code) { return queue_.post(code); }
    bool ended() const { return ended_.load(); }

private:
    // Held by a worker from its reading of MaxID until its recorder is registered or recognised.
    static std::mutex& registrationMutex();
    void run();
    void runCommand(int code);
    void sendCommand(int code);
    void connect();
    void download();
    void clockSetting();
    bool reconnect();    // false: no recorder (or none that answers), the worker ends
    void recorderLost(); // after a failed reconnect: ends the worker, frees the window side
    void giveUp();       // a recorder read failed: reconnect
    bool pauseAfterIdentity(uint64_t ticket);
    void report(int code, int32_t number = 0) { context_.reports.postLoggerStatus(number, code); }

    WorkerContext context_;
    CommandQueue queue_;
    std::atomic<bool> ended_{false};
    // Whether the recorder has been identified (command 0 completed) since it was attached or
    // last reconnected: no download or clock setting runs for a recorder not known to be the
    // connected one.
    bool identified_ = false;
    int failedInARow_ = 0;
    // The identity bytes the connected recorder showed last. A recorder that did not take the
    // identity written at its registration still shows the bytes it had and is still the
    // connected one; any other change means another recorder.
    RecorderIdentity lastSeenIdentity_;
    HeaderImage header_{};
    // The recorder's clock as last read; keeps its value when the bytes name no time.
    DateTime recorderClock_ = DateTime::fromValue(0.0);
    std::thread thread_;
};

} // namespace veldrin
