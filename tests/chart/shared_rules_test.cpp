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
#include <tuple>
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
    HistoryRecord noTime = record(start, 60);
    noTime.timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
    struct Case {
        const char* what;
        DateTime from, to;
        RecordList records;
        std::set<std::size_t> held;
    };
    // clang-format off
    const Case cases[] = {
        {"the start second, the one before", start, end,
         {record(start, -1), record(start, 0), record(start, 600)}, {1, 2}},
        {"within half a second of the start", start, end,
         {record(start, -0.6), record(start, -0.4), record(start, 600)}, {1, 2}},
        {"the end minute's last second, the next minute", start, end,
         {record(start, 600), record(end, 0), record(end, 0.4), record(end, 1)}, {0, 1, 2}},
        {"a window ending before it starts", end, start, {record(start, 600)}, {}},
        {"a window of one second", start, start, {record(start, -1), record(start, 0.2)}, {1}},
        {"temperatures that are no measurement", start, end,
         {record(start, 60, kNaN), record(start, 120, kInf), record(start, 180, 1e308),
          record(start, 240, -kInf), record(start, 300)}, {4}},
        {"no valid time", start, end, {noTime, record(start, 120)}, {1}},
        {"before 1899, counted backwards", early, earlyEnd,
         {record(early, -0.6), record(early, -0.4), record(early, 3600), record(earlyEnd, 0.4),
          record(earlyEnd, 0.6)}, {1, 2, 3}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::size_t> listed = selectRecordRows(c.records, c.from, c.to).indices;
        EXPECT_EQ(std::set<std::size_t>(listed.begin(), listed.end()), c.held) << "list";
        EXPECT_EQ(csvRows(c.records, c.from, c.to), c.held.size()) << "CSV";
        const WindowStatistics s = computeStatistics(c.records, c.from, c.to, true, AlarmLimits{});
        EXPECT_EQ(s.records, c.held.size()) << "statistics";
        if (!c.held.empty()) {
            EXPECT_EQ(std::pair(s.first, s.last), std::pair(c.records[*c.held.begin()].time(),
                                                            c.records[*c.held.rbegin()].time()));
        }
        EXPECT_EQ(chartRecords(c.records, c.from, c.to), c.held) << "chart";
    }
}

TEST(SharedRules, ChartListAndStatsNameTheLatestRecordOfATiedExtreme) {
    const DateTime start = DateTime::fromFields(2026, 3, 1, 8, 0, 0);
    // Each extreme is held three times, by records in different pixel columns and in one; the
    // latest holding a highest value is record 6, a lowest one record 7.
    const double temperatures[] = {20.0, 25.3, 18.0, 25.3, 18.0, 21.0, 25.3, 18.0, 22.0};
    const int humidities[] = {50, 70, 30, 30, 70, 50, 70, 30, 40};
    RecordList records;
    for (std::size_t i = 0; i < std::size(temperatures); ++i) {
        const double second = i < 6 ? 1200.0 * static_cast<double>(i) : 6000.0 + i;
        records.push_back(record(start, second, temperatures[i]));
        records.back().humidity = static_cast<int8_t>(humidities[i]);
    }
    const DateTime to = start.plusSeconds(7200);
    const PlotData chart = buildPlotData(records, chartInput(start, to));
    ASSERT_TRUE(chart.highestT && chart.lowestT && chart.highestH && chart.lowestH);
    EXPECT_EQ(std::tuple(chart.highestT->record, chart.highestH->record, chart.lowestT->record,
                         chart.lowestH->record),
              std::tuple(6, 6, 7, 7));
    const RecordMarks marks = selectRecordRows(records, start, to).marks;
    EXPECT_EQ(std::tuple(marks.highestTemperature, marks.highestHumidity, marks.lowestTemperature,
                         marks.lowestHumidity),
              std::tuple(6, 6, 7, 7));
    const std::string json = cli::statisticsJson(
        0, computeStatistics(records, start, to, false, AlarmLimits{}), AlarmLimits{});
    const auto named = [&](const char* key, std::size_t i) {
        const std::string text =
            "\"" + std::string(key) + "\": \"" + calendarText(records[i].time(), 'T') + "\"";
        std::size_t count = 0;
        for (std::size_t at = json.find(text); at != std::string::npos;
             at = json.find(text, at + 1)) {
            ++count;
        }
        return count;
    };
    EXPECT_EQ(named("max_time", 6), 2u) << json; // temperature and humidity
    EXPECT_EQ(named("min_time", 7), 2u) << json;
}

} // namespace
} // namespace veldrin::chart
