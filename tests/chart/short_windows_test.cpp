// The chart zoomed in: a point that no segment reaches is still drawn, the time axis carries at
// least two labels at every span down to one minute, and the gestures keep whole seconds.

#include "chart/chart_area.h"
#include "chart/chart_navigator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace veldrin::chart {
namespace {

const double kNoon = DateTime::fromFields(2011, 6, 15, 12).value;
constexpr double kSecond = 1.0 / 86400;

HistoryRecord rec(double time, double t, int h) {
    HistoryRecord r;
    r.timeValue = time;
    r.temperature = t;
    r.humidity = static_cast<int8_t>(h);
    return r;
}

TEST(ChartShortWindows, APointWithoutANeighbourIsMarked) {
    const struct {
        const char* name;
        RecordList records;
        double start, end;
    } cases[] = {
        {"one record in a minute",
         {rec(kNoon + 20 * kSecond, 21, 50)},
         kNoon,
         kNoon + 60 * kSecond},
        {"records on one pixel", {rec(kNoon, 21, 50), rec(kNoon, 21, 50)}, kNoon - 1, kNoon + 1},
        {"neighbours outside",
         {rec(kNoon - 1, 25, 40), rec(kNoon, 21, 50), rec(kNoon + 1, 18, 60)},
         kNoon - kSecond,
         kNoon + 59 * kSecond},
    };
    for (const auto& c : cases) {
        ChartInput input;
        input.start = c.start;
        input.end = c.end;
        input.size = QSize(700, 400);
        input.font = chartFont(96);
        ChartRenderer renderer;
        const QImage image = renderer.render(c.records, input).copy();
        const PlotData data = buildPlotData(c.records, input);
        ASSERT_EQ(data.runs.size(), 1u) << c.name;
        const QPoint at(data.runs[0].x, data.runs[0].h.first); // both curves' point here
        for (const QPoint& near : {at, at + QPoint(2, 2), at - QPoint(2, 2)}) {
            EXPECT_EQ(image.pixel(near), kHumidityColor.rgb()) << c.name;
            EXPECT_EQ(renderer.renderAtRatio(input, 2).pixel(2 * near), kHumidityColor.rgb());
        }
    }
}

TEST(ChartShortWindows, TheTimeAxisShowsAtLeastTwoLabelsAtEverySpan) {
    const QFontMetrics metrics(chartFont(96));
    const TextWidth widthOf = [&](const std::u16string& t) {
        return metrics.horizontalAdvance(QString::fromStdU16String(t));
    };
    for (const int width : {330, 900}) {
        for (const double offset : {0, 20, 2240}) {
            for (const double days : {60 * kSecond, 90 * kSecond, 119 * kSecond, 19 / 1440.0, 1.0,
                                      31.0, 45.0, 59.0, 61.0, 366.0, 1096.0}) {
                const double start = kNoon + offset * kSecond;
                const TimeAxis axis = timeAxis(start, start + days, plotRect(width, 400), widthOf);
                ASSERT_GE(axis.labels.size(), 2u) << width << " " << offset << " " << days;
                EXPECT_NE(axis.labels[0].text, axis.labels[1].text);
            }
        }
    }
    // Below a minute's ticks, labelled to the second; a tick on the start is at the left edge.
    const PlotRect plot = plotRect(700, 400);
    const double from = kNoon + (2 * 3600 + 37 * 60 + 20) * kSecond;
    const TimeAxis minute = timeAxis(from, from + 60 * kSecond, plot, widthOf);
    ASSERT_EQ(minute.labels.size(), 4u);
    EXPECT_EQ(minute.labels[1].text, u"14:37:45");
    const TimeAxis onTick = timeAxis(from + 10 * kSecond, from + 70 * kSecond, plot, widthOf);
    EXPECT_EQ(onTick.labels.front().text, u"14:37:30");
    EXPECT_EQ(onTick.labels.front().x, plot.x0);
    EXPECT_EQ(onTick.labels.back().text, u"14:38:30");
}

TEST(ChartShortWindows, GesturesMoveTheWindowInWholeSecondsAndNeverBelowAMinute) {
    ChartArea area;
    area.resize(840, 465);
    std::pair<DateTime, DateTime> shown;
    int moves = 0;
    const auto whole = [](const DateTime& t) {
        return DateTime::fromLinearSeconds(t.linearSeconds()).value == t.value;
    };
    ChartNavigator navigator(area, {[&] { return shown; },
                                    [&](const DateTime& start, const DateTime& end, bool) {
                                        EXPECT_TRUE(whole(start) && whole(end));
                                        EXPECT_GE(secondsBetween(end, start), 60);
                                        shown = {start, end};
                                        ++moves;
                                    },
                                    {}});
    const auto send = [&](QEvent&& event) { QApplication::sendEvent(&area, &event); };
    const auto mouse = [&](QEvent::Type type, int x, Qt::MouseButton button) {
        send(QMouseEvent(type, QPointF(x, 200), QPointF(x, 200), button,
                         type == QEvent::MouseButtonRelease ? Qt::NoButton : button, {}));
    };
    // Odd spans and starts, one a fraction of a second off.
    for (const auto& [start, end] : {std::pair(kNoon + 0.4 * kSecond, kNoon + 97.3 * kSecond),
                                     std::pair(kNoon, kNoon + 1 + 7 * kSecond)}) {
        shown = {DateTime::fromValue(start), DateTime::fromValue(end)};
        for (int i = 0; i < 14; ++i) { // in, then out, around various columns; Shift pans
            const int notches = i < 10 ? 1 : -3;
            send(QWheelEvent(QPointF(61 + 97 * i % 700, 200), {}, {}, QPoint(0, 120 * notches), {},
                             i % 4 == 3 ? Qt::ShiftModifier : Qt::NoModifier, Qt::NoScrollPhase,
                             false));
        }
        for (const int key : {Qt::Key_Minus, Qt::Key_Plus, Qt::Key_Left, Qt::Key_Right}) {
            send(QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        }
        for (const auto& [button, from, to] :
             {std::tuple(Qt::MiddleButton, 300, 337), std::tuple(Qt::LeftButton, 101, 318)}) {
            mouse(QEvent::MouseButtonPress, from, button);
            mouse(QEvent::MouseMove, to, button);
            mouse(QEvent::MouseButtonRelease, to, button);
        }
    }
    EXPECT_GT(moves, 30);
}

} // namespace
} // namespace veldrin::chart
