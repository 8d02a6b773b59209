#pragma once
// watch --on-alarm: the program run when an alarm event begins or ends, and the watch over the
// connected recorder's records that finds those moments.

#include "analysis/statistics.h"
#include "cli/announced_alarms.h"
#include "core/child_process.h"
#include "core/clock.h"
#include "store/alarm_limits_store.h"
#include "store/data_store.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace veldrin::cli {

// A program still running this long after its start is killed.
constexpr int64_t kAlarmProgramLimitMs = 60 * 1000;
// Transitions waiting for a recorder's program beyond this many are dropped (and said so): a
// program that never ends in time must not make the queue grow without bound.
constexpr std::size_t kMaxWaitingAlarms = 32;

struct AlarmNotice {
    int32_t recorder = 0;
    std::string identity; // "product,high,low"; empty when main.ini has none
    bool fahrenheit = false;
    AlarmTransition transition;
};

// VELDRIN_RECORDER, VELDRIN_IDENTITY, VELDRIN_LIMIT, VELDRIN_STATE, VELDRIN_VALUE, VELDRIN_UNIT
// and VELDRIN_TIME.
ChildEnvironment alarmEnvironment(const AlarmNotice& notice);

// Runs the program once per notice, at most one run at a time per recorder (the others wait
// their turn), and kills a run that outlasts kAlarmProgramLimitMs. Whatever happens to the
// program is said through `log` and never stops the caller.
class AlarmHook {
public:
    using Log = std::function<void(const std::string&)>;
    AlarmHook(std::string program, ChildLauncher& launcher, Clock& clock, Log log);

    void notify(const AlarmNotice& notice);
    // Reaps ended runs, kills overdue ones, starts the next waiting notice.
    void poll();
    // At the end of watching: the runs under way may finish within their time (said, with how
    // long that may take at most), those waiting are dropped.
    void finish();

    bool running(int32_t recorder) const;

private:
    struct Lane {
        std::unique_ptr<ChildProcess> child;
        int64_t startedMs = 0;
        std::string what;
        std::deque<AlarmNotice> waiting;
    };
    void startNext(Lane& lane);
    void reap(Lane& lane);

    std::string program_;
    ChildLauncher& launcher_;
    Clock& clock_;
    Log log_;
    std::map<int32_t, Lane> lanes_;
};

// Follows the connected recorder's records in the data store and hands every transition to the
// hook. The records a recorder already has when it is first seen are read without a word, then
// the events in progress at their end are told as beginning; later records are followed one by
// one. The limits are read from main.ini whenever new records have come.
class AlarmWatch {
public:
    using Say = std::function<void(const std::string&)>;
    // `problem`: a limit in main.ini that cannot be used (said once); `announce`: each transition.
    AlarmWatch(DataStore& store, AlarmHook& hook, Say problem, Say announce);
    void check();

private:
    struct Followed {
        std::size_t seen = 0;
        AlarmTracker tracker{AlarmLimits{}, false};
        AnnouncedAlarms announced;
    };
    // The records of a recorder first seen, fed without a word: the ends of the events announced
    // earlier that are over, then the events going on.
    static std::vector<AlarmTransition>
    firstSightTransitions(const Followed& f, const std::vector<AlarmTransition>& history);
    // The announced events after `transitions`, kept on disk when they changed.
    void remember(int32_t number, Followed& f, const std::vector<AlarmTransition>& transitions);
    void sayOnce(const std::string& problem);

    DataStore& store_;
    AlarmHook& hook_;
    Say problem_;
    Say announce_;
    ReportedOnce said_;
    std::map<int32_t, Followed> followed_;
};

} // namespace veldrin::cli
