#pragma once
// What the chart is drawn with: its inputs, texts, colours, pens and font, and the few drawing
// primitives that every chart drawing shares (texts placed by their top-left corner, the hover
// readout).

#include "chart/chart_scales.h"
#include "core/alarm_limits.h"
#include "core/recorder_types.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

class QPainter;

namespace veldrin::chart {

// Language strings drawn on the chart, already fetched (and formatted where they are formats).
struct ChartTexts {
    std::u16string latest;            // 25
    std::u16string latestHumidity;    // 26
    std::u16string latestTemperature; // 27
    std::u16string latestTime;        // 28
    std::u16string humidityLegend;    // 45
    std::u16string highest;           // 50
    std::u16string lowest;            // 53
    std::u16string temperatureLegend; // 89
    // The decimal sign of every number drawn (scales, extremes, latest reading, readout).
    char16_t decimalSign = u'.';
    friend bool operator==(const ChartTexts&, const ChartTexts&) = default;
};

// The texts of the current language, with its decimal sign (the comma in German and French).
ChartTexts chartTextsFromLanguage();

// "Arial" 10 pt at a screen's vertical resolution: its character height in pixels.
QFont chartFont(int dotsPerInchY);

struct ChartInput {
    // Changed by the owner of the records whenever they change other than by appending.
    uint64_t dataGeneration = 0;
    double start = 0.0; // time window, date values, both ends inclusive
    double end = 0.0;
    bool fahrenheit = false;
    QSize size; // the surface: the view's client width, its height less 135
    QFont font;
    ChartTexts texts;
    std::optional<QPoint> hover; // cursor in surface coordinates
    // The pixel columns between which a selection band is being dragged over the plot.
    std::optional<std::pair<int, int>> band;
    // Limits in force, drawn as dashed lines where they fall inside the scales (Celsius).
    AlarmLimits limits;
};

const QColor kBackground(216, 212, 204);
const QColor kBoxColor(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kTemperatureColor(255, 0, 0);
const QColor kHumidityColor(0, 0, 255);
const QColor kMarkerColor(0, 255, 255);
// The band dragged over the plot: the chart shows through it.
const QColor kBandColor(0, 120, 215, 64);

// Frame and ticks: one pixel, last point left out.
QPen thinPen(const QColor& color);
// Curves and legend samples.
QPen curvePen(const QColor& color);
// Alarm limits: one pixel, dashed, in the curve's colour.
QPen limitPen(const QColor& color);

// A record as the chart uses it: temperature in the display unit.
struct ChartPoint {
    double time = 0.0;
    double temperature = 0.0;
    int humidity = 0;
    std::size_t record = 0; // its index in the record list
};

// A text with its top-left corner at `topLeft`, in `color`.
void drawTextAt(QPainter& painter, const QFontMetrics& metrics, QPoint topLeft, const QString& text,
                const QColor& color);
// Pixels a text at `topLeft` may touch.
QRect textBounds(const QFontMetrics& metrics, QPoint topLeft, const QString& text);

// The mark of a point that no segment of its curve reaches (the only point of the window, or
// several on one pixel): a square of five pixels around it, in the curve's colour.
QRect lonePointMark(QPoint at);

// The marker of a point a readout names, around its pixel.
QRect readoutMarker(QPoint at);

// The readout of one point at (x, y): its marker and the time, temperature and humidity along
// the top of the plot. `painter` may be null to only measure; returns every pixel it may touch.
QRegion drawReadout(QPainter* painter, const QFontMetrics& metrics, const PlotRect& plot, QPoint at,
                    const ChartPoint& point, char16_t unit, char16_t decimalSign = u'.');

} // namespace veldrin::chart
