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

} // namespace
} // namespace veldrin
