#include "view/alarm_monitor.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "report/statistics_tables.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace veldrin {
namespace {

// The limits that this record lies beyond, each on its own.
std::vector<LimitKind> limitsBeyond(const HistoryRecord& record, const AlarmLimits& limits) {
    std::vector<LimitKind> beyond;
    for (const LimitKind kind : kLimitKinds) {
        AlarmLimits one;
        one[kind] = limits[kind];
        if (one[kind] && isOutOfRange(record, one)) {
            beyond.push_back(kind);
        }
    }
    return beyond;
}

bool isTemperature(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::tempLow;
}

} // namespace

AlarmMonitor::AlarmMonitor(DataStore& store, std::string mainIniPath, Notify notify,
                           Problem problem)
    : store_(store), mainIniPath_(std::move(mainIniPath)), notify_(std::move(notify)),
      problem_(std::move(problem)) {}

AlarmLimits AlarmMonitor::limitsOf(int32_t number) const {
    if (number < 0) {
        return {};
    }
    const StoredAlarmLimits read = readAlarmLimits(IniSnapshot::load(mainIniPath_), number);
    for (const std::string& message : read.problems) {
        if (problem_ && reported_.isNew(message)) {
            problem_(message);
        }
    }
    return read.limits;
}

void AlarmMonitor::setDisplayedRecorder(int32_t number) {
    displayedNumber_ = number;
    displayed_ = limitsOf(number);
}

void AlarmMonitor::limitsChanged(int32_t number) {
    if (number == displayedNumber_) {
        displayed_ = limitsOf(number);
    }
    for (auto& [store, follower] : followers_) {
        if (follower.number == number) {
            retrack(*store, follower, limitsOf(number));
        }
    }
}

// The records followed so far are followed again under the new limits, as history: a run beyond a
// limit begins at its first reading beyond the limit in force, not at the change, so raising a
// limit during an event neither ends it nor lets it begin a second time once the delay has run
// again. An event that is going on under the new limits and was not before is said now.
void AlarmMonitor::retrack(DataStore& store, Follower& follower, const AlarmLimits& limits) {
    follower.limits = limits;
    if (!follower.tracker) {
        return;
    }
    auto fresh = std::make_unique<AlarmTracker>(limits, follower.fahrenheit);
    store.withConnected([&](const RecorderSettings&, const RecordList& records) {
        const std::size_t followed = std::min(follower.seen, records.size());
        for (std::size_t i = 0; i < followed; ++i) {
            fresh->feed(records[i]);
        }
    });
    std::vector<AlarmTransition> begun;
    for (const AlarmTransition& t : fresh->inProgress()) {
        if (!follower.tracker->active(t.limit)) {
            begun.push_back(t);
        }
    }
    follower.tracker = std::move(fresh);
    for (const AlarmTransition& t : begun) {
        notifyBegin(t, follower.number, follower.fahrenheit);
    }
}

QString AlarmMonitor::follow(const std::vector<Followed>& followed) {
    // A recorder no longer attached (its chain retired) is followed afresh when it comes back.
    std::erase_if(followers_, [&followed](const auto& entry) {
        return std::none_of(followed.begin(), followed.end(),
                            [&entry](const Followed& f) { return f.store == entry.first; });
    });
    for (const Followed& f : followed) {
        if (f.store != nullptr) {
            followOne(*f.store, f.attached, followers_[f.store]);
        }
    }
    return statusText();
}

void AlarmMonitor::followOne(DataStore& store, bool attached, Follower& follower) {
    const int32_t number = store.currentRecorder();
    if (number < 0) {
        follower.beyond.clear();
        return;
    }
    bool history = false;
    if (number != follower.number) {
        follower.number = number;
        follower.limits = limitsOf(number);
        follower.tracker.reset();
        follower.seen = 0;
        history = true;
    }
    // New records: main.ini is read again, as veldrin-cli may have changed the limits meanwhile.
    if (!history && store.connectedCount() != follower.seen) {
        const AlarmLimits now = limitsOf(number);
        if (!(now == follower.limits)) {
            retrack(store, follower, now);
        }
    }
    std::vector<AlarmTransition> begun;
    std::optional<HistoryRecord> newest;
    store.withConnected([&](const RecorderSettings& settings, const RecordList& records) {
        const bool fahrenheit = settings.tempUnit != 0;
        // A cleared history, another unit: the records are followed again from the start, as
        // history.
        if (!follower.tracker || records.size() < follower.seen ||
            fahrenheit != follower.fahrenheit) {
            follower.fahrenheit = fahrenheit;
            follower.tracker = std::make_unique<AlarmTracker>(follower.limits, fahrenheit);
            history = history || follower.seen == 0 || records.size() < follower.seen;
            follower.seen = 0;
        }
        for (std::size_t i = follower.seen; i < records.size(); ++i) {
            for (const AlarmTransition& t : follower.tracker->feed(records[i])) {
                if (!history && t.state == AlarmTransition::State::begin) {
                    begun.push_back(t);
                }
            }
        }
        follower.seen = records.size();
        if (!records.empty()) {
            newest = records.back();
        }
    });
    for (const AlarmTransition& t : begun) {
        notifyBegin(t, number, follower.fahrenheit);
    }
    follower.beyond.clear();
    if (attached && newest) {
        follower.beyond = limitsBeyond(*newest, follower.limits);
    }
}

QString AlarmMonitor::statusText() const {
    // Only while the recorder it is about is the one displayed.
    const auto shown = std::find_if(followers_.begin(), followers_.end(), [this](const auto& e) {
        return e.second.number == displayedNumber_ && !e.second.beyond.empty();
    });
    if (displayedNumber_ < 0 || shown == followers_.end()) {
        return QString();
    }
    const std::vector<LimitKind>& beyond = shown->second.beyond;
    QString status = qlang(text::kRecorderNumber) + QLatin1Char(' ') +
                     QString::number(displayedNumber_) + QStringLiteral("  ") +
                     qlang(text::kAlarmStatus);
    for (std::size_t i = 0; i < beyond.size(); ++i) {
        status += (i == 0 ? QStringLiteral(" ") : QStringLiteral(", ")) + limitTitle(beyond[i]);
    }
    return status;
}

// The recorder's label ends in its own colon: a dash, not a second colon, comes after the number.
void AlarmMonitor::notifyBegin(const AlarmTransition& t, int32_t number, bool fahrenheit) {
    if (!notify_) {
        return;
    }
    const QString value = isTemperature(t.limit)
                              ? temperatureWithUnit(t.value, fahrenheit, Figure::reading)
                              : humidityWithUnit(t.value, Figure::reading);
    notify_(qlang(text::kAlarmEventBegan),
            qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(number) +
                QStringLiteral(" \u2013 ") + limitTitle(t.limit) + QStringLiteral(", ") + value +
                QStringLiteral(", ") + statisticsTime(t.time));
}

} // namespace veldrin
