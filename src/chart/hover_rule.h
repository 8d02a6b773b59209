#pragma once
// Which record a readout under the cursor names, for the time chart and the comparison alike.
//
// A point is under the cursor when its pixel lies within kHoverReach pixels of the cursor's, in
// both directions (the time chart's readout). A recorder's value at the time of a pixel column
// (the comparison's readout, one value per recorder) is its record of the window nearest in time
// to the column's, when that record's column is within the same reach or the time within half the
// record's logging interval of it: between two records of a sparse history the nearer is named,
// in a gap, before the first record and after the last none.

#include "chart/chart_scales.h"
#include "core/time_order.h"

#include <cstdlib>
#include <optional>
#include <vector>

namespace veldrin::chart {

constexpr int kHoverReach = 1;

inline bool withinHoverReach(int pixel, int cursor) {
    return std::abs(pixel - cursor) <= kHoverReach;
}

// The record named at pixel column `x` of the window [start, end] drawn in `plot`; `order` is the
// time order of `records`.
std::optional<std::size_t> recordAtColumn(const std::vector<HistoryRecord>& records,
                                          const TimeOrder& order, double start, double end,
                                          const PlotRect& plot, int x);

} // namespace veldrin::chart
