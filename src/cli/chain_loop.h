#pragma once
// The loop that stands in for the window's message loop: a one-second tick that runs the periodic
// step (presence poll, 15-second download), and between ticks the worker's reports, each handed
// to the acquisition's reaction (which prints its status text and chains the next command).

#include "acquisition/acquisition.h"
#include "core/clock.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace veldrin::cli {

constexpr int64_t kTickMs = 1000;
// Longest wait for one report before the stop conditions are looked at again.
constexpr int64_t kReportSliceMs = 200;
// Bound of one connection chain: a full recorder's download, the clock loop's passes of a
// recorder that never takes the time, and a second download fit well inside it.
constexpr int64_t kChainBoundMs = 5 * 60 * 1000;
// After a stop signal: how long the current work may take to finish.
constexpr int64_t kFinishBoundMs = 90 * 1000;

enum class ChainOutcome {
    idle,           // the chain ended idle
    recorderLost,   // a worker ended: a reconnect found no recorder
    downloadFailed, // a download ended part-way
    timedOut,       // the chain did not end within its bound
    saveFailed,     // a data file could not be written (a full disk, a read-only folder)
    movedAside,     // a data file that could not be used was moved aside (said above)
};

class ChainLoop {
public:
    ChainLoop(Acquisition& acquisition, ReportQueue& reports, Clock& clock);

    // Polls for a recorder every second for up to `waitSeconds`; true once one is present (its
    // worker has been started and sent the connect command).
    bool waitForRecorder(int waitSeconds);

    // Runs the tick and the reports until the worker is idle again.
    ChainOutcome runToIdle(int64_t boundMs = kChainBoundMs);

    // The window's loop without a window, until `stop` is set; then lets the current work finish.
    void watch(const std::atomic<bool>& stop);

    // Called after every tick (the alarm watch looks at the new records there).
    void setTickObserver(std::function<void()> observer) { tickObserver_ = std::move(observer); }

    // What went wrong since the loop was made, for a chain that ended idle: a lost recorder or a
    // failed download also end idle. A failed save outweighs the rest: the disk lacks what the
    // recorder gave.
    ChainOutcome outcome() const;
    bool savesFailed() const;
    bool filesMovedAside() const;

private:
    void handleReportsUntil(int64_t untilMs, const std::function<bool()>& done);
    void handle(const LoggerReport& report);
    void handlePending();
    void tick();
    void finishCurrentWork();
    int64_t now() const { return clock_.steadyMs(); }

    Acquisition& acquisition_;
    ReportQueue& reports_;
    Clock& clock_;
    int64_t nextTickMs_;
    int endedWorkersAtStart_;
    int failedDownloadsAtStart_;
    int failedWritesAtStart_;
    int movedAsideAtStart_;
    std::function<void()> tickObserver_;
};

std::string describeOutcome(ChainOutcome outcome);
std::string saveFailureText();
std::string movedAsideText();
// 0 for a chain that ended idle; otherwise what happened goes to standard error, and 2 for a
// failed save or a file moved aside, 4 for the rest.
int exitStatusOf(ChainOutcome outcome);

} // namespace veldrin::cli
