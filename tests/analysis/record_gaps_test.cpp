#include "analysis/record_gaps.h"

#include <gtest/gtest.h>

#include <vector>

namespace veldrin {
namespace {

// Records at the given minutes after 2026-11-27 00:00, each with the interval given.
std::vector<HistoryRecord> recordsAt(const std::vector<int>& minutes, int32_t interval) {
    std::vector<HistoryRecord> records;
    for (const int minute : minutes) {
        HistoryRecord r;
        r.setTime(DateTime::fromFields(2026, 11, 27).plusMinutes(minute));
        r.interval = interval;
        r.temperature = 5.0;
        records.push_back(r);
    }
    return records;
}

// A gap is longer than twice the interval; the records expected count the steps across it.
TEST(RecordCoverage, GapsAndExpectedRecords) {
    const struct {
        std::vector<int> minutes;
        std::size_t expected;
        std::vector<int64_t> gaps; // their minutes
    } cases[] = {
        {{0, 10, 20, 30}, 4, {}},
        {{0, 10, 30}, 4, {}},                  // twice the interval is no gap yet
        {{0, 10, 31, 40}, 5, {21}},            // longer is
        {{0, 14, 28}, 3, {}},                  // less than one and a half intervals: one step
        {{0, 15, 30}, 5, {}},                  // one and a half: two
        {{0, 10, 10 + 3 * 1440}, 434, {4320}}, // three days without records
        {{}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::vector<HistoryRecord> records = recordsAt(c.minutes, 10);
        const RecordCoverage coverage = recordCoverage(records, DateTime::fromFields(2026, 11, 27),
                                                       DateTime::fromFields(2026, 12, 31));
        EXPECT_EQ(coverage.present, c.minutes.size());
        EXPECT_EQ(coverage.expected, c.expected);
        std::vector<int64_t> gaps;
        for (const RecordGap& gap : coverage.gaps) {
            gaps.push_back(gap.minutes);
        }
        EXPECT_EQ(gaps, c.gaps);
    }
}

// Every interval the records name is found, also one met again after another.
TEST(RecordCoverage, IntervalsFound) {
    std::vector<HistoryRecord> records = recordsAt({0, 10, 20, 25, 30, 40, 50}, 10);
    for (const std::size_t i : {3u, 4u}) {
        records[i].interval = 5;
    }
    records[6].interval = 0; // none stored: not an interval
    const RecordCoverage coverage = recordCoverage(records, DateTime::fromFields(2026, 11, 27),
                                                   DateTime::fromFields(2026, 12, 31));
    EXPECT_EQ(coverage.intervals, (std::set<int32_t>{5, 10}));
}

} // namespace
} // namespace veldrin
