#include "cli/fleet_loop.h"

#include "cli/chain_loop.h"
#include "cli/cli_context.h"
#include "lang/utf.h"

#include <algorithm>

namespace veldrin::cli {

FleetLoop::FleetLoop(RecorderFleet& fleet, Clock& clock)
    : fleet_(fleet), clock_(clock), nextTickMs_(now() + kTickMs) {}

void FleetLoop::handleReportsUntil(int64_t untilMs, const std::function<bool()>& done) {
    for (;;) {
        if (done()) {
            return;
        }
        const int64_t left = untilMs - now();
        if (left <= 0) {
            return;
        }
        fleet_.waitAndPump(std::chrono::milliseconds(std::min(left, kReportSliceMs)));
    }
}

void FleetLoop::tick() {
    fleet_.tick();
    nextTickMs_ += kTickMs;
    if (nextTickMs_ <= now()) {
        nextTickMs_ = now() + kTickMs; // the loop fell behind: no burst of catch-up steps
    }
    if (tickObserver_) {
        tickObserver_();
    }
}

void FleetLoop::watch(const std::atomic<bool>& stop) {
    const auto stopped = [&stop] { return stop.load(); };
    nextTickMs_ = now();
    while (!stopped()) {
        handleReportsUntil(nextTickMs_, stopped);
        if (!stopped()) {
            tick();
        }
    }
    // The chains that run are finished (a download takes a few seconds), so that nothing is left
    // half-done; no step starts a new command.
    handleReportsUntil(now() + kFinishBoundMs, [this] { return !fleet_.busy(); });
}

std::string recorderLabel(const FleetRecorder& recorder) {
    return recorder.number >= 0 ? "recorder " + std::to_string(recorder.number)
                                : "recorder at " + recorder.interfacePath;
}

bool WatchConsole::several(const FleetRecorder& recorder) const {
    return fleet_->attachedCount() + (recorder.attached ? 0 : 1) > 1;
}

void WatchConsole::statusText(const FleetRecorder& recorder, const std::u16string& text) {
    const std::string line = utf16ToUtf8(text);
    printLine(several(recorder) ? recorderLabel(recorder) + ": " + line : line);
}

void WatchConsole::recorderAttached(const FleetRecorder& recorder) {
    DataStore* store = fleet_->storeOfChain(recorder.chain);
    if (hook_ != nullptr && store != nullptr && alarms_.count(recorder.chain) == 0) {
        alarms_.emplace(recorder.chain,
                        std::make_unique<AlarmWatch>(*store, *hook_, printError, printLine));
    }
}

void WatchConsole::recorderVanished(const FleetRecorder& recorder) {
    if (fleet_->attachedCount() > 0) {
        printLine(recorderLabel(recorder) + ": no longer attached");
    }
}

void WatchConsole::chainEnded(const FleetRecorder& recorder) {
    const auto it = alarms_.find(recorder.chain);
    if (it != alarms_.end()) {
        it->second->check(); // what its last download brought
        alarms_.erase(it);
    }
}

void WatchConsole::problem(const FleetRecorder& /*recorder*/, const std::string& message) {
    printError(message);
}

void WatchConsole::checkAlarms() {
    for (auto& [chain, watch] : alarms_) {
        watch->check();
    }
}

void WatchConsole::noteAttached() {
    std::optional<std::set<int32_t>> numbers(std::in_place);
    for (const FleetRecorder& recorder : fleet_->recorders()) {
        if (!recorder.attached) {
            continue;
        }
        if (recorder.number < 0) {
            numbers.reset(); // being identified
            break;
        }
        numbers->insert(recorder.number);
    }
    std::lock_guard lock(attachedMutex_);
    attached_ = std::move(numbers);
}

std::optional<std::set<int32_t>> WatchConsole::attachedNumbers() const {
    std::lock_guard lock(attachedMutex_);
    return attached_;
}

} // namespace veldrin::cli
