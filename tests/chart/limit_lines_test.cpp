// Alarm limits on the chart: a limit inside its scale adds a dashed row in its curve's colour and
// changes nothing else; a limit outside the scale adds nothing and does not widen the scale.

#include "chart/chart_renderer.h"

#include <gtest/gtest.h>

#include <set>

namespace veldrin::chart {
namespace {

const double kDay = DateTime::fromFields(2011, 6, 15).value;

// Temperatures 18.0 .. 24.0 °C and humidity 40 .. 60 % over one day.
RecordList ramp() {
    RecordList records;
    constexpr int kCount = 61;
    for (int i = 0; i < kCount; ++i) {
        HistoryRecord r;
        r.timeValue = kDay + i / 60.0;
        r.temperature = 18.0 + i * 0.1;
        r.humidity = static_cast<int8_t>(40 + i / 3);
        records.push_back(r);
    }
    return records;
}

ChartInput inputWith(const AlarmLimits& limits, bool fahrenheit) {
    ChartInput input;
    input.start = kDay;
    input.end = kDay + 1;
    input.fahrenheit = fahrenheit;
    input.size = QSize(700, 400);
    input.font = chartFont(96);
    input.limits = limits;
    return input;
}

struct Case {
    const char* name;
    AlarmLimits limits;
    bool fahrenheit;
    std::set<Curve> drawn; // curves whose limit row must appear
};

AlarmLimits limits(std::optional<double> tHigh, std::optional<double> tLow,
                   std::optional<double> hHigh, std::optional<double> hLow) {
    AlarmLimits l;
    l.tempHigh = tHigh;
    l.tempLow = tLow;
    l.humHigh = hHigh;
    l.humLow = hLow;
    return l;
}

const Case kCases[] = {
    {"temperature inside", limits(23.0, {}, {}, {}), false, {Curve::temperature}},
    {"humidity inside", limits({}, {}, 55.5, {}), false, {Curve::humidity}},
    {"both inside, Fahrenheit",
     limits(22.0, {}, {}, 45.0),
     true,
     {Curve::temperature, Curve::humidity}},
    {"all outside", limits(40.0, -5.0, 95.0, 5.0), false, {}},
    {"Celsius limit outside the Fahrenheit scale", limits(25.0, {}, {}, {}), true, {}},
};

TEST(ChartLimitLines, DrawnInsideTheScaleOnlyAndNothingElseMoves) {
    const RecordList records = ramp();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ChartRenderer plain;
        const QImage without = plain.render(records, inputWith({}, c.fahrenheit)).copy();
        const ChartInput input = inputWith(c.limits, c.fahrenheit);
        ChartRenderer renderer;
        const QImage with = renderer.render(records, input).copy();

        const PlotData data = buildPlotData(records, input);
        const PlotData dataWithout = buildPlotData(records, inputWith({}, c.fahrenheit));
        EXPECT_EQ(data.temperature.min, dataWithout.temperature.min);
        EXPECT_EQ(data.temperature.max, dataWithout.temperature.max);
        EXPECT_EQ(data.humidity.min, dataWithout.humidity.min);
        EXPECT_EQ(data.humidity.max, dataWithout.humidity.max);

        const std::vector<LimitLine> lines = limitLines(data, input);
        std::set<Curve> curves;
        std::set<int> rows;
        for (const LimitLine& line : lines) {
            curves.insert(line.curve);
            rows.insert(line.y);
        }
        EXPECT_EQ(curves, c.drawn);
        const PlotRect plot = plotRect(input.size.width(), input.size.height());
        int changed = 0;
        for (int y = 0; y < with.height(); ++y) {
            for (int x = 0; x < with.width(); ++x) {
                if (with.pixel(x, y) == without.pixel(x, y)) {
                    continue;
                }
                ++changed;
                ASSERT_TRUE(rows.count(y) == 1 && x > plot.x0 && x < plot.x1)
                    << "pixel " << x << "," << y << " changed off the limit rows";
                const QColor colour = QColor::fromRgb(with.pixel(x, y));
                ASSERT_TRUE(colour == kTemperatureColor || colour == kHumidityColor);
            }
        }
        // Dashed: some pixels of a drawn row keep the background.
        for (const int y : rows) {
            int onRow = 0;
            for (int x = plot.x0 + 1; x < plot.x1; ++x) {
                onRow += with.pixel(x, y) != without.pixel(x, y) ? 1 : 0;
            }
            EXPECT_GT(onRow, 0);
            EXPECT_LT(onRow, (plot.x1 - plot.x0) * 9 / 10);
        }
        EXPECT_EQ(changed == 0, c.drawn.empty());
    }
}

// The limit sits where a value equal to it would be plotted.
TEST(ChartLimitLines, RowIsTheRowOfTheLimitValue) {
    const ChartInput input = inputWith(limits(21.0, {}, 50.0, {}), false);
    const PlotData data = buildPlotData(ramp(), input);
    const PlotRect plot = plotRect(input.size.width(), input.size.height());
    const std::vector<LimitLine> lines = limitLines(data, input);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].y, mapTemperature(21.0, data.temperature, plot));
    EXPECT_EQ(lines[1].y, mapHumidity(50, data.humidity, plot));
}

} // namespace
} // namespace veldrin::chart
