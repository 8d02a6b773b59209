#include "export/record_list.h"

#include "lang/language_table.h"

#include <charconv>
#include <cmath>
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

// Beyond this many days from 1899 no record time is a calendar time; such values (from a damaged
// file) are kept out of the second arithmetic.
constexpr double kCalendarDays = 3.0e6;

std::u16string ascii(const char* text, std::size_t length) {
    return std::u16string(text, text + length);
}

std::u16string decimal(long value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ascii(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

bool secondsOf(const DateTime& time, int64_t& out) {
    if (!time.isValid()) {
        return false;
    }
    const double days = time.linear();
    if (!(std::fabs(days) < kCalendarDays)) {
        return false;
    }
    out = time.linearSeconds();
    return true;
}

// Rows (record indices) that carry a remark; -1 when none.
struct Marks {
    std::ptrdiff_t highestTemperature = -1;
    std::ptrdiff_t lowestTemperature = -1;
    std::ptrdiff_t highestHumidity = -1;
    std::ptrdiff_t lowestHumidity = -1;
    std::ptrdiff_t newest = -1;
};

class Window {
public:
    Window(const DateTime& start, const DateTime& end)
        : valid_(secondsOf(start, start_) && secondsOf(end, end_)) {}

    bool holds(const HistoryRecord& record) const {
        int64_t t = 0;
        return valid_ && secondsOf(record.time(), t) && start_ <= t && t <= end_;
    }

private:
    int64_t start_ = 0;
    int64_t end_ = 0;
    bool valid_;
};

// The extremes over the listed rows; on equal values the later row wins.
Marks findMarks(const RecordList& records, const Window& window) {
    Marks marks;
    double highestT = -10000.0;
    double lowestT = 10000.0;
    int highestH = -1000;
    int lowestH = 1000;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const HistoryRecord& r = records[i];
        if (!window.holds(r)) {
            continue;
        }
        const auto row = static_cast<std::ptrdiff_t>(i);
        if (r.temperature >= highestT) {
            highestT = r.temperature;
            marks.highestTemperature = row;
        }
        if (r.temperature <= lowestT) {
            lowestT = r.temperature;
            marks.lowestTemperature = row;
        }
        if (r.humidity >= highestH) {
            highestH = r.humidity;
            marks.highestHumidity = row;
        }
        if (r.humidity <= lowestH) {
            lowestH = r.humidity;
            marks.lowestHumidity = row;
        }
        if (i + 1 == records.size()) {
            marks.newest = row;
        }
    }
    return marks;
}

struct RemarkTexts {
    std::u16string highestTemperature = languageString(kHighestTemperature);
    std::u16string lowestTemperature = languageString(kLowestTemperature);
    std::u16string highestHumidity = languageString(kHighestHumidity);
    std::u16string lowestHumidity = languageString(kLowestHumidity);
    std::u16string newest = languageString(kNewest);
};

// The list reads a cell's current text (up to its read limit) before it appends to it.
void appendRemark(std::u16string& remark, const std::u16string& text) {
    if (remark.size() > kRemarkReadLimit) {
        remark.resize(kRemarkReadLimit);
    }
    remark += text;
}

// The remarks are given in this order: the highest temperature's is set, the others appended.
std::u16string remarkOf(std::ptrdiff_t row, const Marks& marks, const RemarkTexts& texts) {
    std::u16string remark;
    if (row == marks.highestTemperature) {
        remark = texts.highestTemperature;
    }
    if (row == marks.lowestTemperature) {
        appendRemark(remark, texts.lowestTemperature);
    }
    if (row == marks.highestHumidity) {
        appendRemark(remark, texts.highestHumidity);
    }
    if (row == marks.lowestHumidity) {
        appendRemark(remark, texts.lowestHumidity);
    }
    if (row == marks.newest) {
        appendRemark(remark, texts.newest);
    }
    return remark;
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
    const double value = fahrenheit ? celsius * 1.8 + 32.0 : celsius;
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
    const Window window(start, end);
    const Marks marks = findMarks(records, window);
    const RemarkTexts texts;
    const bool fahrenheit = settings.tempUnit != 0;
    RecordRow row;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const HistoryRecord& r = records[i];
        if (!window.holds(r)) {
            continue;
        }
        row[0] = recordListTime(r.time());
        row[1] = recordListTemperature(r.temperature, fahrenheit);
        row[2] = decimal(r.humidity);
        row[3] = decimal(r.interval);
        row[4] = recordListTime(r.downloadTime());
        row[5] = remarkOf(static_cast<std::ptrdiff_t>(i), marks, texts);
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
