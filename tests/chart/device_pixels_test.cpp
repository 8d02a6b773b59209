// The chart on a high-density screen: drawn anew at the device pixel ratio with the geometry of
// its own pixels, while the 1x image (the one exported) stays exactly as it was.

#include "chart/chart_renderer.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace veldrin::chart {
namespace {

const double kDay = DateTime::fromFields(2011, 6, 15).value;

RecordList ramp() {
    RecordList records;
    for (int i = 0; i < 61; ++i) {
        HistoryRecord r;
        r.timeValue = kDay + i / 60.0;
        r.temperature = 18.0 + (i % 13) * 0.4;
        r.humidity = static_cast<int8_t>(40 + i / 3);
        records.push_back(r);
    }
    return records;
}

// The share of device pixels that differ from the 1x image enlarged by the ratio.
double differingShare(const QImage& sharp, const QImage& oneX) {
    const QImage enlarged =
        oneX.scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    long differing = 0;
    for (int y = 0; y < sharp.height(); ++y) {
        for (int x = 0; x < sharp.width(); ++x) {
            differing += sharp.pixel(x, y) != enlarged.pixel(x, y) ? 1 : 0;
        }
    }
    return static_cast<double>(differing) / (sharp.width() * sharp.height());
}

TEST(ChartDevicePixels, SameGeometryAtFullResolutionAndTheOneXImageUnchanged) {
    const RecordList records = ramp();
    ChartInput input;
    input.start = kDay;
    input.end = kDay + 1.0 / 24;
    input.size = QSize(700, 400);
    input.font = chartFont(96);
    input.limits.tempHigh = 21.0;
    input.hover = QPoint(-10, -10);
    ChartRenderer renderer;
    const QImage oneX = renderer.render(records, input).copy();
    for (const qreal ratio : {2.0, 1.5}) {
        const QImage sharp = renderer.renderAtRatio(input, ratio);
        EXPECT_EQ(sharp.size(), QSize(qRound(700 * ratio), qRound(400 * ratio))) << ratio;
        EXPECT_EQ(sharp.devicePixelRatio(), ratio);
        const double share = differingShare(sharp, oneX);
        // Only the edges of lines and text differ: drawn anew, not enlarged, in the same place.
        EXPECT_GT(share, 0.001) << ratio;
        EXPECT_LT(share, 0.035) << ratio;
        EXPECT_EQ(renderer.render(records, input), oneX); // the exported pixels stay exact
    }
    // Drawn at 1x, or shifted by one pixel of the chart, the comparison tells.
    QImage shifted(oneX.size(), oneX.format());
    shifted.fill(kBackground);
    QPainter(&shifted).drawImage(QPoint(1, 1), oneX);
    shifted.setDevicePixelRatio(2.0);
    EXPECT_GT(differingShare(shifted.scaled(1400, 800), oneX), 0.035);
}

} // namespace
} // namespace veldrin::chart
