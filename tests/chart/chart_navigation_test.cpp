// Moving the window from the chart: the time under a pixel against the mapping the curves are
// drawn with, and the limits of the windows that gestures ask for.

#include "chart/chart_navigation.h"

#include <gtest/gtest.h>

namespace veldrin::chart {
namespace {

int64_t sec(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateTime::fromFields(y, mo, d, h, mi, s).linearSeconds();
}

double day(int y, int mo, int d, int h = 0, int mi = 0) {
    return DateTime::fromFields(y, mo, d, h, mi).value;
}

const PlotRect kPlot = plotRect(840, 465); // columns 60 .. 760

TEST(ChartNavigation, EveryColumnOfThePlotMapsBackToItselfAndTheEdgesToTheWindowsEnds) {
    const struct {
        const char* name;
        double start, end;
    } windows[] = {
        {"one minute", day(2011, 6, 15, 14, 37), day(2011, 6, 15, 14, 38)},
        {"one day", day(2011, 6, 15), day(2011, 6, 16)},
        {"before the data, near the origin", day(1899, 12, 30), day(1899, 12, 30, 0, 1)},
    };
    for (const auto& w : windows) {
        EXPECT_EQ(timeAtPixel(kPlot.x0, w.start, w.end, kPlot), w.start) << w.name;
        EXPECT_EQ(timeAtPixel(kPlot.x1, w.start, w.end, kPlot), w.end) << w.name;
        EXPECT_EQ(timeAtPixel(kPlot.x0 - 30, w.start, w.end, kPlot), w.start) << w.name;
        EXPECT_EQ(timeAtPixel(kPlot.x1 + 30, w.start, w.end, kPlot), w.end) << w.name;
        for (int x = kPlot.x0; x <= kPlot.x1; ++x) {
            ASSERT_EQ(mapTime(timeAtPixel(x, w.start, w.end, kPlot), w.start, w.end, kPlot), x)
                << w.name << ", column " << x;
        }
    }
}

// The limits of the windows asked for; the ordinary gestures are checked on the view's chart.
TEST(ChartNavigation, WindowsStayAtLeastAMinuteLongAndWithinWhatThePickersShow) {
    const SecondWindow twoMinutes{sec(2011, 6, 15, 12), sec(2011, 6, 15, 12, 2)};
    const int64_t noon = sec(2011, 6, 15, 12);
    const std::optional<SecondWindow> nothing;
    const struct {
        const char* name;
        std::optional<SecondWindow> got, expected;
    } cases[] = {
        // 120 s over 700 columns: columns 100 and 106 are 12:00:06.9 and 12:00:08.0.
        {"a drag shorter than a minute is widened to one",
         draggedWindow(100, 106, day(2011, 6, 15, 12), day(2011, 6, 15, 12, 2), kPlot),
         SecondWindow{sec(2011, 6, 15, 11, 59, 37), sec(2011, 6, 15, 12, 0, 37)}},
        {"zoom in stops at one minute", zoomedWindow(twoMinutes, twoMinutes.start, 4),
         SecondWindow{twoMinutes.start, twoMinutes.start + 60}},
        {"no zooming in below one minute",
         zoomedWindow({twoMinutes.start, twoMinutes.start + 60}, twoMinutes.start, 2), nothing},
        {"zoom out stops at the first day the pickers show",
         zoomedWindow({sec(1753, 1, 1), sec(1753, 1, 2)}, sec(1753, 1, 2), 0.5),
         SecondWindow{sec(1753, 1, 1), sec(1753, 1, 3)}},
        {"zoom out of the whole range changes nothing", zoomedWindow(pickerRange(), noon, 0.5),
         nothing},
        {"pan stops at the last second the pickers show",
         pannedWindow({sec(9999, 12, 31), sec(9999, 12, 31, 12)}, 86400),
         SecondWindow{sec(9999, 12, 31, 11, 59, 59), sec(9999, 12, 31, 23, 59, 59)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.name;
    }
}

} // namespace
} // namespace veldrin::chart
