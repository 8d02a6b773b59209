#pragma once
// The window's side of the alarm limits: the limits of the displayed recorder (for the chart, the
// list and the statistics), and the connected recorder followed record by record, so that the
// status bar says when its newest record is out of range and a desktop notification goes out
// when an alarm event begins while the window runs.

#include "analysis/statistics.h"
#include "store/alarm_limits_store.h"
#include "store/data_store.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veldrin {

class AlarmMonitor {
public:
    using Notify = std::function<void(const QString& summary, const QString& body)>;
    using Problem = std::function<void(const std::string& message)>;

    // `notify` is called on the window thread when an event begins; `problem` once for every
    // fault of the limits in main.ini.
    AlarmMonitor(DataStore& store, std::string mainIniPath, Notify notify, Problem problem);

    // The limits of a recorder as main.ini holds them now.
    AlarmLimits limitsOf(int32_t number) const;

    // The displayed recorder changed (or -1 for a file opened read-only): its limits are read.
    void setDisplayedRecorder(int32_t number);
    const AlarmLimits& displayedLimits() const { return displayed_; }
    int32_t displayedRecorder() const { return displayedNumber_; }

    // New limits were stored for `number`: whoever shows or follows it takes them.
    void limitsChanged(int32_t number);

    // One step of the window: takes the connected recorder's records that arrived since the last
    // step. Returns the status text for an attached recorder whose newest record is out of
    // range, empty otherwise. The records present at the first step are history: they set the
    // state without notifying.
    QString follow(bool attached);
    // The status text of the last step, in the current language: the followed recorder and the
    // limits its newest record is beyond; empty unless that recorder is the one displayed.
    QString statusText() const;

private:
    void retrack(const AlarmLimits& limits);
    void notifyBegin(const AlarmTransition& transition, int32_t number, bool fahrenheit);

    DataStore& store_;
    std::string mainIniPath_;
    Notify notify_;
    Problem problem_;
    mutable ReportedOnce reported_;
    AlarmLimits displayed_;
    int32_t displayedNumber_ = -1;

    int32_t followed_ = -1;
    std::size_t seen_ = 0;
    bool followedFahrenheit_ = false;
    AlarmLimits followedLimits_;
    std::unique_ptr<AlarmTracker> tracker_;
    std::vector<LimitKind> beyond_;
};

} // namespace veldrin
