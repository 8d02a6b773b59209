#include "chart/chart_style.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "lang/safe_format.h"

#include <QPainter>

namespace veldrin::chart {
namespace {

constexpr int kPointsPerInchTimesTen = 720;
constexpr int kTenthsOfPoint = 100;
constexpr int kMarkerHalf = 5;
// A time text that would run into the last 60 pixels before the right axis is moved this far
// left of its point.
constexpr int kRightEdgeRoom = 60;
constexpr int kRightEdgeShift = 190;

} // namespace

ChartTexts chartTextsFromLanguage() {
    ChartTexts t;
    t.latest = formattedLanguageString(text::kLatestReading);
    t.latestHumidity = languageString(text::kLatestHumidity);
    t.latestTemperature = languageString(text::kLatestTemperature);
    t.latestTime = languageString(text::kLatestTime);
    t.humidityLegend = languageString(text::kHumidity);
    t.highest = formattedLanguageString(text::kMaximum);
    t.lowest = formattedLanguageString(text::kMinimum);
    t.temperatureLegend = languageString(text::kTemperature);
    t.decimalSign = qdecimalSign().unicode();
    return t;
}

QFont chartFont(int dotsPerInchY) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(std::max(1, dotsPerInchY * kTenthsOfPoint / kPointsPerInchTimesTen));
    font.setWeight(QFont::Normal);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

QPen thinPen(const QColor& color) {
    return QPen(color, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

QPen limitPen(const QColor& color) {
    return QPen(color, 1, Qt::DashLine, Qt::FlatCap, Qt::MiterJoin);
}

QPen curvePen(const QColor& color) {
    return QPen(color, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

void drawTextAt(QPainter& painter, const QFontMetrics& metrics, QPoint topLeft, const QString& text,
                const QColor& color) {
    painter.setPen(color);
    painter.drawText(topLeft.x(), topLeft.y() + metrics.ascent(), text);
}

QRect textBounds(const QFontMetrics& metrics, QPoint topLeft, const QString& text) {
    const QRect ink =
        metrics.boundingRect(text).translated(topLeft.x(), topLeft.y() + metrics.ascent());
    const QRect cell(topLeft.x(), topLeft.y(), metrics.horizontalAdvance(text), metrics.height());
    return ink.united(cell).adjusted(-2, -2, 2, 2);
}

QRect lonePointMark(QPoint at) {
    constexpr int kHalf = 2;
    return QRect(at.x() - kHalf, at.y() - kHalf, 2 * kHalf + 1, 2 * kHalf + 1);
}

QRect readoutMarker(QPoint at) {
    return QRect(at.x() - kMarkerHalf, at.y() - kMarkerHalf, 2 * kMarkerHalf, 2 * kMarkerHalf);
}

QRegion drawReadout(QPainter* painter, const QFontMetrics& metrics, const PlotRect& plot, QPoint at,
                    const ChartPoint& point, char16_t unit, char16_t decimalSign) {
    const QRect marker = readoutMarker(at);
    const QString time = qstr(dateTimeText(point.time));
    const QString temperature =
        QLatin1Char(' ') + qstr(temperatureText(point.temperature, unit, decimalSign));
    QString humidity = QString::number(point.humidity);
    humidity = QLatin1Char(' ') + humidity.rightJustified(2, QLatin1Char(' ')) + QLatin1Char('%');

    const int wd = metrics.horizontalAdvance(time);
    const int timeX = at.x() + wd > plot.x1 - kRightEdgeRoom ? at.x() - kRightEdgeShift : at.x();
    const QPoint timeAt(timeX, plot.y0);
    const QPoint temperatureAt(timeX + wd, plot.y0);
    const QPoint humidityAt(temperatureAt.x() + metrics.horizontalAdvance(temperature), plot.y0);
    if (painter != nullptr) {
        painter->fillRect(marker, kMarkerColor);
        drawTextAt(*painter, metrics, timeAt, time, kBlack);
        drawTextAt(*painter, metrics, temperatureAt, temperature, kTemperatureColor);
        drawTextAt(*painter, metrics, humidityAt, humidity, kHumidityColor);
    }
    QRegion touched(marker);
    touched += textBounds(metrics, timeAt, time);
    touched += textBounds(metrics, temperatureAt, temperature);
    touched += textBounds(metrics, humidityAt, humidity);
    return touched;
}

} // namespace veldrin::chart
