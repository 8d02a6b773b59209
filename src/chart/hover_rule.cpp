#include "chart/hover_rule.h"

#include "chart/chart_navigation.h"

#include <algorithm>
#include <cmath>

namespace veldrin::chart {
namespace {

constexpr double kMinutesPerDay = 24.0 * 60.0;

// Half the logging interval the record was taken at, in days (none for a damaged interval).
double halfInterval(const HistoryRecord& record) {
    return std::max(0, record.interval) / kMinutesPerDay / 2.0;
}

} // namespace

std::optional<std::size_t> recordAtColumn(const std::vector<HistoryRecord>& records,
                                          const TimeOrder& order, double start, double end,
                                          const PlotRect& plot, int x) {
    if (!(end > start)) {
        return std::nullopt;
    }
    const double time = timeAtPixel(x, start, end, plot);
    const RecordWindow window(DateTime::fromValue(start), DateTime::fromValue(end));
    const std::optional<std::size_t> found = order.nearest(records, window, time);
    if (!found) {
        return std::nullopt;
    }
    const HistoryRecord& r = records[*found];
    if (withinHoverReach(mapTime(r.timeValue, start, end, plot), x) ||
        std::abs(r.timeValue - time) <= halfInterval(r)) {
        return found;
    }
    return std::nullopt;
}

} // namespace veldrin::chart
