#include "chart/comparison_chart.h"

#include "chart/chart_navigation.h"
#include "chart/hover_rule.h"
#include "core/temperature_unit.h"
#include "qlang/qlang.h"

#include <QPainter>

#include <algorithm>
#include <array>

namespace veldrin::chart {
namespace {

constexpr int kTickLength = 5;
// The legend below the time axis: each entry a sample of its curve's pen and its label, one after
// another, a row full going on in the next.
constexpr int kLegendEntryGap = 16;
constexpr int kLegendTop = 8;
constexpr int kLegendRowGap = 6;
constexpr int kSampleLength = 24;
constexpr int kSampleGap = 6;

// Eight colours apart from each other and from the background, the first two those of the time
// chart's curves.
constexpr std::array<QRgb, 8> kCurveColours{qRgb(255, 0, 0),   qRgb(0, 0, 255),   qRgb(0, 140, 0),
                                            qRgb(230, 120, 0), qRgb(140, 0, 190), qRgb(0, 150, 170),
                                            qRgb(110, 60, 20), qRgb(220, 0, 150)};

// The value scales that every curve shares, from the extremes of all of them (those of a chart
// without records when there are none).
PlotData sharedScales(const std::vector<PlotData>& data) {
    double tLow = 10000.0, tHigh = -10000.0;
    int hLow = 1000, hHigh = -1000;
    for (const PlotData& d : data) {
        if (d.lowestT) {
            tLow = std::min(tLow, d.lowestT->temperature);
            tHigh = std::max(tHigh, d.highestT->temperature);
        }
        if (d.lowestH) {
            hLow = std::min(hLow, d.lowestH->humidity);
            hHigh = std::max(hHigh, d.highestH->humidity);
        }
    }
    PlotData scales;
    scales.temperature = temperatureScale(tLow, tHigh);
    scales.humidity = humidityScale(hLow, hHigh);
    return scales;
}

// A tick from its axis outward, the axis pixel included (as the time chart draws its ticks).
void drawTick(QPainter& painter, QPoint axis, QPoint outward) {
    const QPoint last = axis + outward * (kTickLength - 1);
    painter.fillRect(QRect(QPoint(std::min(axis.x(), last.x()), std::min(axis.y(), last.y())),
                           QPoint(std::max(axis.x(), last.x()), std::max(axis.y(), last.y()))),
                     kBlack);
}

void drawFrameAndTimeAxis(QPainter& painter, const QFontMetrics& fm, const PlotRect& p,
                          const ComparisonInput& input) {
    painter.fillRect(QRect(QPoint(0, 0), input.size), kBackground);
    painter.setPen(thinPen(kBlack));
    painter.drawLine(p.x0, p.y0, p.x0, p.y1);
    painter.drawLine(p.x0, p.y1, p.x1, p.y1);
    painter.drawLine(p.x1, p.y0, p.x1, p.y1);
    const TimeAxis axis = timeAxis(input.start, input.end, p, [&fm](const std::u16string& t) {
        return fm.horizontalAdvance(qstr(t));
    });
    auto label = axis.labels.begin();
    for (const TimeTick& tick : axis.ticks) {
        drawTick(painter, QPoint(tick.x, p.y1), QPoint(0, -1));
        if (label != axis.labels.end() && label->x == tick.x) {
            drawTextAt(painter, fm, QPoint(tick.x, p.y1), qstr(label->text), kBlack);
            ++label;
        }
    }
}

// The shared value scale on the left axis, in black: the curves have colours of their own.
void drawValueAxis(QPainter& painter, const QFontMetrics& fm, const PlotRect& p,
                   const PlotData& scales, const ComparisonInput& input) {
    const bool isT = input.quantity == Curve::temperature;
    const std::vector<Tick> ticks =
        isT ? temperatureTicks(scales.temperature, p) : humidityTicks(scales.humidity, p);
    const char16_t unit = input.fahrenheit ? u'F' : u'C';
    for (const Tick& tick : ticks) {
        drawTick(painter, QPoint(p.x0, tick.position), QPoint(-1, 0));
        const QString label = qstr(isT ? temperatureText(tick.value, unit, input.decimalSign)
                                       : humidityText(static_cast<int>(tick.value)));
        drawTextAt(painter, fm,
                   QPoint(p.x0 - fm.horizontalAdvance(label) - kTickLength, tick.position), label,
                   kBlack);
    }
}

} // namespace

QColor comparisonColor(std::size_t position) {
    return QColor(kCurveColours[position % kCurveColours.size()]);
}

void drawComparisonReadout(QPainter& painter, const ComparisonReadout& readout) {
    if (readout.texts.empty()) {
        return;
    }
    for (const QRect& marker : readout.markers) {
        painter.fillRect(marker, kMarkerColor);
    }
    painter.setFont(readout.font);
    const QFontMetrics fm(readout.font);
    for (const ComparisonReadout::Text& t : readout.texts) {
        drawTextAt(painter, fm, t.at, t.text, t.color);
    }
}

// The curves with their time orders: an order given is taken, one made before for the same
// records is kept, any other is made once here.
void ComparisonChart::takeCurves(const std::vector<ComparedCurve>& curves) {
    std::vector<ComparedCurve> taken = curves;
    for (ComparedCurve& c : taken) {
        if (c.order || !c.records) {
            continue;
        }
        const auto made = std::find_if(curves_.begin(), curves_.end(),
                                       [&c](const auto& old) { return old.records == c.records; });
        c.order = made != curves_.end() && made->order
                      ? made->order
                      : std::make_shared<const TimeOrder>(*c.records);
    }
    curves_ = std::move(taken);
}

void ComparisonChart::letGo() {
    curves_.clear();
    data_.clear();
    legend_.clear();
    image_ = QImage();
    key_ = Key{};
    drawn_ = false;
}

ComparisonReadout ComparisonChart::readoutAt(QPoint cursor) const {
    ComparisonReadout out;
    const PlotRect& p = plot_;
    const ComparisonInput& in = key_.input;
    if (!drawn_ || image_.isNull() || cursor.x() < p.x0 || cursor.x() > p.x1 || cursor.y() < p.y0 ||
        cursor.y() > p.y1 || !(in.end > in.start)) {
        return out;
    }
    out.font = in.font;
    const QFontMetrics fm(in.font);
    const bool isT = in.quantity == Curve::temperature;
    const char16_t unit = in.fahrenheit ? u'F' : u'C';
    int width = 0;
    const auto add = [&](const QString& text, const QColor& color) {
        out.texts.push_back({QPoint(width, p.y0), text, color});
        width += fm.horizontalAdvance(text);
    };
    add(qstr(dateTimeText(timeAtPixel(cursor.x(), in.start, in.end, p))), kBlack);
    for (std::size_t i = 0; i < curves_.size(); ++i) {
        const ComparedCurve& c = curves_[i];
        const std::optional<std::size_t> found =
            c.records ? recordAtColumn(*c.records, *c.order, in.start, in.end, p, cursor.x())
                      : std::nullopt;
        if (!found) {
            continue;
        }
        const HistoryRecord& r = (*c.records)[*found];
        const double t = displayTemperature(r.temperature, in.fahrenheit);
        add(QLatin1Char(' ') +
                qstr(isT ? temperatureText(t, unit, in.decimalSign) : humidityText(r.humidity)),
            comparisonColor(i));
        const int y = isT ? mapTemperature(t, scales_.temperature, p)
                          : mapHumidity(r.humidity, scales_.humidity, p);
        out.markers.push_back(readoutMarker(QPoint(mapTime(r.timeValue, in.start, in.end, p), y)));
    }
    // From the cursor on, moved left as far as the line needs to end inside the plot.
    const int left = std::max(p.x0, std::min(cursor.x(), p.x1 - width));
    for (ComparisonReadout::Text& t : out.texts) {
        t.at.rx() += left;
        out.touched += textBounds(fm, t.at, t.text);
    }
    for (const QRect& marker : out.markers) {
        out.touched += marker;
    }
    return out;
}

const QImage& ComparisonChart::render(const std::vector<ComparedCurve>& curves,
                                      const ComparisonInput& input) {
    Key key;
    key.input = input;
    for (const ComparedCurve& c : curves) {
        key.records.emplace_back(c.records.get(), c.records ? c.records->size() : 0);
        key.labels.push_back(c.label);
    }
    if (!drawn_ || !(key == key_)) {
        takeCurves(curves);
        draw(curves, input);
        key_ = std::move(key);
        drawn_ = true;
    }
    return image_;
}

void ComparisonChart::drawLegend(QPainter& painter, const QFontMetrics& fm, const PlotRect& p,
                                 const std::vector<ComparedCurve>& curves) {
    const int lh = fm.height();
    QPoint at(p.x0, p.y1 + lh + kLegendTop);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const int room = p.x1 - p.x0 - kSampleLength - kSampleGap;
        const QString label = fm.elidedText(qstr(curves[i].label), Qt::ElideRight, room);
        const int width = kSampleLength + kSampleGap + fm.horizontalAdvance(label);
        if (at.x() > p.x0 && at.x() + width > p.x1) {
            at = QPoint(p.x0, at.y() + lh + kLegendRowGap);
        }
        painter.setPen(curvePen(comparisonColor(i)));
        painter.drawLine(at.x(), at.y() + lh / 2, at.x() + kSampleLength, at.y() + lh / 2);
        drawTextAt(painter, fm, QPoint(at.x() + kSampleLength + kSampleGap, at.y()), label, kBlack);
        legend_.push_back(QRect(at, QSize(width, lh)));
        at.rx() += width + kLegendEntryGap;
    }
}

void ComparisonChart::draw(const std::vector<ComparedCurve>& curves, const ComparisonInput& input) {
    legend_.clear();
    if (input.size.width() <= 0 || input.size.height() <= 0) {
        image_ = QImage();
        return;
    }
    ChartInput each;
    each.start = input.start;
    each.end = input.end;
    each.fahrenheit = input.fahrenheit;
    each.size = input.size;
    data_.resize(curves.size());
    static const RecordList kNone;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        buildPlotData(curves[i].records ? *curves[i].records : kNone, each, data_[i]);
    }
    const PlotData scales = sharedScales(data_);
    const PlotRect p = plotRect(input.size.width(), input.size.height());
    scales_ = scales;
    plot_ = p;
    for (PlotData& d : data_) {
        d.temperature = scales.temperature;
        d.humidity = scales.humidity;
        mapRuns(d, p);
    }
    image_ = QImage(input.size, QImage::Format_RGB32);
    QPainter painter(&image_);
    painter.setFont(input.font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    const QFontMetrics fm(input.font);
    drawFrameAndTimeAxis(painter, fm, p, input);
    drawValueAxis(painter, fm, p, scales, input);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        painter.setPen(curvePen(comparisonColor(i)));
        drawCurveRuns(painter, data_[i].runs, input.quantity, comparisonColor(i), p);
    }
    drawLegend(painter, fm, p, curves);
}

} // namespace veldrin::chart
