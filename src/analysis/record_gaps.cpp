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
    const int64_t step = int64_t{interval} * kSecondsPerMinute;
    // Less than one and a half intervals rounds to one step: the usual case, worked out without
    // dividing.
    if (interval <= 0 || seconds <= 0 || 2 * seconds < 3 * step) {
        return 1;
    }
    const double steps = std::round(static_cast<double>(seconds) / static_cast<double>(step));
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
    int64_t previousSeconds = 0;
    // A history keeps one interval for long stretches: the set is asked only when it changes.
    int32_t lastInterval = 0;
    for (const HistoryRecord& r : records) {
        if (!window.holds(r)) {
            continue;
        }
        ++coverage.present;
        if (r.interval > 0 && r.interval != lastInterval) {
            coverage.intervals.insert(r.interval);
            lastInterval = r.interval;
        }
        const int64_t rSeconds = r.time().linearSeconds();
        if (previous == nullptr) {
            coverage.expected = 1;
        } else {
            const int64_t seconds = rSeconds - previousSeconds;
            coverage.expected += expectedSteps(seconds, r.interval);
            if (r.interval > 0 && seconds > kGapFactor * r.interval * kSecondsPerMinute) {
                coverage.gaps.push_back(
                    RecordGap{previous->time(), r.time(), seconds / kSecondsPerMinute});
            }
        }
        previous = &r;
        previousSeconds = rSeconds;
    }
    return coverage;
}

} // namespace veldrin
