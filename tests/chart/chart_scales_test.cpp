#include "chart/chart_renderer.h"
#include "chart/chart_scales.h"

#include <gtest/gtest.h>

namespace veldrin::chart {
namespace {

const PlotRect kPlot = plotRect(900, 525);

std::vector<std::u16string> temperatureLabels(double lowest, double highest) {
    std::vector<std::u16string> out;
    for (const Tick& t : temperatureTicks(temperatureScale(lowest, highest), kPlot)) {
        out.push_back(temperatureText(t.value, u'C'));
    }
    return out;
}

TEST(ChartScales, TemperatureAndHumidityExamples) {
    EXPECT_EQ(temperatureLabels(21.0, 21.0),
              (std::vector<std::u16string>{u"21.1°C", u"21.0°C", u"20.9°C"}));
    const auto labels = temperatureLabels(20.3, 27.8);
    ASSERT_EQ(labels.size(), 8u);
    EXPECT_EQ(labels.front(), u"27.8°C");
    EXPECT_EQ(labels.back(), u"20.8°C");
    EXPECT_EQ(temperatureScale(20.3, 27.8).step, 1);
    EXPECT_LT(temperatureTicks(temperatureScale(20.3, 27.8), kPlot).back().position, kPlot.y1);
    // No values: the scale is empty and gives no ticks.
    EXPECT_TRUE(temperatureTicks(temperatureScale(10000.0, -10000.0), kPlot).empty());

    const HumidityScale h = humidityScale(50, 50);
    EXPECT_EQ(h.min, 49);
    EXPECT_EQ(h.max, 51);
    const auto ticks = humidityTicks(h, kPlot);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[0].position, kPlot.y0);
    EXPECT_EQ(ticks[2].position, kPlot.y1);
    EXPECT_TRUE(humidityTicks(humidityScale(1000, -1000), kPlot).empty());
}

TEST(ChartScales, TimeAxisExamples) {
    const double day = DateTime::fromFields(2011, 6, 15).value;
    struct Row {
        double start, end;
        int minutes;
        std::vector<std::u16string> firstLabels;
    };
    const Row rows[] = {
        {day + 10.0 / 24, day + 12.0 / 24, 10, {u"10:00", u"10:10", u"10:20"}},
        {day + 23.0 / 24, day + 1 + 1.0 / 24, 10, {u"2011- 6-15", u"23:10", u"23:20"}},
        {day, day + 35, 43200, {u"2011- 6-16", u"2011- 7-16"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(timeTickMinutes((row.end - row.start) * 1440), row.minutes);
        const auto ticks = timeTicks(row.start, row.end, kPlot);
        double previous = firstPreviousLabelDate(row.start, row.end);
        for (std::size_t i = 0; i < row.firstLabels.size(); ++i) {
            ASSERT_LT(i, ticks.size());
            EXPECT_EQ(timeLabel(ticks[i].time, previous), row.firstLabels[i]);
            previous = ticks[i].time;
        }
    }
    // Midnight of the next day shows the date again.
    const auto night = timeTicks(day + 23.0 / 24, day + 1 + 1.0 / 24, kPlot);
    EXPECT_EQ(timeLabel(night[6].time, night[5].time), u"2011- 6-16");
    // 30-day ticks are counted from the zero date, not from the calendar.
    const auto month = timeTicks(day, day + 35, kPlot);
    ASSERT_EQ(month.size(), 2u);
    EXPECT_EQ(std::fmod(month[0].time, 30.0), 0.0);
    EXPECT_EQ(month[1].time - month[0].time, 30.0);
    // Empty, reversed and damaged windows draw no tick.
    EXPECT_TRUE(timeTicks(day, day, kPlot).empty());
    EXPECT_TRUE(timeTicks(day + 1, day, kPlot).empty());
    EXPECT_TRUE(timeTicks(day, std::numeric_limits<double>::infinity(), kPlot).empty());
}

TEST(ChartScales, PixelsFromDamagedValuesAreClamped) {
    EXPECT_EQ(toPixel(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(toPixel(1e300), 1 << 24);
    EXPECT_EQ(toPixel(-1e300), -(1 << 24));
    EXPECT_EQ(toPixel(-2.7), -2);
}

// Pixels of the empty chart: background, white boxes, the frame with no top line.
TEST(ChartScales, EmptyChartProbes) {
    ChartInput input;
    input.size = QSize(900, 525);
    input.font = chartFont(96);
    input.start = 40000;
    input.end = 40001;
    ChartRenderer renderer;
    const QImage& image = renderer.render(RecordList{}, input);
    const int lh = QFontMetrics(input.font).height();
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(5, 5), kBackground.rgb());
    EXPECT_EQ(image.pixel(100, kPlot.y1 + 3 * lh), kBoxColor.rgb());
    EXPECT_EQ(image.pixel(300, kPlot.y1 + 3 * lh), kBackground.rgb());
    EXPECT_EQ(image.pixel(kPlot.x0, 200), kBlack.rgb());
    EXPECT_EQ(image.pixel(kPlot.x1, 200), kBlack.rgb());
    EXPECT_EQ(image.pixel(400, kPlot.y1), kBlack.rgb());
    EXPECT_EQ(image.pixel(400, kPlot.y0), kBackground.rgb());
    // Time ticks are drawn for an empty window too; value ticks are not.
    EXPECT_EQ(image.pixel(kPlot.x0 - 3, kPlot.y0), kBackground.rgb());
}

} // namespace
} // namespace veldrin::chart
