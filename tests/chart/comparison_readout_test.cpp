// The comparison's readout under the cursor: each recorder's value at the time of the cursor's
// column, named by the rule the time chart's readout shares (chart/hover_rule.h).

#include "chart/chart_scales.h"
#include "chart/comparison_chart.h"

#include <gtest/gtest.h>

namespace veldrin::chart {
namespace {

constexpr double kMinute = 1.0 / 1440;
const DateTime kTwo = DateTime::fromFields(2011, 6, 15, 14, 0);

HistoryRecord at(double minutes, double celsius, int humidity, int interval) {
    HistoryRecord r;
    r.setTime(DateTime::fromValue(kTwo.value + minutes * kMinute));
    r.temperature = celsius;
    r.humidity = static_cast<int8_t>(humidity);
    r.interval = interval;
    return r;
}

TEST(ComparisonReadout, NamesEachRecordersNearestRecordWithinItsReach) {
    // A: every minute 14:00-14:30, and one just before the window; B: every 3 minutes with a gap
    // from 14:09 to 14:21, stored newest first (a list whose times go back).
    auto a = std::make_shared<RecordList>(RecordList{at(-10.2, 99.0, 99, 1)});
    auto b = std::make_shared<RecordList>();
    for (int m = 0; m <= 30; ++m) {
        a->push_back(at(m, 20.0 + m * 0.1, 40 + m, 1));
        if (m % 3 == 0 && (m <= 9 || m >= 21)) {
            b->insert(b->begin(), at(m, -5.0 - m * 0.1, 60, 3));
        }
    }
    ComparisonInput input;
    input.start = kTwo.value - 10 * kMinute;
    input.end = kTwo.value + 50 * kMinute;
    input.size = QSize(900, 525);
    input.font = chartFont(96);
    input.quantity = Curve::temperature;
    ComparisonChart chart;
    const PlotRect plot = plotRect(900, 525);
    struct Case {
        const char* what;
        double minutes; // after 14:00, under the cursor
        Curve quantity;
        QString time;
        QStringList values; // A's, then B's, each in its curve's colour
    };
    const Case cases[] = {
        {"between records", 1.33, Curve::temperature, "2011-6-15 14:01", {" 20.1°C", " -5.0°C"}},
        {"the other side", 4.67, Curve::temperature, "2011-6-15 14:04", {" 20.5°C", " -5.6°C"}},
        {"humidity", 1.33, Curve::humidity, "2011-6-15 14:01", {" 41%", " 60%"}},
        {"a gap of B", 15.1, Curve::temperature, "2011-6-15 14:15", {" 21.5°C"}},
        {"the window's start", -10, Curve::temperature, "2011-6-15 13:50", {}},
        {"before the first", -5, Curve::temperature, "2011-6-15 13:55", {}},
        {"after the last", 35, Curve::temperature, "2011-6-15 14:35", {}},
    };
    for (const Case& c : cases) {
        input.quantity = c.quantity;
        chart.render({{u"A", a, nullptr}, {u"B", b, nullptr}}, input);
        const int x = mapTime(kTwo.value + c.minutes * kMinute, input.start, input.end, plot);
        const ComparisonReadout readout = chart.readoutAt(QPoint(x, plot.y0 + 20));
        ASSERT_EQ(readout.texts.size(), 1 + c.values.size()) << c.what;
        EXPECT_EQ(readout.texts[0].text, c.time) << c.what;
        EXPECT_EQ(readout.texts[0].color, kBlack) << c.what;
        for (qsizetype i = 0; i < c.values.size(); ++i) {
            const ComparisonReadout::Text& value = readout.texts[static_cast<std::size_t>(i) + 1];
            EXPECT_EQ(value.text, c.values[i]) << c.what;
            // The gap leaves only A's value, in A's colour.
            EXPECT_EQ(value.color, comparisonColor(static_cast<std::size_t>(i))) << c.what;
        }
        EXPECT_EQ(readout.markers.size(), c.values.size()) << c.what;
    }
    // Outside the plot there is no readout.
    EXPECT_TRUE(chart.readoutAt(QPoint(plot.x1 + 5, plot.y0 + 20)).texts.empty());
}

} // namespace
} // namespace veldrin::chart
