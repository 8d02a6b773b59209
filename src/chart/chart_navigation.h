#pragma once
// Moving the time window from the chart, as pure functions: the time under a pixel of the plot
// (the inverse of mapTime), and the windows that a drag, the wheel, the keys or a jump to a record
// ask for. Windows are whole seconds on the time line, as the pickers hold them, and never leave
// the range the pickers can show.

#include "chart/chart_scales.h"

#include <cstdint>
#include <optional>

namespace veldrin::chart {

// The time under pixel column x of a window [start, end]: the start at the plot's left edge and
// before it, the end at its right edge and after it, the middle of the column in between, so that
// mapTime gives x back for every column of the plot.
double timeAtPixel(int x, double start, double end, const PlotRect& plot);

// Zooming in stops at one minute of span.
constexpr int64_t kShortestSpanSeconds = 60;
// A press and release less than this many pixels apart is a click, not a drag.
constexpr int kClickDistance = 5;
// One notch of the wheel halves or doubles the span; a key or notch pans by a tenth of it.
constexpr double kZoomPerNotch = 2.0;
constexpr int64_t kPanParts = 10;

struct SecondWindow {
    int64_t start = 0; // seconds on the time line (DateTime::linearSeconds)
    int64_t end = 0;
    int64_t span() const { return end - start; }
    bool operator==(const SecondWindow&) const = default;
};

// The window of two date values, and the date values of a window's ends.
SecondWindow secondWindow(double start, double end);
DateTime windowStart(const SecondWindow& window);
DateTime windowEnd(const SecondWindow& window);

// The window the pickers can show, 1753-01-01 00:00:00 to 9999-12-31 23:59:59; a window is moved
// into it, or cut to it when it is longer.
SecondWindow pickerRange();
SecondWindow withinPickerRange(SecondWindow window);

// The window between two pixel columns of a drag over the plot (either order), widened around its
// middle to at least one minute; nothing when the columns are closer than a click's distance.
std::optional<SecondWindow> draggedWindow(int xa, int xb, double start, double end,
                                          const PlotRect& plot);

// The window zoomed by `factor` (above 1 zooms in) around `anchor`, which keeps its place in the
// window; never shorter than one minute, and nothing when zooming in cannot shorten it.
std::optional<SecondWindow> zoomedWindow(const SecondWindow& window, int64_t anchor, double factor);

// The window moved by `seconds` (negative: towards the past), its span kept.
SecondWindow pannedWindow(const SecondWindow& window, int64_t seconds);
// The seconds a pan of `pixels` of the plot moves the window, the content following the cursor:
// dragging to the right shows earlier times.
int64_t pixelPanSeconds(const SecondWindow& window, int pixels, const PlotRect& plot);

// The window of the same span with `centre` in its middle.
SecondWindow centredWindow(const SecondWindow& window, int64_t centre);

} // namespace veldrin::chart
