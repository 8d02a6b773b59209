#include "cli/alarm_hook.h"

#include "cli/alarm_text.h"
#include "store/registry.h"

#include <algorithm>

namespace veldrin::cli {
namespace {

constexpr int64_t kFinishPollMs = 100;
constexpr int64_t kMsPerSecond = 1000;

std::optional<int64_t>& begunOf(AnnouncedAlarms& announced, LimitKind kind) {
    return announced.begun[static_cast<std::size_t>(kind)];
}

std::string stateName(AlarmTransition::State state) {
    return state == AlarmTransition::State::begin ? "begin" : "end";
}

std::string describe(const AlarmNotice& n) {
    const AlarmTransition& t = n.transition;
    return "recorder " + std::to_string(n.recorder) + " " + std::string(limitName(t.limit)) + " " +
           stateName(t.state) + " at " + isoTimeText(t.time);
}

std::string unitOf(const AlarmNotice& n) {
    if (!isTemperatureLimit(n.transition.limit)) {
        return "%";
    }
    return n.fahrenheit ? "F" : "C";
}

std::string identityText(const IniSnapshot& ini, int32_t number) {
    RecorderIdentity id;
    if (!registeredIdentity(ini, number, id)) {
        return {};
    }
    return std::to_string(id.product) + "," + std::to_string(id.high) + "," +
           std::to_string(id.low);
}

} // namespace

ChildEnvironment alarmEnvironment(const AlarmNotice& n) {
    return {
        {"VELDRIN_RECORDER", std::to_string(n.recorder)},
        {"VELDRIN_IDENTITY", n.identity},
        {"VELDRIN_LIMIT", std::string(limitName(n.transition.limit))},
        {"VELDRIN_STATE", stateName(n.transition.state)},
        {"VELDRIN_VALUE", transitionValueText(n.transition)},
        {"VELDRIN_UNIT", unitOf(n)},
        {"VELDRIN_TIME", isoTimeText(n.transition.time)},
    };
}

AlarmHook::AlarmHook(std::string program, ChildLauncher& launcher, Clock& clock, Log log)
    : program_(std::move(program)), launcher_(launcher), clock_(clock), log_(std::move(log)) {}

void AlarmHook::notify(const AlarmNotice& notice) {
    Lane& lane = lanes_[notice.recorder];
    if (lane.waiting.size() >= kMaxWaitingAlarms) {
        log_("the alarm program is not run for " + describe(notice) + ": " +
             std::to_string(kMaxWaitingAlarms) + " alarms already wait for it");
        return;
    }
    lane.waiting.push_back(notice);
    if (!lane.child) {
        startNext(lane);
    }
}

void AlarmHook::startNext(Lane& lane) {
    while (!lane.child && !lane.waiting.empty()) {
        const AlarmNotice notice = lane.waiting.front();
        lane.waiting.pop_front();
        std::string error;
        lane.child = launcher_.start(program_, alarmEnvironment(notice), error);
        if (!lane.child) {
            log_("the alarm program for " + describe(notice) + ": " + error);
            continue;
        }
        lane.startedMs = clock_.steadyMs();
        lane.what = describe(notice);
    }
}

void AlarmHook::reap(Lane& lane) {
    if (!lane.child) {
        return;
    }
    std::optional<ChildEnd> end = lane.child->poll();
    if (!end && clock_.steadyMs() - lane.startedMs >= kAlarmProgramLimitMs) {
        lane.child->kill();
        lane.child->wait();
        log_("the alarm program for " + lane.what + " was still running after " +
             std::to_string(kAlarmProgramLimitMs / 1000) + " seconds and was stopped");
        lane.child.reset();
        return;
    }
    if (!end) {
        return;
    }
    if (!end->success()) {
        log_("the alarm program " + program_ + " for " + lane.what + " " + describeChildEnd(*end));
    }
    lane.child.reset();
}

void AlarmHook::poll() {
    for (auto& [recorder, lane] : lanes_) {
        reap(lane);
        startNext(lane);
    }
}

void AlarmHook::finish() {
    for (auto& [recorder, lane] : lanes_) {
        for (const AlarmNotice& notice : lane.waiting) {
            log_("the alarm program is not run for " + describe(notice) + ": watching ended");
        }
        lane.waiting.clear();
        if (lane.child) {
            const int64_t leftMs =
                std::max<int64_t>(0, kAlarmProgramLimitMs - (clock_.steadyMs() - lane.startedMs));
            log_("waiting for the alarm program for " + lane.what + " to end (at most " +
                 std::to_string((leftMs + kMsPerSecond - 1) / kMsPerSecond) + " seconds)");
        }
        while (lane.child) {
            reap(lane);
            if (lane.child) {
                clock_.sleepMs(kFinishPollMs);
            }
        }
    }
}

bool AlarmHook::running(int32_t recorder) const {
    const auto it = lanes_.find(recorder);
    return it != lanes_.end() && it->second.child != nullptr;
}

AlarmWatch::AlarmWatch(DataStore& store, AlarmHook& hook, Say problem, Say announce)
    : store_(store), hook_(hook), problem_(std::move(problem)), announce_(std::move(announce)) {}

void AlarmWatch::check() {
    hook_.poll();
    // Number and count under one lock: the set may change recorder at any moment.
    // Plain variables rather than a structured binding: the lambda below captures the number.
    const auto connected = store_.withConnected([](const RecorderSettings& s, const RecordList& r) {
        return std::pair<int32_t, std::size_t>{s.recorderNumber, r.size()};
    });
    const int32_t number = connected.first;
    const std::size_t count = connected.second;
    const auto known = followed_.find(number);
    // An empty set is also what the store holds before any recorder is known: nothing to follow.
    const bool firstSight = known == followed_.end();
    if (number < 0 || (firstSight && count == 0) || (!firstSight && known->second.seen == count)) {
        return;
    }
    const IniSnapshot ini = store_.ini().snapshot();
    StoredAlarmLimits stored = readAlarmLimits(ini, number);
    for (const std::string& p : stored.problems) {
        sayOnce(p);
    }
    Followed& f = followed_[number];
    if (firstSight) {
        std::string damaged;
        f.announced = loadAnnounced(announcedAlarmsPath(store_.dataFolder(), number), damaged);
        if (!damaged.empty()) {
            sayOnce(damaged);
        }
    }
    bool fahrenheit = false;
    std::vector<AlarmTransition> transitions;
    store_.withConnected([&](const RecorderSettings& s, const RecordList& records) {
        if (s.recorderNumber != number) {
            return; // changed recorder meanwhile: the next check sees it
        }
        fahrenheit = s.tempUnit != 0;
        if (records.size() < f.seen) { // cleared: what comes now is new
            f = Followed{0, AlarmTracker(stored.limits, fahrenheit), f.announced};
        }
        transitions = f.tracker.setLimits(stored.limits, fahrenheit);
        for (std::size_t i = f.seen; i < records.size(); ++i) {
            auto said = f.tracker.feed(records[i]);
            transitions.insert(transitions.end(), said.begin(), said.end());
        }
        if (firstSight) {
            transitions = firstSightTransitions(f, transitions);
        }
        f.seen = records.size();
    });
    const std::string identity = identityText(ini, number);
    for (const AlarmTransition& t : transitions) {
        const AlarmNotice notice{number, identity, fahrenheit, t};
        announce_("alarm: " + describe(notice) + ", " + transitionValueText(t) + " " +
                  unitOf(notice));
        hook_.notify(notice);
    }
    remember(number, f, transitions);
}

std::vector<AlarmTransition>
AlarmWatch::firstSightTransitions(const Followed& f, const std::vector<AlarmTransition>& history) {
    using State = AlarmTransition::State;
    const std::vector<AlarmTransition> going = f.tracker.inProgress();
    std::vector<AlarmTransition> out;
    for (const LimitKind kind : kLimitKinds) {
        const auto& begun = f.announced.begun[static_cast<std::size_t>(kind)];
        const auto same = [&](const AlarmTransition& t) {
            return t.limit == kind && t.time.linearSeconds() == *begun;
        };
        if (!begun || std::any_of(going.begin(), going.end(), same)) {
            continue;
        }
        // Its end as the history has it; the newest record when the history no longer shows it
        // (limits changed, records re-timed).
        const auto end = std::find_if(history.begin(), history.end(), [&](const auto& t) {
            return t.limit == kind && t.state == State::end && t.time.linearSeconds() >= *begun;
        });
        if (end != history.end()) {
            out.push_back(*end);
        } else {
            out.push_back(f.tracker.endAtNewest(kind).value_or(
                AlarmTransition{State::end, kind, 0.0, DateTime{}}));
        }
    }
    out.insert(out.end(), going.begin(), going.end());
    return out;
}

void AlarmWatch::remember(int32_t number, Followed& f,
                          const std::vector<AlarmTransition>& transitions) {
    const AnnouncedAlarms before = f.announced;
    for (const AlarmTransition& t : transitions) {
        std::optional<int64_t>& begun = begunOf(f.announced, t.limit);
        if (t.state == AlarmTransition::State::begin) {
            begun = t.time.linearSeconds();
        } else {
            begun.reset();
        }
    }
    std::string error;
    if (f.announced != before &&
        !saveAnnounced(announcedAlarmsPath(store_.dataFolder(), number), f.announced, error)) {
        sayOnce("the alarms announced cannot be kept for the next watch: " + error);
    }
}

void AlarmWatch::sayOnce(const std::string& problem) {
    if (said_.isNew(problem)) {
        problem_(problem);
    }
}

} // namespace veldrin::cli
