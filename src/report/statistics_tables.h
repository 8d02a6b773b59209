#pragma once
// The statistics of a time window, its limits and its alarm events as tables of plain texts in
// the current language: the statistics dialog and the printed report show the same tables.

#include "analysis/statistics.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace veldrin {

struct TextTable {
    QStringList headings;
    QList<QStringList> rows;
};

// "YYYY-MM-DD HH:MM:SS", local time as stored; empty for a time that is not valid.
QString statisticsTime(const DateTime& time);
// What a number is decides its places: a reading as the recorder resolves it (tenths of a degree,
// whole percent); a figure computed from many readings (mean, deviation, MKT) two places.
enum class Figure { reading, computed };
// A temperature in the display unit with its unit ("21,4 °C" in German), a humidity with "%", in
// the language's decimal sign.
QString temperatureWithUnit(double value, bool fahrenheit, Figure figure);
QString humidityWithUnit(double value, Figure figure);
// The language's name of a limit ("Upper temperature limit").
QString limitTitle(LimitKind kind);

// Rows: records, minimum, maximum, mean, standard deviation, mean kinetic temperature; columns:
// what, temperature, humidity. Empty rows when the window holds no records.
TextTable statisticsTable(const WindowStatistics& stats);
// One row per limit: name, value in the display unit (or "off"), events, minutes in events,
// minutes beyond the limit in all (every record beyond it, delay or not), first event's start.
TextTable limitsTable(const WindowStatistics& stats, const AlarmLimits& limits);
// One row per event: limit, start, end, duration in minutes, extreme value. An event cut by the
// window's edge has cutMark() before its start or after its end; its figures are of the part
// inside.
TextTable eventsTable(const WindowStatistics& stats);
inline QString cutMark() {
    return QStringLiteral("\u2026");
}
// Whether an event of the window began before it (`atStart`) or goes on after it.
bool anyCut(const WindowStatistics& stats, bool atStart);
// What the mark means, under the events: a note for each edge of the window that cuts one.
QStringList cutNotes(const WindowStatistics& stats);

} // namespace veldrin
