#pragma once
// The record list as the main view shows it: one row per record inside a time window, six columns
// of text, the extremes and the newest record marked in the last column. Pure functions of the
// displayed settings and records, so that the list display and the CSV export show the same.

#include "core/date_time.h"
#include "core/recorder_types.h"
#include "store/data_file.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace veldrin {

constexpr int kRecordListColumns = 6;

// Column 0 record time, 1 temperature, 2 humidity, 3 interval, 4 download time, 5 remarks.
using RecordRow = std::array<std::u16string, kRecordListColumns>;

// The headings in the current language; column 1 names the unit of the settings.
RecordRow recordListHeadings(const RecorderSettings& settings);

// Visits, oldest first, the rows of the records whose time lies in [start, end] (both inclusive).
// The window is compared to the second. Records without a valid time are not listed.
void forEachRecordRow(const RecorderSettings& settings, const RecordList& records,
                      const DateTime& start, const DateTime& end,
                      const std::function<void(const RecordRow&)>& visit);

std::vector<RecordRow> recordListRows(const RecorderSettings& settings, const RecordList& records,
                                      const DateTime& start, const DateTime& end);

// "%d-%d-%d %d:%02d" (year, month, day, hour, two-digit minute); empty for a time that is not
// valid.
std::u16string recordListTime(const DateTime& time);

// "%4.1f" of the stored Celsius value, or of value x 1.8 + 32 in Fahrenheit. Always with a point,
// whatever the process locale.
std::u16string recordListTemperature(double celsius, bool fahrenheit);

} // namespace veldrin
