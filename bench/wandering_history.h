#pragma once
// A history that wanders as a room does, one record every 30 seconds from 2011-01-01, for the
// benchmarks that draw or report a million records. Its temperatures are tenths of a degree, as
// the recorder gives them and the store keeps them.

#include "core/date_time.h"
#include "core/recorder_types.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

namespace veldrin {

inline std::vector<HistoryRecord> wanderingHistory(std::size_t count) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dt(-0.2, 0.2);
    std::uniform_int_distribution<int> dh(-1, 1);
    std::vector<HistoryRecord> records(count);
    double t = 21.0;
    int h = 50;
    const DateTime start = DateTime::fromFields(2011, 1, 1);
    for (std::size_t i = 0; i < count; ++i) {
        t = std::clamp(t + dt(gen), -10.0, 40.0);
        h = std::clamp(h + dh(gen), 10, 95);
        HistoryRecord& r = records[i];
        r.setTime(start.plusSeconds(30 * static_cast<int64_t>(i)));
        r.temperature = std::round((t + 40.0) * 10.0) * 0.1 - 40.0;
        r.humidity = static_cast<int8_t>(h);
        r.interval = 1;
    }
    return records;
}

} // namespace veldrin
