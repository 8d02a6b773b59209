#include "export/record_list.h"

#include "core/latest_extreme.h"
#include "core/record_window.h"
#include "core/temperature_unit.h"
#include "lang/language_table.h"

#include <charconv>
#include <cstdio>

namespace veldrin {
namespace {

constexpr std::size_t kRemarkReadLimit = 255;

// Language strings of the list.
constexpr int kTimeHeading = 109;
constexpr int kTemperatureHeading = 89;
constexpr int kHumidityHeading = 45;
constexpr int kIntervalHeading = 48;
constexpr int kDownloadHeading = 66;
constexpr int kRemarksHeading = 70;
constexpr int kHighestTemperature = 123;
constexpr int kLowestTemperature = 55;
constexpr int kHighestHumidity = 51;
constexpr int kLowestHumidity = 54;
constexpr int kNewest = 25;

std::u16string ascii(const char* text, std::size_t length) {
    return std::u16string(text, text + length);
}

std::u16string decimal(long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ascii(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

// The list reads a cell's current text (up to its read limit) before it appends to it.
void appendRemark(std::u16string& remark, const std::u16string& text,
                  const std::u16string& separator) {
    if (remark.size() > kRemarkReadLimit) {
        remark.resize(kRemarkReadLimit);
    }
    if (!remark.empty()) {
        remark += separator;
    }
    remark += text;
}

} // namespace

std::u16string recordListTime(const DateTime& time) {
    CalendarFields f;
    if (!time.fields(f)) {
        return {};
    }
    char buffer[48];
    const int n = std::snprintf(buffer, sizeof buffer, "%d-%d-%d %d:%02d", f.year, f.month, f.day,
                                f.hour, f.minute);
    return n > 0 ? ascii(buffer, static_cast<std::size_t>(n)) : std::u16string();
}

std::u16string recordListTemperature(double celsius, bool fahrenheit) {
    const double value = displayTemperature(celsius, fahrenheit);
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    std::u16string text = ascii(buffer, static_cast<std::size_t>(result.ptr - buffer));
    constexpr std::size_t kWidth = 4;
    if (text.size() < kWidth) {
        text.insert(0, kWidth - text.size(), u' ');
    }
    return text;
}

RecordSelection selectRecordRows(const RecordList& records, const DateTime& start,
                                 const DateTime& end) {
    RecordSelection selection;
    // As many as the records held already; growing step by step would copy the indices again.
    selection.indices.reserve(records.size());
    const RecordWindow window(start, end);
    Highest<double> highestT;
    Lowest<double> lowestT;
    Highest<int> highestH;
    Lowest<int> lowestH;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const HistoryRecord& r = records[i];
        if (!window.holds(r)) {
            continue;
        }
        selection.indices.push_back(i);
        highestT.offer(r.temperature, i);
        lowestT.offer(r.temperature, i);
        highestH.offer(r.humidity, i);
        lowestH.offer(r.humidity, i);
    }
    const auto mark = [](const auto& extreme) {
        return extreme.any() ? static_cast<std::ptrdiff_t>(extreme.record) : std::ptrdiff_t{-1};
    };
    RecordMarks& marks = selection.marks;
    marks.highestTemperature = mark(highestT);
    marks.lowestTemperature = mark(lowestT);
    marks.highestHumidity = mark(highestH);
    marks.lowestHumidity = mark(lowestH);
    if (!selection.indices.empty() && selection.indices.back() + 1 == records.size()) {
        marks.newest = static_cast<std::ptrdiff_t>(records.size() - 1);
    }
    return selection;
}

RecordRemarkTexts::RecordRemarkTexts()
    : highestTemperature(languageString(kHighestTemperature)),
      lowestTemperature(languageString(kLowestTemperature)),
      highestHumidity(languageString(kHighestHumidity)),
      lowestHumidity(languageString(kLowestHumidity)), newest(languageString(kNewest)) {}

// The highest temperature's remark is set, the others appended.
std::u16string recordRemark(std::size_t index, const RecordMarks& marks,
                            const RecordRemarkTexts& texts) {
    const auto row = static_cast<std::ptrdiff_t>(index);
    std::u16string remark;
    if (row == marks.highestTemperature) {
        remark = texts.highestTemperature;
    }
    if (row == marks.lowestTemperature) {
        appendRemark(remark, texts.lowestTemperature, texts.separator);
    }
    if (row == marks.highestHumidity) {
        appendRemark(remark, texts.highestHumidity, texts.separator);
    }
    if (row == marks.lowestHumidity) {
        appendRemark(remark, texts.lowestHumidity, texts.separator);
    }
    if (row == marks.newest) {
        appendRemark(remark, texts.newest, texts.separator);
    }
    return remark;
}

std::u16string recordListCell(const HistoryRecord& record, int column, bool fahrenheit) {
    switch (column) {
    case 0:
        return recordListTime(record.time());
    case 1:
        return recordListTemperature(record.temperature, fahrenheit);
    case 2:
        return decimal(record.humidity);
    case 3:
        return decimal(record.interval);
    case 4:
        return recordListTime(record.downloadTime());
    default:
        return {};
    }
}

RecordRow recordListHeadings(const RecorderSettings& settings) {
    const bool fahrenheit = settings.tempUnit != 0;
    return RecordRow{
        languageString(kTimeHeading),
        languageString(kTemperatureHeading) + (fahrenheit ? u"(\u00B0F)" : u"(\u00B0C)"),
        languageString(kHumidityHeading),
        languageString(kIntervalHeading),
        languageString(kDownloadHeading),
        languageString(kRemarksHeading),
    };
}

void forEachRecordRow(const RecorderSettings& settings, const RecordList& records,
                      const DateTime& start, const DateTime& end,
                      const std::function<void(const RecordRow&)>& visit) {
    const RecordSelection selection = selectRecordRows(records, start, end);
    const RecordRemarkTexts texts;
    const bool fahrenheit = settings.tempUnit != 0;
    RecordRow row;
    for (const std::size_t i : selection.indices) {
        for (int column = 0; column < kRecordListColumns - 1; ++column) {
            row[static_cast<std::size_t>(column)] = recordListCell(records[i], column, fahrenheit);
        }
        row[kRecordListColumns - 1] = recordRemark(i, selection.marks, texts);
        visit(row);
    }
}

std::vector<RecordRow> recordListRows(const RecorderSettings& settings, const RecordList& records,
                                      const DateTime& start, const DateTime& end) {
    std::vector<RecordRow> rows;
    forEachRecordRow(settings, records, start, end,
                     [&rows](const RecordRow& row) { rows.push_back(row); });
    return rows;
}

} // namespace veldrin
