// Moving the window from the chart: the time under a pixel against the mapping the curves are
// drawn with, the windows a drag, the wheel and a pan ask for, and what the renderer shows of it.

#include "chart/chart_navigation.h"
#include "chart/chart_renderer.h"

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
        {"a century", day(1950, 1, 1), day(2050, 1, 1)},
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

TEST(ChartNavigation, WindowsAskedForByGestures) {
    const SecondWindow dayWindow{sec(2011, 6, 15), sec(2011, 6, 16)};
    const SecondWindow twoMinutes{sec(2011, 6, 15, 12), sec(2011, 6, 15, 12, 2)};
    const int64_t noon = sec(2011, 6, 15, 12);
    const int64_t dayEnd = sec(2011, 6, 16);
    const std::optional<SecondWindow> nothing;
    const double start = day(2011, 6, 15);
    const double end = day(2011, 6, 16);
    const struct {
        const char* name;
        std::optional<SecondWindow> got, expected;
    } cases[] = {
        // A day over 700 columns: column 410 is 350.5 columns of 123.43 s in, 12:01:01.7.
        {"drag left to right", draggedWindow(410, 760, start, end, kPlot),
         SecondWindow{sec(2011, 6, 15, 12, 1, 2), dayEnd}},
        {"drag right to left", draggedWindow(760, 410, start, end, kPlot),
         SecondWindow{sec(2011, 6, 15, 12, 1, 2), dayEnd}},
        {"drag over the whole plot", draggedWindow(60, 760, start, end, kPlot), dayWindow},
        {"four pixels are a click", draggedWindow(300, 304, start, end, kPlot), nothing},
        {"five pixels are a drag",
         draggedWindow(304, 299, start, end, kPlot).has_value() ? std::optional(SecondWindow{})
                                                                : nothing,
         SecondWindow{}},
        {"a drag shorter than a minute is widened to one",
         draggedWindow(100, 106, day(2011, 6, 15, 12), day(2011, 6, 15, 12, 2), kPlot),
         SecondWindow{sec(2011, 6, 15, 11, 59, 37), sec(2011, 6, 15, 12, 0, 37)}},
        {"zoom in around the end keeps the end", zoomedWindow(dayWindow, dayEnd, 2),
         SecondWindow{noon, dayEnd}},
        {"zoom in around the start keeps the start", zoomedWindow(dayWindow, dayWindow.start, 2),
         SecondWindow{dayWindow.start, noon}},
        {"zoom out around the middle", zoomedWindow(dayWindow, noon, 0.5),
         SecondWindow{sec(2011, 6, 14, 12), sec(2011, 6, 16, 12)}},
        {"three notches at once", zoomedWindow(dayWindow, noon, 8),
         SecondWindow{sec(2011, 6, 15, 10, 30), sec(2011, 6, 15, 13, 30)}},
        {"zoom in stops at one minute", zoomedWindow(twoMinutes, twoMinutes.start, 4),
         SecondWindow{twoMinutes.start, twoMinutes.start + 60}},
        {"no zooming in below one minute",
         zoomedWindow({twoMinutes.start, twoMinutes.start + 60}, twoMinutes.start, 2), nothing},
        {"zoom out of an empty window opens a minute", zoomedWindow({noon, noon}, noon, 0.5),
         SecondWindow{noon - 30, noon + 30}},
        {"zoom out stops at the first day the pickers show",
         zoomedWindow({sec(1753, 1, 1), sec(1753, 1, 2)}, sec(1753, 1, 2), 0.5),
         SecondWindow{sec(1753, 1, 1), sec(1753, 1, 3)}},
        {"zoom out of the whole range changes nothing", zoomedWindow(pickerRange(), noon, 0.5),
         nothing},
        {"pan into the future", pannedWindow(dayWindow, 8640),
         SecondWindow{sec(2011, 6, 15, 2, 24), sec(2011, 6, 16, 2, 24)}},
        {"pan stops at the last second the pickers show",
         pannedWindow({sec(9999, 12, 31), sec(9999, 12, 31, 12)}, 86400),
         SecondWindow{sec(9999, 12, 31, 11, 59, 59), sec(9999, 12, 31, 23, 59, 59)}},
        {"a drag of 70 columns to the right shows a tenth of the span earlier",
         pannedWindow(dayWindow, pixelPanSeconds(dayWindow, 70, kPlot)),
         SecondWindow{sec(2011, 6, 14, 21, 36), sec(2011, 6, 15, 21, 36)}},
        {"centred on a record", centredWindow(dayWindow, sec(2011, 6, 20, 8, 0, 1)),
         SecondWindow{sec(2011, 6, 19, 20, 0, 1), sec(2011, 6, 20, 20, 0, 1)}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.got.has_value(), c.expected.has_value()) << c.name;
        if (c.got) {
            EXPECT_EQ(c.got->start, c.expected->start) << c.name;
            EXPECT_EQ(c.got->end, c.expected->end) << c.name;
        }
    }
}

HistoryRecord rec(double time, double t, int h) {
    HistoryRecord r;
    r.timeValue = time;
    r.temperature = t;
    r.humidity = static_cast<int8_t>(h);
    return r;
}

TEST(ChartNavigation, TheBandLiesOverThePlotUntilTheDragEndsAndValuesNameTheirRecords) {
    const RecordList records{rec(day(2011, 6, 15, 6), 20.0, 40),
                             rec(day(2011, 6, 15, 12), 25.0, 60),
                             rec(day(2011, 6, 15, 18), 21.0, 50)};
    ChartInput input;
    input.start = day(2011, 6, 15);
    input.end = day(2011, 6, 16);
    input.size = QSize(840, 465);
    input.font = chartFont(96);
    input.texts = ChartTexts{u"Latest",   u"Humidity:", u"Temperature:", u"Time:",
                             u"Humidity", u"Highest",   u"Lowest",       u"Temperature"};
    ChartRenderer renderer;
    const QImage plain = renderer.render(records, input).copy();

    input.band = std::pair(500, 300);
    const QImage banded = renderer.render(records, input).copy();
    EXPECT_NE(banded.pixel(400, 100), plain.pixel(400, 100)) << "inside the band";
    EXPECT_NE(banded.pixel(300, kPlot.y1 - 1), plain.pixel(300, kPlot.y1 - 1)) << "its edge";
    EXPECT_EQ(banded.pixel(299, 100), plain.pixel(299, 100)) << "left of it";
    EXPECT_EQ(banded.pixel(400, kPlot.y1 + 40), plain.pixel(400, kPlot.y1 + 40)) << "below";
    input.band.reset();
    EXPECT_EQ(renderer.render(records, input), plain) << "the band leaves nothing behind";

    // The value lines of the summary boxes and the latest-reading panel (not their captions).
    const int line = QFontMetrics(input.font).height();
    const int top = kPlot.y1 + 28 + line / 2;
    const struct {
        QPoint at;
        std::optional<std::size_t> record;
    } clicks[] = {
        {{164, top + line}, 1},     // highest temperature
        {{164, top + 3 * line}, 0}, // lowest temperature
        {{436, top + line}, 1},     // highest humidity
        {{436, top + 3 * line}, 0}, // lowest humidity
        {{560, top + 2 * line}, 2}, // latest humidity
        {{164, top}, std::nullopt}, // the caption "Highest"
        {{400, 100}, std::nullopt}, // the plot
    };
    for (const auto& click : clicks) {
        const auto value = renderer.summaryValueAt(click.at);
        ASSERT_EQ(value.has_value(), click.record.has_value())
            << click.at.x() << "," << click.at.y();
        if (value) {
            EXPECT_EQ(value->record, *click.record) << click.at.x() << "," << click.at.y();
        }
    }
}

} // namespace
} // namespace veldrin::chart
