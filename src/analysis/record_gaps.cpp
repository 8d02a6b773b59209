#include "analysis/record_gaps.h"

#include "core/record_window.h"

#include <algorithm>
#include <cmath>

namespace veldrin {
namespace {

constexpr int64_t kSecondsPerMinute = 60;
constexpr int64_t kGapFactor = 2;

// The records the interval leads one to expect from one record to the next: at least one.
std::size_t expectedSteps(int64_t seconds, int32_t interval) {
    if (interval <= 0 || seconds <= 0) {
        return 1;
    }
    const double steps = std::round(static_cast<double>(seconds) /
                                    static_cast<double>(interval * kSecondsPerMinute));
    // A damaged time far away must not make the count meaningless: bounded by the window's
    // seconds, which a real recording never exceeds.
    return steps < 1.0 ? 1 : static_cast<std::size_t>(std::min(steps, 1e12));
}

} // namespace

RecordCoverage recordCoverage(std::span<const HistoryRecord> records, const DateTime& from,
                              const DateTime& to) {
    const RecordWindow window(from, to);
    RecordCoverage coverage;
    const HistoryRecord* previous = nullptr;
    for (const HistoryRecord& r : records) {
        if (!window.holds(r)) {
            continue;
        }
        ++coverage.present;
        if (r.interval > 0) {
            coverage.intervals.insert(r.interval);
        }
        if (previous == nullptr) {
            coverage.expected = 1;
        } else {
            const int64_t seconds = secondsBetween(r.time(), previous->time());
            coverage.expected += expectedSteps(seconds, r.interval);
            if (r.interval > 0 && seconds > kGapFactor * r.interval * kSecondsPerMinute) {
                coverage.gaps.push_back(
                    RecordGap{previous->time(), r.time(), seconds / kSecondsPerMinute});
            }
        }
        previous = &r;
    }
    return coverage;
}

} // namespace veldrin
