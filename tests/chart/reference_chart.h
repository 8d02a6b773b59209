#pragma once
// The chart drawn the plain way, step by step as the drawing rules read: every record of the list
// copied and tested against the window, every segment drawn and every point hover-tested in list
// order. Slow, and only here to check the cached renderer pixel for pixel.

#include "chart/chart_style.h"
#include "store/data_file.h"

#include <QImage>

namespace veldrin::chart {

QImage renderReferenceChart(const RecordList& records, const ChartInput& input);

} // namespace veldrin::chart
