#include "report/statistics_tables.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"

#include <algorithm>

namespace veldrin {
namespace {

constexpr int kTemperatureReadingPlaces = 1;
constexpr int kHumidityReadingPlaces = 0;
constexpr int kComputedPlaces = 2;
constexpr int kLimitPlaces = 2; // limits are stored to 0.01 °C

QString temperatureNumber(double value, Figure figure) {
    return qdecimal(value, figure == Figure::reading ? kTemperatureReadingPlaces : kComputedPlaces);
}

// A limit as entered: up to two places, without trailing zeros.
QString limitNumber(double value) {
    QString text = qdecimal(value, kLimitPlaces);
    const QChar sign = qdecimalSign();
    while (text.contains(sign) && text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    if (text.endsWith(sign)) {
        text.chop(1);
    }
    return text;
}

QString withUnit(const QString& number, LimitKind kind, bool fahrenheit) {
    if (!isTemperatureLimit(kind)) {
        return number + QStringLiteral(" %");
    }
    return number + (fahrenheit ? QStringLiteral(" \u00B0F") : QStringLiteral(" \u00B0C"));
}

bool isTemperature(LimitKind kind) {
    return kind == LimitKind::tempHigh || kind == LimitKind::tempLow;
}

QString readingOf(LimitKind kind, double displayValue, bool fahrenheit) {
    return isTemperature(kind) ? temperatureWithUnit(displayValue, fahrenheit, Figure::reading)
                               : humidityWithUnit(displayValue, Figure::reading);
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

QStringList cutNotes(const WindowStatistics& stats) {
    QStringList notes;
    if (anyCut(stats, true)) {
        notes << qlang(text::kBeganBeforePeriod);
    }
    if (anyCut(stats, false)) {
        notes << qlang(text::kGoesOnAfterPeriod);
    }
    return notes;
}

QString statisticsTime(const DateTime& time) {
    return QString::fromStdString(calendarText(time));
}

QString temperatureWithUnit(double value, bool fahrenheit, Figure figure) {
    return withUnit(temperatureNumber(value, figure), LimitKind::tempHigh, fahrenheit);
}

QString humidityWithUnit(double value, Figure figure) {
    return withUnit(
        qdecimal(value, figure == Figure::reading ? kHumidityReadingPlaces : kComputedPlaces),
        LimitKind::humHigh, false);
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
    constexpr Figure reading = Figure::reading;
    constexpr Figure computed = Figure::computed;
    table.rows.append(QStringList{qlang(text::kMinimum),
                                  withTime(temperatureWithUnit(t.min, f, reading), t.minTime),
                                  withTime(humidityWithUnit(h.min, reading), h.minTime)});
    table.rows.append(QStringList{qlang(text::kMaximum),
                                  withTime(temperatureWithUnit(t.max, f, reading), t.maxTime),
                                  withTime(humidityWithUnit(h.max, reading), h.maxTime)});
    table.rows.append(QStringList{qlang(text::kMean), temperatureWithUnit(t.mean, f, computed),
                                  humidityWithUnit(h.mean, computed)});
    table.rows.append(QStringList{qlang(text::kStandardDeviation),
                                  temperatureWithUnit(t.stddev, f, computed),
                                  humidityWithUnit(h.stddev, computed)});
    if (stats.meanKineticTemperature) {
        table.rows.append(QStringList{
            qlang(text::kMeanKinetic),
            temperatureWithUnit(*stats.meanKineticTemperature, f, computed), QString()});
    }
    return table;
}

TextTable limitsTable(const WindowStatistics& stats, const AlarmLimits& limits) {
    TextTable table;
    table.headings = {qlang(text::kLimit),
                      QString(),
                      qlang(text::kEvents),
                      qlang(text::kTimeInEvents),
                      qlang(text::kTimeBeyondColumn),
                      qlang(text::kFirstEvent)};
    for (const LimitKind kind : kLimitKinds) {
        const std::optional<double>& limit = limits[kind];
        const LimitSummary& summary = stats.perLimit[static_cast<std::size_t>(kind)];
        const QString value =
            limit ? withUnit(limitNumber(isTemperature(kind)
                                             ? displayTemperature(*limit, stats.fahrenheit)
                                             : *limit),
                             kind, stats.fahrenheit)
                  : qlang(text::kOff);
        table.rows.append(
            QStringList{limitTitle(kind), value, QString::number(summary.events),
                        QString::number(summary.minutes), QString::number(summary.minutesBeyond),
                        summary.firstStart ? statisticsTime(*summary.firstStart) : QString()});
    }
    return table;
}

TextTable eventsTable(const WindowStatistics& stats) {
    TextTable table;
    table.headings = {qlang(text::kLimit), qlang(text::kStart), qlang(text::kEnd),
                      qlang(text::kDuration), qlang(text::kExtreme)};
    for (const AlarmEvent& event : stats.events) {
        table.rows.append(
            QStringList{limitTitle(event.limit),
                        (event.openStart ? cutMark() + QStringLiteral(" ") : QString()) +
                            statisticsTime(event.start),
                        statisticsTime(event.end) +
                            (event.openEnd ? QStringLiteral(" ") + cutMark() : QString()),
                        QString::number(event.minutes),
                        readingOf(event.limit, event.extreme, stats.fahrenheit)});
    }
    return table;
}

} // namespace veldrin
