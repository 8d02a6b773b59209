// The chart zoomed in: a point that no segment reaches is still drawn, the time axis carries at
// least two labels at every span down to one minute, and the gestures keep windows on whole
// seconds.

#include "chart/chart_area.h"
#include "chart/chart_navigator.h"
#include "chart/chart_renderer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>

namespace veldrin::chart {
namespace {

const double kDay = DateTime::fromFields(2011, 6, 15).value;
constexpr double kSecond = 1.0 / 86400;

HistoryRecord rec(double time, double t, int h) {
    HistoryRecord r;
    r.timeValue = time;
    r.temperature = t;
    r.humidity = static_cast<int8_t>(h);
    return r;
}

// Pixels of `color` strictly inside the plot.
int pixelsInsidePlot(const QImage& image, const PlotRect& p, const QColor& color) {
    int n = 0;
    for (int y = p.y0; y < p.y1; ++y) {
        for (int x = p.x0 + 1; x < p.x1; ++x) {
            n += image.pixel(x, y) == color.rgb() ? 1 : 0;
        }
    }
    return n;
}

TEST(ChartShortWindows, EveryPointOfTheWindowIsDrawnEvenWithoutANeighbour) {
    const double noon = kDay + 0.5;
    const struct {
        const char* name;
        RecordList records;
        double start, end;
    } cases[] = {
        {"one record in a one-minute window",
         {rec(noon + 20 * kSecond, 21.0, 50)},
         noon,
         noon + 60 * kSecond},
        {"one record in a day", {rec(noon, 21.0, 50)}, kDay, kDay + 1},
        {"records on one pixel", {rec(noon, 21.0, 50), rec(noon, 21.0, 50)}, kDay, kDay + 1},
        {"one record inside, its neighbours outside",
         {rec(noon - 0.1, 25.0, 40), rec(noon, 21.0, 50), rec(noon + 0.1, 18.0, 60)},
         noon - kSecond,
         noon + 59 * kSecond},
    };
    for (const auto& c : cases) {
        ChartInput input;
        input.start = c.start;
        input.end = c.end;
        input.size = QSize(700, 400);
        input.font = chartFont(96);
        ChartRenderer renderer;
        const QImage image = renderer.render(c.records, input).copy();
        const PlotRect plot = plotRect(700, 400);
        const PlotData data = buildPlotData(c.records, input);
        ASSERT_EQ(data.runs.size(), 1u) << c.name;
        // Both marks fall on one row here; the humidity curve is drawn last.
        EXPECT_GE(pixelsInsidePlot(image, plot, kHumidityColor), 25) << c.name;
        EXPECT_EQ(image.pixel(data.runs[0].x, data.runs[0].h.first), kHumidityColor.rgb())
            << c.name;
        EXPECT_EQ(
            renderer.renderAtRatio(input, 2).pixel(2 * data.runs[0].x, 2 * data.runs[0].h.first),
            kHumidityColor.rgb())
            << c.name;
    }
}

TEST(ChartShortWindows, TheTimeAxisShowsAtLeastTwoLabelsAtEverySpan) {
    const QFontMetrics metrics(chartFont(96));
    const TextWidth widthOf = [&](const std::u16string& t) {
        return metrics.horizontalAdvance(QString::fromStdU16String(t));
    };
    const double spans[] = {60,          61,           90,           119,
                            120,         19 * 60,      3600,         86400,
                            29 * 86400., 31 * 86400.,  45 * 86400.,  59 * 86400.,
                            61 * 86400., 364 * 86400., 366 * 86400., 3 * 365 * 86400.};
    for (const int width : {330, 900}) {
        const PlotRect plot = plotRect(width, 400);
        for (const double offset : {0.0, 20.0, 37.0 * 60 + 20}) {
            for (const double seconds : spans) {
                const double start = kDay + offset * kSecond;
                const double end = start + seconds * kSecond;
                const TimeAxis axis = timeAxis(start, end, plot, widthOf);
                SCOPED_TRACE(std::to_string(width) + " wide, " + std::to_string(seconds) +
                             " s from +" + std::to_string(offset) + " s");
                ASSERT_GE(axis.labels.size(), 2u);
                EXPECT_NE(axis.labels[0].text, axis.labels[1].text);
                // Where the table's interval gives two labels already, the axis is the table's.
                const auto table = timeTicks(start, end, plot);
                if (table.size() >= 4) {
                    EXPECT_EQ(axis.ticks.size(), table.size());
                }
            }
        }
    }
    // A minute that is not a whole minute of the clock is labelled to the second.
    const double from = kDay + (14 * 3600 + 37 * 60 + 20) * kSecond;
    const TimeAxis minute = timeAxis(from, from + 60 * kSecond, plotRect(700, 400), widthOf);
    ASSERT_EQ(minute.labels.size(), 4u);
    EXPECT_EQ(minute.labels[0].text, u"14:37:30");
    EXPECT_EQ(minute.labels[1].text, u"14:37:45");
    // A window that starts on a tick has it, at the plot's left edge.
    const double half = from + 10 * kSecond;
    const TimeAxis onTick = timeAxis(half, half + 60 * kSecond, plotRect(700, 400), widthOf);
    EXPECT_EQ(onTick.labels.front().text, u"14:37:30");
    EXPECT_EQ(onTick.labels.front().x, plotRect(700, 400).x0);
    EXPECT_EQ(onTick.labels.back().text, u"14:38:30");
}

// Whether a date value is a whole second exactly as the pickers and the calendar build it.
bool wholeSecond(const DateTime& time) {
    return DateTime::fromLinearSeconds(time.linearSeconds()).value == time.value;
}

TEST(ChartShortWindows, GesturesMoveTheWindowInWholeSecondsAndNeverBelowAMinute) {
    ChartArea area;
    area.resize(840, 465);
    std::pair<DateTime, DateTime> shown;
    int moves = 0;
    ChartNavigator navigator(area, {[&] { return shown; },
                                    [&](const DateTime& start, const DateTime& end, bool) {
                                        EXPECT_TRUE(wholeSecond(start) && wholeSecond(end));
                                        EXPECT_GE(secondsBetween(end, start), 60);
                                        shown = {start, end};
                                        ++moves;
                                    },
                                    {}});
    const auto send = [&](QEvent&& event) { QApplication::sendEvent(&area, &event); };
    const auto wheel = [&](int x, int notches, Qt::KeyboardModifiers modifiers) {
        send(QWheelEvent(QPointF(x, 200), QPointF(x, 200), QPoint(), QPoint(0, 120 * notches),
                         Qt::NoButton, modifiers, Qt::NoScrollPhase, false));
    };
    const auto key = [&](int k) { send(QKeyEvent(QEvent::KeyPress, k, Qt::NoModifier)); };
    const auto drag = [&](Qt::MouseButton button, int from, int to) {
        send(QMouseEvent(QEvent::MouseButtonPress, QPointF(from, 200), QPointF(from, 200), button,
                         button, Qt::NoModifier));
        send(QMouseEvent(QEvent::MouseMove, QPointF(to, 200), QPointF(to, 200), Qt::NoButton,
                         button, Qt::NoModifier));
        send(QMouseEvent(QEvent::MouseButtonRelease, QPointF(to, 200), QPointF(to, 200), button,
                         Qt::NoButton, Qt::NoModifier));
    };
    // Odd spans and starts, one of them a fraction of a second off.
    const std::pair<double, double> starts[] = {
        {kDay + 0.4 * kSecond, kDay + 97.3 * kSecond},
        {kDay + 0.5, kDay + 1.5 + 7 * kSecond},
        {kDay, kDay + (3 * 3600 + 17 * 60 + 23) * kSecond},
    };
    for (const auto& [start, end] : starts) {
        shown = {DateTime::fromValue(start), DateTime::fromValue(end)};
        for (int i = 0; i < 12; ++i) {
            wheel(61 + 97 * i % 700, 1, Qt::NoModifier);
        }
        wheel(333, -3, Qt::NoModifier);
        wheel(333, 1, Qt::ShiftModifier);
        key(Qt::Key_Minus);
        key(Qt::Key_Plus);
        key(Qt::Key_Left);
        key(Qt::Key_Right);
        drag(Qt::MiddleButton, 300, 337);
        drag(Qt::LeftButton, 101, 318);
        drag(Qt::LeftButton, 400, 407);
    }
    EXPECT_GT(moves, 40);
}

} // namespace
} // namespace veldrin::chart
