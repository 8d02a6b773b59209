#pragma once
// watch over every recorder attached: the loop that stands in for the window's message loop, a
// one-second step of the fleet and between steps the reports of all its workers; and what the
// console shows of them.

#include "acquisition/recorder_fleet.h"
#include "cli/alarm_hook.h"
#include "core/clock.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace veldrin::cli {

class FleetLoop {
public:
    FleetLoop(RecorderFleet& fleet, Clock& clock);

    // Called after every step (the alarm watches and the publisher look at what is new there).
    void setTickObserver(std::function<void()> observer) { tickObserver_ = std::move(observer); }
    // A step at once, then one every second until `stop` is set; then lets the current work of
    // every chain finish.
    void watch(const std::atomic<bool>& stop);

private:
    void tick();
    void handleReportsUntil(int64_t untilMs, const std::function<bool()>& done);
    int64_t now() const { return clock_.steadyMs(); }

    RecorderFleet& fleet_;
    Clock& clock_;
    int64_t nextTickMs_ = 0;
    std::function<void()> tickObserver_;
};

// "recorder N" once the recorder has a number, else "recorder at PATH".
std::string recorderLabel(const FleetRecorder& recorder);

// The console of watch: each status text as a line (with several recorders served, after the
// recorder's label), store problems on standard error, a recorder that goes while others stay
// said in a line of its own; with --on-alarm an alarm watch over each chain's store.
class WatchConsole final : public FleetListener {
public:
    // `hook`: null without --on-alarm.
    explicit WatchConsole(AlarmHook* hook) : hook_(hook) {}
    // Before the first step.
    void setFleet(RecorderFleet& fleet) { fleet_ = &fleet; }

    void statusText(const FleetRecorder& recorder, const std::u16string& text) override;
    void recorderAttached(const FleetRecorder& recorder) override;
    void recorderVanished(const FleetRecorder& recorder) override;
    void chainEnded(const FleetRecorder& recorder) override;
    void problem(const FleetRecorder& recorder, const std::string& message) override;

    // After every step: each alarm watch looks at its store's new records.
    void checkAlarms();
    // The recorders attached, as the publisher asks for them from its thread: nothing before the
    // first step and while an attached recorder has no number yet.
    std::optional<std::set<int32_t>> attachedNumbers() const;
    // After every step: takes the fleet's view for attachedNumbers().
    void noteAttached();

private:
    // Whether a line of this recorder needs its label: another recorder is attached besides it.
    bool several(const FleetRecorder& recorder) const;

    RecorderFleet* fleet_ = nullptr;
    AlarmHook* hook_;
    std::map<uint64_t, std::unique_ptr<AlarmWatch>> alarms_;
    mutable std::mutex attachedMutex_;
    std::optional<std::set<int32_t>> attached_;
};

} // namespace veldrin::cli
