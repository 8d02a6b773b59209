// The rules every page shares: which records a window holds (the list, the CSV file, the
// statistics and the chart take the same ones at the window's edges and over damaged values), and
// which record an extreme names when several hold it (the chart's boxes, the list's remarks and
// `stats --json` name the same one).

#include "analysis/statistics.h"
#include "chart/chart_renderer.h"
#include "cli/alarm_text.h"
#include "export/csv_export.h"
#include "export/record_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

namespace veldrin::chart {
namespace {

constexpr double kSecond = 1.0 / 86400;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

HistoryRecord record(const DateTime& time, double offsetSeconds, double temperature = 20.0) {
    HistoryRecord r;
    r.setTime(DateTime::fromLinear(time.linear() + offsetSeconds * kSecond));
    r.temperature = temperature;
    r.humidity = 50;
    r.interval = 1;
    return r;
}

ChartInput chartInput(const DateTime& from, const DateTime& to) {
    ChartInput input;
    input.start = from.value;
    input.end = to.value;
    input.size = QSize(700, 400);
    input.font = chartFont(96);
    return input;
}

// The records the chart shows: those its runs cover (the records are in time order, so nothing
// outside the window lies between two shown ones), or, for a window of no length, its extremes.
std::set<std::size_t> chartRecords(const RecordList& records, const DateTime& from,
                                   const DateTime& to) {
    const PlotData d = buildPlotData(records, chartInput(from, to));
    std::set<std::size_t> shown;
    for (const PlotData::Run& run : d.runs) {
        for (std::size_t i = run.firstRecord; i <= run.lastRecord; ++i) {
            shown.insert(i);
        }
    }
    for (const auto& p : {d.highestT, d.lowestT, d.highestH, d.lowestH}) {
        if (p && d.runs.empty()) {
            shown.insert(p->record);
        }
    }
    return shown;
}

std::size_t csvRows(const RecordList& records, const DateTime& from, const DateTime& to) {
    std::string text;
    EXPECT_TRUE(writeRecordCsv(RecorderSettings{}, records, from, to, [&](std::string_view piece) {
        text += piece;
        return true;
    }));
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 1;
}

TEST(SharedRules, EveryPageTakesTheSameRecordsAtTheWindowsEdges) {
    const DateTime start = DateTime::fromFields(2026, 3, 1, 8, 0, 0);
    const DateTime end = DateTime::fromFields(2026, 3, 1, 9, 0, 59);     // "09:00" to the minute
    const DateTime early = DateTime::fromFields(1899, 12, 29, 23, 0, 0); // counted backwards
    const DateTime earlyEnd = DateTime::fromFields(1899, 12, 30, 1, 0, 0);
    struct Case {
        const char* what;
        DateTime from, to;
        RecordList records;
        std::vector<std::size_t> held;
    };
    const Case cases[] = {
        {"on the start second, and the second before",
         start,
         end,
         {record(start, -1), record(start, 0), record(start, 600)},
         {1, 2}},
        {"within half a second of the start",
         start,
         end,
         {record(start, -0.6), record(start, -0.4), record(start, 600)},
         {1, 2}},
        {"on the end minute's last second, and the next minute",
         start,
         end,
         {record(start, 600), record(end, 0), record(end, 0.4), record(end, 1)},
         {0, 1, 2}},
        {"a window ending before it starts", end, start, {record(start, 600)}, {}},
        {"a window of one second", start, start, {record(start, -1), record(start, 0.2)}, {1}},
        {"temperatures that are no measurement",
         start,
         end,
         {record(start, 60, kNaN), record(start, 120, kInf), record(start, 180, 1e308),
          record(start, 240, -kInf), record(start, 300)},
         {4}},
        {"no valid time",
         start,
         end,
         [&] {
             RecordList r{record(start, 60), record(start, 120)};
             r[0].timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
             return r;
         }(),
         {1}},
        {"before 1899, where halves round the other way",
         early,
         earlyEnd,
         {record(early, -0.6), record(early, -0.4), record(early, 3600), record(earlyEnd, 0.4),
          record(earlyEnd, 0.6)},
         {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::set<std::size_t> expected(c.held.begin(), c.held.end());
        const std::vector<std::size_t> listed = selectRecordRows(c.records, c.from, c.to).indices;
        EXPECT_EQ(std::set<std::size_t>(listed.begin(), listed.end()), expected) << "list";
        EXPECT_EQ(csvRows(c.records, c.from, c.to), expected.size()) << "CSV";
        const WindowStatistics s = computeStatistics(c.records, c.from, c.to, true, AlarmLimits{});
        EXPECT_EQ(s.records, expected.size()) << "statistics";
        if (!expected.empty()) {
            EXPECT_EQ(s.first, c.records[*expected.begin()].time());
            EXPECT_EQ(s.last, c.records[*expected.rbegin()].time());
        }
        EXPECT_EQ(chartRecords(c.records, c.from, c.to), expected) << "chart";
    }
}

// The JSON value of a key of `stats --json` (the first occurrence after `after`).
std::string jsonText(const std::string& json, const std::string& after, const std::string& key) {
    const std::size_t from = json.find("\"" + key + "\": \"", json.find(after));
    const std::size_t begin = from + key.size() + 5;
    return json.substr(begin, json.find('"', begin) - begin);
}

TEST(SharedRules, ChartListAndStatsNameTheLatestRecordOfATiedExtreme) {
    const DateTime start = DateTime::fromFields(2026, 3, 1, 8, 0, 0);
    // Each extreme is held three times, by records in different columns and in one column.
    const double temperatures[] = {20.0, 25.3, 18.0, 25.3, 18.0, 21.0, 25.3, 18.0, 22.0};
    const int humidities[] = {50, 70, 30, 30, 70, 50, 70, 30, 40};
    RecordList records;
    for (std::size_t i = 0; i < std::size(temperatures); ++i) {
        HistoryRecord r =
            record(start, i < 6 ? 1200.0 * static_cast<double>(i) : 6000.0 + i, temperatures[i]);
        r.humidity = static_cast<int8_t>(humidities[i]);
        records.push_back(r);
    }
    const DateTime to = start.plusSeconds(7200);
    const PlotData chart = buildPlotData(records, chartInput(start, to));
    const RecordMarks marks = selectRecordRows(records, start, to).marks;
    const WindowStatistics stats = computeStatistics(records, start, to, false, AlarmLimits{});
    const std::string json = cli::statisticsJson(0, stats, AlarmLimits{});
    const auto jsonRecord = [&](const char* quantity, const char* key) {
        const std::string text = jsonText(json, std::string("\"") + quantity + "\"", key);
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (calendarText(records[i].time(), 'T') == text) {
                return static_cast<std::ptrdiff_t>(i);
            }
        }
        return std::ptrdiff_t{-1};
    };
    ASSERT_TRUE(chart.highestT && chart.lowestT && chart.highestH && chart.lowestH);
    struct Extreme {
        const char* what;
        std::size_t chart;
        std::ptrdiff_t list, json, expected;
    };
    for (const Extreme& e :
         {Extreme{"highest temperature", chart.highestT->record, marks.highestTemperature,
                  jsonRecord("temperature", "max_time"), 6},
          Extreme{"lowest temperature", chart.lowestT->record, marks.lowestTemperature,
                  jsonRecord("temperature", "min_time"), 7},
          Extreme{"highest humidity", chart.highestH->record, marks.highestHumidity,
                  jsonRecord("humidity", "max_time"), 6},
          Extreme{"lowest humidity", chart.lowestH->record, marks.lowestHumidity,
                  jsonRecord("humidity", "min_time"), 7}}) {
        SCOPED_TRACE(e.what);
        EXPECT_EQ(static_cast<std::ptrdiff_t>(e.chart), e.expected);
        EXPECT_EQ(e.list, e.expected);
        EXPECT_EQ(e.json, e.expected);
    }
}

} // namespace
} // namespace veldrin::chart
