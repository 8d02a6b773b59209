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

// Record indices of the rows that carry a remark; -1 when none.
struct RecordMarks {
    std::ptrdiff_t highestTemperature = -1;
    std::ptrdiff_t lowestTemperature = -1;
    std::ptrdiff_t highestHumidity = -1;
    std::ptrdiff_t lowestHumidity = -1;
    std::ptrdiff_t newest = -1;
};

// The records the window holds (core/record_window.h), found in one pass: their indices, oldest
// first, and the extremes over them (core/latest_extreme.h: on equal values the later record) and
// the newest record when it is listed.
struct RecordSelection {
    std::vector<std::size_t> indices;
    RecordMarks marks;
};
RecordSelection selectRecordRows(const RecordList& records, const DateTime& start,
                                 const DateTime& end);

// The remark texts in the current language, fetched once for a whole list.
struct RecordRemarkTexts {
    RecordRemarkTexts();
    std::u16string highestTemperature;
    std::u16string lowestTemperature;
    std::u16string highestHumidity;
    std::u16string lowestHumidity;
    std::u16string newest;
    // Put between two texts of one row: none in the export, which keeps the classic form.
    std::u16string separator;
};

// The remark of the record with this index: the texts of every mark it carries, in the order
// highest temperature, lowest temperature, highest humidity, lowest humidity, newest.
std::u16string recordRemark(std::size_t index, const RecordMarks& marks,
                            const RecordRemarkTexts& texts);

// One cell of columns 0..4 of a record's row; empty for another column.
std::u16string recordListCell(const HistoryRecord& record, int column, bool fahrenheit);

// The headings in the current language; column 1 names the unit of the settings.
RecordRow recordListHeadings(const RecorderSettings& settings);

// Visits, oldest first, the rows of the records the window [start, end] holds
// (core/record_window.h).
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
