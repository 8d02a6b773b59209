#include "report/statistics_tables.h"

#include "lang/language_table.h"

namespace veldrin {
namespace {

namespace text {
constexpr int kHumidity = 45;
constexpr int kMaximum = 50;
constexpr int kMinimum = 53;
constexpr int kTemperature = 89;
constexpr int kLimitNames[] = {174, 175, 176, 177}; // in LimitKind order
constexpr int kRecords = 184;
constexpr int kMean = 185;
constexpr int kStandardDeviation = 186;
constexpr int kMeanKinetic = 187;
constexpr int kLimit = 189;
constexpr int kStart = 190;
constexpr int kEnd = 191;
constexpr int kDuration = 192;
constexpr int kExtreme = 193;
constexpr int kOff = 203;
constexpr int kEvents = 188;
constexpr int kTimeOutOfRange = 206;
constexpr int kFirstEvent = 207;
} // namespace text

constexpr int kDecimals = 2;

QString lang(int index) {
    return QString::fromStdU16String(languageString(index));
}

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
    return lang(text::kLimitNames[static_cast<std::size_t>(kind)]);
}

TextTable statisticsTable(const WindowStatistics& stats) {
    TextTable table;
    table.headings = {QString(), lang(text::kTemperature), lang(text::kHumidity)};
    table.rows.append(QStringList{lang(text::kRecords), QString::number(stats.records), QString()});
    if (!stats.temperature || !stats.humidity) {
        return table;
    }
    const ValueStatistics& t = *stats.temperature;
    const ValueStatistics& h = *stats.humidity;
    const bool f = stats.fahrenheit;
    table.rows.append(QStringList{lang(text::kMinimum),
                                  withTime(temperatureWithUnit(t.min, f), t.minTime),
                                  withTime(humidityWithUnit(h.min), h.minTime)});
    table.rows.append(QStringList{lang(text::kMaximum),
                                  withTime(temperatureWithUnit(t.max, f), t.maxTime),
                                  withTime(humidityWithUnit(h.max), h.maxTime)});
    table.rows.append(
        QStringList{lang(text::kMean), temperatureWithUnit(t.mean, f), humidityWithUnit(h.mean)});
    table.rows.append(QStringList{lang(text::kStandardDeviation), temperatureWithUnit(t.stddev, f),
                                  humidityWithUnit(h.stddev)});
    if (stats.meanKineticTemperature) {
        table.rows.append(QStringList{lang(text::kMeanKinetic),
                                      temperatureWithUnit(*stats.meanKineticTemperature, f),
                                      QString()});
    }
    return table;
}

TextTable limitsTable(const WindowStatistics& stats, const AlarmLimits& limits) {
    TextTable table;
    table.headings = {lang(text::kLimit), QString(), lang(text::kEvents),
                      lang(text::kTimeOutOfRange), lang(text::kFirstEvent)};
    for (const LimitKind kind : kLimitKinds) {
        const std::optional<double>& limit = limits[kind];
        const LimitSummary& summary = stats.perLimit[static_cast<std::size_t>(kind)];
        const QString value =
            limit ? valueOf(kind,
                            isTemperature(kind) ? displayTemperature(*limit, stats.fahrenheit)
                                                : *limit,
                            stats.fahrenheit)
                  : lang(text::kOff);
        table.rows.append(
            QStringList{limitTitle(kind), value, QString::number(summary.events),
                        QString::number(summary.minutes),
                        summary.firstStart ? statisticsTime(*summary.firstStart) : QString()});
    }
    return table;
}

TextTable eventsTable(const WindowStatistics& stats) {
    TextTable table;
    table.headings = {lang(text::kLimit), lang(text::kStart), lang(text::kEnd),
                      lang(text::kDuration), lang(text::kExtreme)};
    for (const AlarmEvent& event : stats.events) {
        table.rows.append(QStringList{limitTitle(event.limit), statisticsTime(event.start),
                                      statisticsTime(event.end), QString::number(event.minutes),
                                      valueOf(event.limit, event.extreme, stats.fahrenheit)});
    }
    return table;
}

} // namespace veldrin
