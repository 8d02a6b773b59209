#include "cli/chain_loop.h"

#include "cli/cli_context.h"
#include "cli/exit_status.h"

#include <algorithm>
#include <chrono>

namespace veldrin::cli {

ChainLoop::ChainLoop(Acquisition& acquisition, ReportQueue& reports, Clock& clock)
    : acquisition_(acquisition), reports_(reports), clock_(clock), nextTickMs_(now() + kTickMs),
      endedWorkersAtStart_(acquisition.shared().endedWorkers.load()),
      failedDownloadsAtStart_(acquisition.shared().failedDownloads.load()),
      failedWritesAtStart_(acquisition.store().failedWrites()),
      movedAsideAtStart_(acquisition.store().filesMovedAside()) {}

void ChainLoop::handle(const LoggerReport& report) {
    acquisition_.HandleLoggerStatus(report.number, report.code);
}

void ChainLoop::handleReportsUntil(int64_t untilMs, const std::function<bool()>& done) {
    for (;;) {
        if (done && done()) {
            return;
        }
        const int64_t left = untilMs - now();
        if (left <= 0) {
            return;
        }
        LoggerReport report;
        if (reports_.waitFor(report, std::chrono::milliseconds(std::min(left, kReportSliceMs)))) {
            handle(report);
        }
    }
}

// Reports left in the queue once the worker is idle or gone (the last status 7 of an ended
// worker): their texts are still shown, and whatever command they send is dropped.
void ChainLoop::handlePending() {
    LoggerReport report;
    while (reports_.tryTake(report)) {
        handle(report);
    }
}

void ChainLoop::tick() {
    acquisition_.periodicStep();
    nextTickMs_ += kTickMs;
    if (nextTickMs_ <= now()) {
        nextTickMs_ = now() + kTickMs; // the loop fell behind: no burst of catch-up ticks
    }
    if (tickObserver_) {
        tickObserver_();
    }
}

bool ChainLoop::waitForRecorder(int waitSeconds) {
    const int64_t deadline = now() + int64_t{waitSeconds} * 1000;
    for (;;) {
        acquisition_.PollPresence();
        if (acquisition_.recorderPresent()) {
            nextTickMs_ = now() + kTickMs;
            return true;
        }
        if (now() >= deadline) {
            return false;
        }
        handleReportsUntil(std::min(now() + kTickMs, deadline), {});
    }
}

ChainOutcome ChainLoop::runToIdle(int64_t boundMs) {
    const int64_t deadline = now() + boundMs;
    const auto idle = [this] { return !acquisition_.workerBusy(); };
    while (!idle()) {
        if (now() >= deadline) {
            return ChainOutcome::timedOut;
        }
        handleReportsUntil(std::min(nextTickMs_, deadline), idle);
        if (!idle() && now() >= nextTickMs_) {
            tick();
        }
    }
    handlePending();
    return outcome();
}

void ChainLoop::watch(const std::atomic<bool>& stop) {
    const auto stopped = [&stop] { return stop.load(); };
    acquisition_.periodicStep();
    nextTickMs_ = now() + kTickMs;
    while (!stopped()) {
        handleReportsUntil(nextTickMs_, stopped);
        if (!stopped()) {
            tick();
        }
    }
    finishCurrentWork();
}

// The chain that runs is finished (a download takes a few seconds), so that nothing is left
// half-done; no new command is started by the tick.
void ChainLoop::finishCurrentWork() {
    const int64_t deadline = now() + kFinishBoundMs;
    const auto idle = [this] { return !acquisition_.workerBusy(); };
    handleReportsUntil(deadline, idle);
}

bool ChainLoop::savesFailed() const {
    return acquisition_.store().failedWrites() != failedWritesAtStart_;
}

bool ChainLoop::filesMovedAside() const {
    return acquisition_.store().filesMovedAside() != movedAsideAtStart_;
}

ChainOutcome ChainLoop::outcome() const {
    const SharedState& shared = acquisition_.shared();
    if (savesFailed()) {
        return ChainOutcome::saveFailed;
    }
    if (filesMovedAside()) {
        return ChainOutcome::movedAside;
    }
    if (shared.endedWorkers.load() != endedWorkersAtStart_) {
        return ChainOutcome::recorderLost;
    }
    // A failed download that a later complete one has caught up with leaves nothing missing.
    if (shared.failedDownloads.load() != failedDownloadsAtStart_ &&
        shared.lastDownloadFailed.load()) {
        return ChainOutcome::downloadFailed;
    }
    return ChainOutcome::idle;
}

std::string describeOutcome(ChainOutcome outcome) {
    switch (outcome) {
    case ChainOutcome::idle:
        return "the chain ended idle";
    case ChainOutcome::recorderLost:
        return "the recorder was lost before the chain completed; the history on disk is "
               "consistent but may lack the newest records";
    case ChainOutcome::downloadFailed:
        return "a download failed part-way; the history on disk is consistent but may lack the "
               "newest records";
    case ChainOutcome::timedOut:
        return "the recorder did not finish its work in time; the history on disk is consistent "
               "but may lack the newest records";
    case ChainOutcome::saveFailed:
        return saveFailureText();
    case ChainOutcome::movedAside:
        return movedAsideText();
    }
    return {};
}

std::string saveFailureText() {
    return "a data file could not be saved (see above); what was read from the recorder is "
           "not all on disk";
}

std::string movedAsideText() {
    return "a data file that could not be used was moved aside (see above); the history it held "
           "is no longer where it was";
}

int exitStatusOf(ChainOutcome outcome) {
    if (outcome == ChainOutcome::idle) {
        return kExitOk;
    }
    printError(describeOutcome(outcome));
    return outcome == ChainOutcome::saveFailed || outcome == ChainOutcome::movedAside
               ? kExitInvalid
               : kExitIncomplete;
}

} // namespace veldrin::cli
