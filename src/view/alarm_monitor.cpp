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
    if (number == followed_) {
        retrack(limitsOf(number));
    }
}

// The records followed so far are followed again under the new limits, as history: a run beyond a
// limit begins at its first reading beyond the limit in force, not at the change, so raising a
// limit during an event neither ends it nor lets it begin a second time once the delay has run
// again. An event that is going on under the new limits and was not before is said now.
void AlarmMonitor::retrack(const AlarmLimits& limits) {
    followedLimits_ = limits;
    if (!tracker_) {
        return;
    }
    auto fresh = std::make_unique<AlarmTracker>(limits, followedFahrenheit_);
    store_.withConnected([&](const RecorderSettings&, const RecordList& records) {
        const std::size_t followed = std::min(seen_, records.size());
        for (std::size_t i = 0; i < followed; ++i) {
            fresh->feed(records[i]);
        }
    });
    std::vector<AlarmTransition> begun;
    for (const AlarmTransition& t : fresh->inProgress()) {
        if (!tracker_->active(t.limit)) {
            begun.push_back(t);
        }
    }
    tracker_ = std::move(fresh);
    for (const AlarmTransition& t : begun) {
        notifyBegin(t, followed_, followedFahrenheit_);
    }
}

QString AlarmMonitor::follow(bool attached) {
    const int32_t number = store_.currentRecorder();
    if (number < 0) {
        return QString();
    }
    bool history = false;
    if (number != followed_) {
        followed_ = number;
        followedLimits_ = limitsOf(number);
        tracker_.reset();
        seen_ = 0;
        history = true;
    }
    // New records: main.ini is read again, as veldrin-cli may have changed the limits meanwhile.
    if (!history && store_.connectedCount() != seen_) {
        const AlarmLimits now = limitsOf(number);
        if (!(now == followedLimits_)) {
            retrack(now);
        }
    }
    std::vector<AlarmTransition> begun;
    std::optional<HistoryRecord> newest;
    store_.withConnected([&](const RecorderSettings& settings, const RecordList& records) {
        const bool fahrenheit = settings.tempUnit != 0;
        // A cleared history, another unit: the records are followed again from the start, as
        // history.
        if (!tracker_ || records.size() < seen_ || fahrenheit != followedFahrenheit_) {
            followedFahrenheit_ = fahrenheit;
            tracker_ = std::make_unique<AlarmTracker>(followedLimits_, fahrenheit);
            history = history || seen_ == 0 || records.size() < seen_;
            seen_ = 0;
        }
        for (std::size_t i = seen_; i < records.size(); ++i) {
            for (const AlarmTransition& t : tracker_->feed(records[i])) {
                if (!history && t.state == AlarmTransition::State::begin) {
                    begun.push_back(t);
                }
            }
        }
        seen_ = records.size();
        if (!records.empty()) {
            newest = records.back();
        }
    });
    for (const AlarmTransition& t : begun) {
        notifyBegin(t, number, followedFahrenheit_);
    }
    beyond_.clear();
    if (attached && newest) {
        beyond_ = limitsBeyond(*newest, followedLimits_);
    }
    return statusText();
}

QString AlarmMonitor::statusText() const {
    // Only while the recorder it is about is the one displayed.
    if (beyond_.empty() || followed_ != displayedNumber_) {
        return QString();
    }
    QString status = qlang(text::kRecorderNumber) + QLatin1Char(' ') + QString::number(followed_) +
                     QStringLiteral("  ") + qlang(text::kAlarmStatus);
    for (std::size_t i = 0; i < beyond_.size(); ++i) {
        status += (i == 0 ? QStringLiteral(" ") : QStringLiteral(", ")) + limitTitle(beyond_[i]);
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
