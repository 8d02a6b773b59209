#include "chart/chart_navigation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace veldrin::chart {

double timeAtPixel(int x, double start, double end, const PlotRect& plot) {
    const int width = plot.x1 - plot.x0;
    if (x <= plot.x0 || width <= 0) {
        return start;
    }
    if (x >= plot.x1) {
        return end;
    }
    // Half a column in from its left edge: far enough from both edges that the truncation in
    // mapTime cannot fall into the neighbouring column.
    return start + (x - plot.x0 + 0.5) * (end - start) / width;
}

SecondWindow secondWindow(double start, double end) {
    return {DateTime::fromValue(start).linearSeconds(), DateTime::fromValue(end).linearSeconds()};
}

DateTime windowStart(const SecondWindow& window) {
    return DateTime::fromLinearSeconds(window.start);
}

DateTime windowEnd(const SecondWindow& window) {
    return DateTime::fromLinearSeconds(window.end);
}

SecondWindow pickerRange() {
    static const SecondWindow range{DateTime::fromFields(1753, 1, 1).linearSeconds(),
                                    DateTime::fromFields(9999, 12, 31, 23, 59, 59).linearSeconds()};
    return range;
}

SecondWindow withinPickerRange(SecondWindow window) {
    if (window.end < window.start) {
        std::swap(window.start, window.end);
    }
    const SecondWindow range = pickerRange();
    if (window.span() >= range.span()) {
        return range;
    }
    if (window.start < range.start) {
        return {range.start, range.start + window.span()};
    }
    if (window.end > range.end) {
        return {range.end - window.span(), range.end};
    }
    return window;
}

std::optional<SecondWindow> draggedWindow(int xa, int xb, double start, double end,
                                          const PlotRect& plot) {
    if (std::abs(xa - xb) < kClickDistance) {
        return std::nullopt;
    }
    SecondWindow window = secondWindow(timeAtPixel(std::min(xa, xb), start, end, plot),
                                       timeAtPixel(std::max(xa, xb), start, end, plot));
    if (window.span() < kShortestSpanSeconds) {
        window.start += window.span() / 2 - kShortestSpanSeconds / 2;
        window.end = window.start + kShortestSpanSeconds;
    }
    return withinPickerRange(window);
}

std::optional<SecondWindow> zoomedWindow(const SecondWindow& window, int64_t anchor,
                                         double factor) {
    const int64_t span = window.span();
    if (!(factor > 0) || (factor > 1 && span <= kShortestSpanSeconds)) {
        return std::nullopt;
    }
    const int64_t zoomed = std::max<int64_t>(
        kShortestSpanSeconds, std::llround(std::min(static_cast<double>(span) / factor,
                                                    static_cast<double>(pickerRange().span()))));
    // The anchor keeps its share of the window before it.
    const double share =
        span > 0
            ? std::clamp(static_cast<double>(anchor - window.start) / static_cast<double>(span),
                         0.0, 1.0)
            : 0.5;
    const int64_t start = anchor - std::llround(share * static_cast<double>(zoomed));
    const SecondWindow result = withinPickerRange({start, start + zoomed});
    if (result == window) {
        return std::nullopt;
    }
    return result;
}

SecondWindow pannedWindow(const SecondWindow& window, int64_t seconds) {
    return withinPickerRange({window.start + seconds, window.end + seconds});
}

int64_t pixelPanSeconds(const SecondWindow& window, int pixels, const PlotRect& plot) {
    const int width = plot.x1 - plot.x0;
    if (width <= 0) {
        return 0;
    }
    return -std::llround(static_cast<double>(pixels) * static_cast<double>(window.span()) / width);
}

SecondWindow centredWindow(const SecondWindow& window, int64_t centre) {
    const int64_t start = centre - window.span() / 2;
    return withinPickerRange({start, start + window.span()});
}

} // namespace veldrin::chart
