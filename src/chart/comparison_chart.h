#pragma once
// Several recorders' curves of one quantity (temperature or humidity) over the same time window
// in one chart, each in its own colour, with a legend naming them. The geometry, scales, time axis
// and curves are the time chart's own (chart_scales.h, chart_renderer.h); the value scale is made
// from the extremes of every curve, so that all share it.

#include "chart/chart_renderer.h"
#include "core/time_order.h"

#include <QImage>
#include <QRect>
#include <QRegion>

#include <memory>
#include <string>
#include <vector>

namespace veldrin::chart {

// One recorder's curve: its name in the legend and its records, which nobody changes while the
// chart holds them, with their time order for the readout (made by the chart when not given).
struct ComparedCurve {
    std::u16string label;
    std::shared_ptr<const RecordList> records;
    std::shared_ptr<const TimeOrder> order;
};

struct ComparisonInput {
    double start = 0.0; // time window, date values, both ends inclusive
    double end = 0.0;
    bool fahrenheit = false; // every curve in the same unit
    Curve quantity = Curve::temperature;
    QSize size; // as the time chart's surface
    QFont font;
    char16_t decimalSign = u'.'; // of the value scale's labels and the readout
    bool operator==(const ComparisonInput&) const = default;
};

// The colour of the curve at `position` (0..7; later positions repeat them).
QColor comparisonColor(std::size_t position);

// The readout under the cursor, laid out: along the top of the plot the time of the cursor's
// column, then the value of each curve that has one there (chart/hover_rule.h) in the curve's
// colour, and a marker on each point named. Plain texts, drawn as they are.
struct ComparisonReadout {
    struct Text {
        QPoint at; // top-left corner
        QString text;
        QColor color;
        bool operator==(const Text&) const = default;
    };
    QFont font;
    std::vector<Text> texts; // none: nothing to show
    std::vector<QRect> markers;
    QRegion touched; // every pixel it may draw
    bool operator==(const ComparisonReadout& o) const {
        return texts == o.texts && markers == o.markers && font == o.font;
    }
};
void drawComparisonReadout(QPainter& painter, const ComparisonReadout& readout);

class ComparisonChart {
public:
    // The chart of `curves`; drawn again only when the curves or the input changed.
    const QImage& render(const std::vector<ComparedCurve>& curves, const ComparisonInput& input);

    // Lets the curves drawn go (their records and orders); the next render draws afresh.
    void letGo();

    // Where the legend named each curve in the chart last rendered (its sample and its text).
    const std::vector<QRect>& legendBounds() const { return legend_; }

    // The readout at `cursor` over the chart last rendered: a few binary searches per curve,
    // nothing of the histories copied. Empty outside the plot.
    ComparisonReadout readoutAt(QPoint cursor) const;

private:
    struct Key {
        std::vector<std::pair<const RecordList*, std::size_t>> records;
        std::vector<std::u16string> labels;
        ComparisonInput input;
        bool operator==(const Key&) const = default;
    };
    void draw(const std::vector<ComparedCurve>& curves, const ComparisonInput& input);
    void drawLegend(QPainter& painter, const QFontMetrics& fm, const PlotRect& plot,
                    const std::vector<ComparedCurve>& curves);

    void takeCurves(const std::vector<ComparedCurve>& curves);

    bool drawn_ = false;
    Key key_;
    // The curves drawn, each with its time order, and the value scales they share.
    std::vector<ComparedCurve> curves_;
    PlotData scales_;
    PlotRect plot_;
    std::vector<PlotData> data_;
    std::vector<QRect> legend_;
    QImage image_;
};

} // namespace veldrin::chart
