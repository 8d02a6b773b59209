#pragma once
// The window's side of the alarm limits: the limits of the displayed recorder (for the chart, the
// list and the statistics), and every attached recorder followed record by record, each on its
// own, so that the status bar says when the displayed one's newest record is out of range and a
// desktop notification, naming the recorder, goes out when an alarm event of any of them begins
// while the window runs.

#include "analysis/statistics.h"
#include "store/alarm_limits_store.h"
#include "store/data_store.h"

#include <QString>

#include <functional>
#include <map>
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

    // A recorder to follow: the connected set of a store (each attached recorder's chain has one).
    struct Followed {
        DataStore* store = nullptr;
        bool attached = false;
    };

    // One step of the window: takes the records of each followed recorder that arrived since the
    // last step; recorders no longer given are forgotten. Returns the status text for the
    // displayed recorder when it is attached and its newest record is out of range, empty
    // otherwise. The records a recorder has when it is first followed are history: they set the
    // state without notifying.
    QString follow(const std::vector<Followed>& followed);
    // The same for the store given at construction alone.
    QString follow(bool attached) { return follow({Followed{&store_, attached}}); }
    // The status text of the last step, in the current language: the displayed recorder and the
    // limits its newest record is beyond; empty unless it is followed and out of range.
    QString statusText() const;

private:
    // What is known of one followed recorder.
    struct Follower {
        int32_t number = -1;
        std::size_t seen = 0;
        bool fahrenheit = false;
        AlarmLimits limits;
        std::unique_ptr<AlarmTracker> tracker;
        std::vector<LimitKind> beyond;
    };
    void followOne(DataStore& store, bool attached, Follower& follower);
    void retrack(DataStore& store, Follower& follower, const AlarmLimits& limits);
    void notifyBegin(const AlarmTransition& transition, int32_t number, bool fahrenheit);

    DataStore& store_;
    std::string mainIniPath_;
    Notify notify_;
    Problem problem_;
    mutable ReportedOnce reported_;
    AlarmLimits displayed_;
    int32_t displayedNumber_ = -1;

    std::map<DataStore*, Follower> followers_;
};

} // namespace veldrin
