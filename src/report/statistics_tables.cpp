#include "report/statistics_tables.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"

#include <algorithm>

namespace veldrin {
namespace {

constexpr int kDecimals = 2;

QString number(double value) {
    return QString::number(value, 'f', kDecimals); // locale-free
}

bool isTemperature(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::tempLow;
}

QString valueOf(LimitKind kind, double displayValue, bool fahrenheit) {
    return isTemperature(kind) ? temperatureWithUnit(displayValue, fahrenheit)
                               : humidityWithUnit(displayValue);
}

QString withTime(const QString& value, const DateTime& time) {
    return value + QStringLiteral("  ") + statisticsTime(time);
}

} // namespace

bool anyCut(const WindowStatistics& stats, bool atStart) {
    return std::any_of(stats.events.begin(), stats.events.end(), [atStart](const AlarmEvent& e) {
        return atStart ? e.openStart : e.openEnd;
    });
}

QString statisticsTime(const DateTime& time) {
    return QString::fromStdString(calendarText(time));
}

QString temperatureWithUnit(double value, bool fahrenheit) {
    return number(value) + (fahrenheit ? QStringLiteral(" \u00B0F") : QStringLiteral(" \u00B0C"));
}

QString humidityWithUnit(double value) {
    return number(value) + QStringLiteral(" %");
}

QString limitTitle(LimitKind kind) {
    return qlang(text::kLimitNames[static_cast<std::size_t>(kind)]);
}

TextTable statisticsTable(const WindowStatistics& stats) {
    TextTable table;
    table.headings = {QString(), qlang(text::kTemperature), qlang(text::kHumidity)};
    table.rows.append(
        QStringList{qlang(text::kRecords), QString::number(stats.records), QString()});
    if (!stats.temperature || !stats.humidity) {
        return table;
    }
    const ValueStatistics& t = *stats.temperature;
    const ValueStatistics& h = *stats.humidity;
    const bool f = stats.fahrenheit;
    table.rows.append(QStringList{qlang(text::kMinimum),
                                  withTime(temperatureWithUnit(t.min, f), t.minTime),
                                  withTime(humidityWithUnit(h.min), h.minTime)});
    table.rows.append(QStringList{qlang(text::kMaximum),
                                  withTime(temperatureWithUnit(t.max, f), t.maxTime),
                                  withTime(humidityWithUnit(h.max), h.maxTime)});
    table.rows.append(
        QStringList{qlang(text::kMean), temperatureWithUnit(t.mean, f), humidityWithUnit(h.mean)});
    table.rows.append(QStringList{qlang(text::kStandardDeviation), temperatureWithUnit(t.stddev, f),
                                  humidityWithUnit(h.stddev)});
    if (stats.meanKineticTemperature) {
        table.rows.append(QStringList{qlang(text::kMeanKinetic),
                                      temperatureWithUnit(*stats.meanKineticTemperature, f),
                                      QString()});
    }
    return table;
}

TextTable limitsTable(const WindowStatistics& stats, const AlarmLimits& limits) {
    TextTable table;
    table.headings = {qlang(text::kLimit), QString(), qlang(text::kEvents),
                      qlang(text::kTimeOutOfRange), qlang(text::kFirstEvent)};
    for (const LimitKind kind : kLimitKinds) {
        const std::optional<double>& limit = limits[kind];
        const LimitSummary& summary = stats.perLimit[static_cast<std::size_t>(kind)];
        const QString value =
            limit ? valueOf(kind,
                            isTemperature(kind) ? displayTemperature(*limit, stats.fahrenheit)
                                                : *limit,
                            stats.fahrenheit)
                  : qlang(text::kOff);
        table.rows.append(
            QStringList{limitTitle(kind), value, QString::number(summary.events),
                        QString::number(summary.minutes),
                        summary.firstStart ? statisticsTime(*summary.firstStart) : QString()});
    }
    return table;
}

TextTable eventsTable(const WindowStatistics& stats) {
    TextTable table;
    table.headings = {qlang(text::kLimit), qlang(text::kStart), qlang(text::kEnd),
                      qlang(text::kDuration), qlang(text::kExtreme)};
    for (const AlarmEvent& event : stats.events) {
        table.rows.append(QStringList{
            limitTitle(event.limit),
            (event.openStart ? cutMark() + QStringLiteral(" ") : QString()) +
                statisticsTime(event.start),
            statisticsTime(event.end) +
                (event.openEnd ? QStringLiteral(" ") + cutMark() : QString()),
            QString::number(event.minutes), valueOf(event.limit, event.extreme, stats.fahrenheit)});
    }
    return table;
}

} // namespace veldrin
