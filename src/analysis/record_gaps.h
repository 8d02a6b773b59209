#pragma once
// How completely the records of a window cover it: the records present against those the
// recording interval leads one to expect, the intervals found, and every gap, a stretch between
// consecutive records (list order) longer than twice the interval of the later one (the minutes
// the recorder meant to lie between them).

#include "core/date_time.h"
#include "core/recorder_types.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <vector>

namespace veldrin {

struct RecordGap {
    DateTime start; // the last record before the gap
    DateTime end;   // the first record after it
    int64_t minutes = 0;
};

struct RecordCoverage {
    std::size_t present = 0;
    std::size_t expected = 0;
    std::set<int32_t> intervals; // minutes
    std::vector<RecordGap> gaps;
};

// Over the records the window [from, to] holds (core/record_window.h).
RecordCoverage recordCoverage(std::span<const HistoryRecord> records, const DateTime& from,
                              const DateTime& to);

} // namespace veldrin
