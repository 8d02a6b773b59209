#include "chart/chart_renderer.h"

#include "chart/hover_rule.h"

#include "core/latest_extreme.h"
#include "core/record_window.h"
#include "core/temperature_unit.h"
#include "qlang/qlang.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>

namespace veldrin::chart {
namespace {

constexpr int kTickLength = 5;
// Text lines of the summary boxes and the latest-reading panel start this far below the plot.
constexpr int kSummaryTop = 28;
constexpr int kTemperatureSummaryCentre = 164;
constexpr int kHumiditySummaryCentre = 436;
constexpr int kLatestLeft = 550;
// A 2-pixel pen touches one pixel beyond its line on every side, and a little more at the caps.
constexpr int kPenReach = 3;

RecordWindow windowOf(const ChartInput& input) {
    return RecordWindow(DateTime::fromValue(input.start), DateTime::fromValue(input.end));
}

// The records the window holds (core/record_window.h), their temperature in the display unit.
bool selectRecord(const HistoryRecord& r, const RecordWindow& window, bool fahrenheit,
                  double& temperature) {
    if (!window.holds(r)) {
        return false;
    }
    temperature = displayTemperature(r.temperature, fahrenheit);
    return true;
}

QRect lineBounds(int xa, int ya, int xb, int yb) {
    return QRect(QPoint(std::min(xa, xb), std::min(ya, yb)),
                 QPoint(std::max(xa, xb), std::max(ya, yb)))
        .adjusted(-kPenReach, -kPenReach, kPenReach, kPenReach);
}

// trunc(a / b) for a fixed b as the division gives it: by multiplying with 1/b, and dividing only
// where the product is too close to a whole number for the two to be sure to agree. Mapping a
// million points costs a division each otherwise.
class Quotient {
public:
    explicit Quotient(double b) : b_(b), inverse_(1.0 / b) {}
    int operator()(double a) const {
        const double q = a * inverse_;
        if (q > -kSure && q < kSure) {
            const auto whole = static_cast<int>(q);
            const double fraction = std::abs(q - whole);
            if (fraction > kMargin && fraction < 1 - kMargin) {
                return whole;
            }
        }
        return toPixel(a / b_);
    }

private:
    // Below 1e6 the product is within 1e-9 of the quotient.
    static constexpr double kSure = 1e6;
    static constexpr double kMargin = 1e-7;
    double b_;
    double inverse_;
};

bool touches(const QRegion* clip, const QRect& bounds) {
    return clip == nullptr || clip->intersects(bounds);
}

} // namespace

// ---- Plot data ---------------------------------------------------------------------------------

PlotData buildPlotData(const RecordList& records, const ChartInput& input) {
    PlotData d;
    buildPlotData(records, input, d);
    return d;
}

namespace {

// The pixel column of a time. Columns grow with the time, so the times of one column form an
// interval; the interval of the last column found (shrunk a little and checked at both ends) lets
// most records of an ordered history skip the mapping.
class ColumnOfTime {
public:
    ColumnOfTime(const ChartInput& input, const PlotRect& plot)
        : start_(input.start), span_(input.end - input.start), x0_(plot.x0),
          width_(plot.x1 - plot.x0), bySpan_(span_) {}

    int operator()(double time) {
        if (time >= low_ && time <= high_) {
            return x_;
        }
        x_ = exact(time);
        const double column = x_ - x0_;
        const double a = start_ + column * span_ / width_;
        const double b = start_ + (column + 1) * span_ / width_;
        const double margin = kRelativeMargin * (std::abs(a) + std::abs(b));
        low_ = std::max(a + margin, time);
        high_ = b - margin;
        if (!(low_ <= high_) || exact(low_) != x_ || exact(high_) != x_) {
            low_ = 1;
            high_ = 0;
        }
        return x_;
    }

    // The times known to fall into the column last returned (empty when none are).
    double low() const { return low_; }
    double high() const { return high_; }

private:
    static constexpr double kRelativeMargin = 1e-12;
    int exact(double time) const { return x0_ + bySpan_((time - start_) * width_); }
    double start_, span_;
    int x0_;
    double width_;
    Quotient bySpan_;
    double low_ = 1, high_ = 0;
    int x_ = 0;
};

} // namespace

namespace {

// The extremes of the selected records and the records holding them (core/latest_extreme.h).
// Without records the scales are made from these bounds.
struct Extremes {
    Highest<double> hiT;
    Lowest<double> loT;
    Highest<int> hiH;
    Lowest<int> loH;
    double tMax() const { return hiT.any() ? hiT.value : -10000.0; }
    double tMin() const { return loT.any() ? loT.value : 10000.0; }
    int hMax() const { return hiH.any() ? hiH.value : -1000; }
    int hMin() const { return loH.any() ? loH.value : 1000; }
};

// One pass over every record; used where no runs are built (a window of no length).
Extremes extremesOfRecords(const RecordList& records, const RecordWindow& window, bool fahrenheit) {
    Extremes e;
    for (std::size_t i = 0; i < records.size(); ++i) {
        double t = 0;
        if (!selectRecord(records[i], window, fahrenheit, t)) {
            continue;
        }
        const int h = records[i].humidity;
        e.hiT.offer(t, i);
        e.loT.offer(t, i);
        e.hiH.offer(h, i);
        e.loH.offer(h, i);
    }
    return e;
}

// The extremes from the runs, which hold every selected record in list order: the run holding
// each extreme is found from the runs' own extremes, and its record among the run's records, by
// the same rule, so that the result is the pass over the records' without visiting them all.
Extremes extremesOfRuns(const RecordList& records, const RecordWindow& window, bool fahrenheit,
                        const std::vector<PlotData::Run>& runs) {
    Highest<double> hiT;
    Lowest<double> loT;
    Highest<int> hiH;
    Lowest<int> loH;
    for (std::size_t j = 0; j < runs.size(); ++j) {
        hiT.offer(runs[j].highT, j);
        loT.offer(runs[j].lowT, j);
        hiH.offer(runs[j].highH, j);
        loH.offer(runs[j].lowH, j);
    }
    Extremes e;
    const auto within = [&](const auto& run, auto& extreme, auto valueOf) {
        if (!run.any()) {
            return;
        }
        const PlotData::Run& r = runs[run.record];
        for (std::size_t i = r.firstRecord; i <= r.lastRecord; ++i) {
            double t = 0;
            if (selectRecord(records[i], window, fahrenheit, t)) {
                extreme.offer(valueOf(t, records[i].humidity), i);
            }
        }
    };
    within(hiT, e.hiT, [](double t, int) { return t; });
    within(loT, e.loT, [](double t, int) { return t; });
    within(hiH, e.hiH, [](double, int h) { return h; });
    within(loH, e.loH, [](double, int h) { return h; });
    return e;
}

// The runs of the selected records, in list order. Most records of an ordered history fall into
// the column of the run being built and are taken by one test; the others go through the full
// selection and the column mapping. The run is kept in locals so that it stays in registers.
template <bool Fahrenheit>
void buildRuns(const RecordList& records, const ChartInput& input, const RecordWindow& window,
               const PlotRect& plot, std::vector<PlotData::Run>& runs) {
    ColumnOfTime columnOf(input, plot);
    // Ordered histories give at most one run per column (and one more for a final column).
    runs.reserve(static_cast<std::size_t>(std::max(0, plot.x1 - plot.x0)) + 2);
    // The record times the window holds as a range of days (those from 1899 on).
    const double start = window.firstDay();
    const double end = window.lastDay();
    constexpr auto kValid = static_cast<uint8_t>(DateTimeStatus::valid);
    // isCountedTemperature() without its call, so that the test stays one expression.
    constexpr double kFinite = std::numeric_limits<double>::max();
    // The times that extend the current run at once: its column's, within the window.
    double low = 1;
    double high = 0;
    bool inRun = false;
    int x = 0;
    std::size_t firstRecord = 0, lastRecord = 0;
    double lowT = 0, highT = 0, firstT = 0, lastT = 0;
    int lowH = 0, highH = 0, firstH = 0, lastH = 0;
    const auto closeRun = [&] {
        runs.push_back(PlotData::Run{x,
                                     firstRecord,
                                     lastRecord,
                                     lowT,
                                     highT,
                                     firstT,
                                     lastT,
                                     lowH,
                                     highH,
                                     firstH,
                                     lastH,
                                     {},
                                     {}});
    };
    const HistoryRecord* const record = records.data();
    const std::size_t count = records.size();
    std::size_t i = 0;
    while (i < count) {
        const HistoryRecord& r = record[i];
        double t = 0;
        if (!selectRecord(r, window, Fahrenheit, t)) {
            ++i;
            continue;
        }
        const int h = r.humidity;
        const int column = columnOf(r.timeValue);
        low = std::max(columnOf.low(), start);
        high = std::min(columnOf.high(), end);
        if (inRun && column == x) {
            lowT = std::min(lowT, t);
            highT = std::max(highT, t);
            lowH = std::min(lowH, h);
            highH = std::max(highH, h);
        } else {
            if (inRun) {
                closeRun();
            }
            inRun = true;
            x = column;
            firstRecord = i;
            lowT = highT = firstT = t;
            lowH = highH = firstH = h;
        }
        // The records after it that extend the run at once; only the last of them is its last.
        std::size_t next = i + 1;
        for (; next < count; ++next) {
            const HistoryRecord& q = record[next];
            const double time = q.timeValue;
            const double tq = displayTemperature(q.temperature, Fahrenheit);
            const bool extends = (q.timeStatus == kValid) & (time >= low) & (time <= high) &
                                 (std::abs(displayTemperature(q.temperature, true)) <= kFinite);
            if (!extends) {
                break;
            }
            lowT = std::min(lowT, tq);
            highT = std::max(highT, tq);
            lowH = std::min<int>(lowH, q.humidity);
            highH = std::max<int>(highH, q.humidity);
        }
        lastRecord = next - 1;
        lastT = displayTemperature(record[lastRecord].temperature, Fahrenheit);
        lastH = record[lastRecord].humidity;
        i = next;
    }
    if (inRun) {
        closeRun();
    }
}

} // namespace

void buildPlotData(const RecordList& records, const ChartInput& input, PlotData& d) {
    d.highestT = d.lowestT = d.highestH = d.lowestH = d.latest = std::nullopt;
    d.runs.clear();
    if (!records.empty()) {
        const HistoryRecord& r = records.back();
        d.latest = ChartPoint{r.timeValue, displayTemperature(r.temperature, input.fahrenheit),
                              r.humidity, records.size() - 1};
    }
    const PlotRect plot = plotRect(input.size.width(), input.size.height());
    const bool maps = input.end - input.start > 0;
    Extremes ex;
    const RecordWindow window = windowOf(input);
    if (maps) {
        if (input.fahrenheit) {
            buildRuns<true>(records, input, window, plot, d.runs);
        } else {
            buildRuns<false>(records, input, window, plot, d.runs);
        }
        ex = extremesOfRuns(records, window, input.fahrenheit, d.runs);
    } else {
        ex = extremesOfRecords(records, window, input.fahrenheit);
    }
    auto pointAt = [&](const auto& extreme) -> std::optional<ChartPoint> {
        if (!extreme.any()) {
            return std::nullopt;
        }
        const HistoryRecord& r = records[extreme.record];
        return ChartPoint{r.timeValue, displayTemperature(r.temperature, input.fahrenheit),
                          r.humidity, extreme.record};
    };
    d.highestT = pointAt(ex.hiT);
    d.lowestT = pointAt(ex.loT);
    d.highestH = pointAt(ex.hiH);
    d.lowestH = pointAt(ex.loH);
    d.temperature = temperatureScale(ex.tMin(), ex.tMax());
    d.humidity = humidityScale(ex.hMin(), ex.hMax());
    d.drawsPoints = !d.runs.empty();
    mapRuns(d, plot);
}

void mapRuns(PlotData& d, const PlotRect& plot) {
    for (PlotData::Run& each : d.runs) {
        const int a = mapTemperature(each.lowT, d.temperature, plot);
        const int b = mapTemperature(each.highT, d.temperature, plot);
        each.t = {std::min(a, b), std::max(a, b), mapTemperature(each.firstT, d.temperature, plot),
                  mapTemperature(each.lastT, d.temperature, plot)};
        const int c = mapHumidity(each.lowH, d.humidity, plot);
        const int e = mapHumidity(each.highH, d.humidity, plot);
        each.h = {std::min(c, e), std::max(c, e), mapHumidity(each.firstH, d.humidity, plot),
                  mapHumidity(each.lastH, d.humidity, plot)};
    }
}

namespace {

// mapHumidity for a limit, which need not be a whole percent.
int mapHumidityLimit(double h, const HumidityScale& scale, const PlotRect& plot) {
    const int divisor = scale.min - scale.max;
    return divisor == 0 ? plot.y0
                        : plot.y0 + toPixel((h - scale.max) * (plot.y1 - plot.y0) / divisor);
}

} // namespace

std::vector<LimitLine> limitLines(const PlotData& d, const ChartInput& input) {
    std::vector<LimitLine> lines;
    if (!d.drawsPoints) {
        return lines;
    }
    const PlotRect plot = plotRect(input.size.width(), input.size.height());
    for (const auto& limit : {input.limits.tempHigh, input.limits.tempLow}) {
        if (!limit) {
            continue;
        }
        const double t = displayTemperature(*limit, input.fahrenheit);
        if (t >= d.temperature.min && t <= d.temperature.max) {
            lines.push_back({Curve::temperature, mapTemperature(t, d.temperature, plot)});
        }
    }
    for (const auto& limit : {input.limits.humHigh, input.limits.humLow}) {
        if (limit && *limit >= d.humidity.min && *limit <= d.humidity.max) {
            lines.push_back({Curve::humidity, mapHumidityLimit(*limit, d.humidity, plot)});
        }
    }
    return lines;
}

std::optional<HoverHit> hoveredPoint(const RecordList& records, const ChartInput& input,
                                     const PlotData& d, Curve curve, QPoint cursor) {
    if (!d.drawsPoints) {
        return std::nullopt;
    }
    const PlotRect plot = plotRect(input.size.width(), input.size.height());
    const bool isT = curve == Curve::temperature;
    const RecordWindow window = windowOf(input);
    auto yOf = [&](double t, int h) {
        return isT ? mapTemperature(t, d.temperature, plot) : mapHumidity(h, d.humidity, plot);
    };
    // Runs in list order: the first run holding a point within reach holds the first such point.
    for (std::size_t j = 0; j < d.runs.size(); ++j) {
        const PlotData::Run& run = d.runs[j];
        const PlotData::Run::Pixels& px = isT ? run.t : run.h;
        if (!withinHoverReach(run.x, cursor.x()) || cursor.y() < px.low - kHoverReach ||
            cursor.y() > px.high + kHoverReach) {
            continue;
        }
        for (std::size_t i = run.firstRecord; i <= run.lastRecord; ++i) {
            double t = 0;
            if (!selectRecord(records[i], window, input.fahrenheit, t)) {
                continue;
            }
            const int y = yOf(t, records[i].humidity);
            if (!withinHoverReach(y, cursor.y())) {
                continue;
            }
            HoverHit hit{
                static_cast<int>(j), i,
                QPoint(run.x, y),    ChartPoint{records[i].timeValue, t, records[i].humidity, i},
                {y, y, 0, 0},        {y, y, 0, 0}};
            // The vertical extents of the run up to the point and from it on: the readout lies
            // over the first part and under the second.
            for (std::size_t k = run.firstRecord; k <= run.lastRecord; ++k) {
                double tk = 0;
                if (k == i || !selectRecord(records[k], window, input.fahrenheit, tk)) {
                    continue;
                }
                const int yk = yOf(tk, records[k].humidity);
                PlotData::Run::Pixels& part = k < i ? hit.before : hit.after;
                part.low = std::min(part.low, yk);
                part.high = std::max(part.high, yk);
            }
            return hit;
        }
    }
    return std::nullopt;
}

// ---- Renderer ----------------------------------------------------------------------------------

struct ChartRenderer::Op {
    enum class Kind { fill, line, text, curve };
    Kind kind = Kind::fill;
    QRect bounds;
    QColor color;
    QPen pen;
    QRect rect;
    QLine line;
    QPoint at;
    QString text;
    Curve curve = Curve::temperature;
};

ChartRenderer::ChartRenderer() : metrics_(QFont()) {}
ChartRenderer::~ChartRenderer() = default;

ChartRenderer::DataKey ChartRenderer::keyOf(const RecordList& records, const ChartInput& input) {
    DataKey k;
    k.generation = input.dataGeneration;
    k.storage = records.data();
    k.count = records.size();
    if (!records.empty()) {
        k.firstTime = records.front().timeValue;
        k.lastTime = records.back().timeValue;
        k.lastTemperature = records.back().temperature;
    }
    k.start = input.start;
    k.end = input.end;
    k.fahrenheit = input.fahrenheit;
    k.size = input.size;
    k.limits = input.limits;
    return k;
}

void ChartRenderer::takeRecords(const RecordList& records, const ChartInput& input) {
    const DataKey key = keyOf(records, input);
    if (!haveData_ || !(key == dataKey_)) {
        buildPlotData(records, input, data_);
        dataKey_ = key;
        haveData_ = true;
        hitsFor_.reset();
    }
    takeHits(records, input);
}

void ChartRenderer::takeHits(const RecordList& records, const ChartInput& input) {
    if (hitsFor_ == input.hover && hitsFor_.has_value()) {
        return;
    }
    hits_ = {};
    hitsFor_ = input.hover;
    if (input.hover) {
        hits_.temperature = hoveredPoint(records, input, data_, Curve::temperature, *input.hover);
        hits_.humidity = hoveredPoint(records, input, data_, Curve::humidity, *input.hover);
    }
}

void ChartRenderer::buildOps(const ChartInput& input) {
    ops_.clear();
    summaryValues_.clear();
    const QFontMetrics& fm = metrics_;
    const PlotRect& p = plot_;
    const int w = input.size.width();
    const int h = input.size.height();
    const int lh = fm.height();
    QColor textColor = kBlack;

    auto fill = [&](const QRect& r, const QColor& c) {
        Op op;
        op.kind = Op::Kind::fill;
        op.rect = r;
        op.bounds = r;
        op.color = c;
        ops_.push_back(op);
    };
    // A tick runs from its axis outward over kTickLength pixels: the axis pixel included, the
    // pixel kTickLength away not, as every line of the chart takes its first pixel and not its
    // last.
    auto drawTick = [&](const QColor& c, QPoint axis, QPoint outward) {
        const QPoint last = axis + outward * (kTickLength - 1);
        fill(QRect(QPoint(std::min(axis.x(), last.x()), std::min(axis.y(), last.y())),
                   QPoint(std::max(axis.x(), last.x()), std::max(axis.y(), last.y()))),
             c);
    };
    auto line = [&](const QPen& pen, int xa, int ya, int xb, int yb) {
        Op op;
        op.kind = Op::Kind::line;
        op.pen = pen;
        op.line = QLine(xa, ya, xb, yb);
        op.bounds = lineBounds(xa, ya, xb, yb);
        ops_.push_back(op);
    };
    auto text = [&](QPoint at, const QString& t) {
        Op op;
        op.kind = Op::Kind::text;
        op.at = at;
        op.text = t;
        op.color = textColor;
        op.bounds = textBounds(fm, at, t);
        ops_.push_back(op);
    };
    auto centred = [&](int centre, int top, const QString& t) {
        text(QPoint(centre - fm.horizontalAdvance(t) / 2, top), t);
    };
    // A text that shows a record's value: clicking it jumps to the record.
    auto valueOf = [&](const ChartPoint& point) {
        const Op& shown = ops_.back();
        summaryValues_.push_back(
            {QRect(shown.at, QSize(fm.horizontalAdvance(shown.text), lh)), point});
    };
    auto curve = [&](Curve c) {
        Op op;
        op.kind = Op::Kind::curve;
        op.curve = c;
        op.bounds = QRect(0, 0, w, h);
        ops_.push_back(op);
    };

    // Background, summary boxes, frame (no top line).
    fill(QRect(0, 0, w, h), kBackground);
    fill(QRect(QPoint(58, p.y1 + lh), QPoint(259, p.y1 + 6 * lh - 1)), kBoxColor);
    fill(QRect(QPoint(328, p.y1 + lh), QPoint(534, p.y1 + 6 * lh - 1)), kBoxColor);
    const QPen frame = thinPen(kBlack);
    line(frame, p.x0, p.y0, p.x0, p.y1);
    line(frame, p.x0, p.y1, p.x1, p.y1);
    line(frame, p.x1, p.y0, p.x1, p.y1);

    // Time axis: a label that would start left of the end of the previous one is left out.
    const TimeAxis axis = timeAxis(input.start, input.end, p, [&](const std::u16string& t) {
        return fm.horizontalAdvance(qstr(t));
    });
    // Each label is drawn right after its tick.
    auto label = axis.labels.begin();
    for (const TimeTick& tick : axis.ticks) {
        drawTick(kBlack, QPoint(tick.x, p.y1), QPoint(0, -1));
        if (label != axis.labels.end() && label->x == tick.x) {
            text(QPoint(tick.x, p.y1), qstr(label->text));
            ++label;
        }
    }

    // Under the curves and their ticks, inside the frame.
    for (const LimitLine& limit : limitLines(data_, input)) {
        const QColor& color =
            limit.curve == Curve::temperature ? kTemperatureColor : kHumidityColor;
        line(limitPen(color), p.x0 + 1, limit.y, p.x1 - 1, limit.y);
    }

    const char16_t unit = unit_;
    const char16_t sign = input.texts.decimalSign;
    for (const Tick& tick : temperatureTicks(data_.temperature, p)) {
        drawTick(kTemperatureColor, QPoint(p.x0, tick.position), QPoint(-1, 0));
        const QString label = qstr(temperatureText(tick.value, unit, sign));
        textColor = kTemperatureColor;
        text(QPoint(p.x0 - fm.horizontalAdvance(label) - kTickLength, tick.position), label);
    }
    // A readout leaves the text colour at the curve's colour, which the ticks of any chart
    // with points have set already.
    curve(Curve::temperature);
    line(curvePen(kTemperatureColor), 150, p.y1 + (3 * lh) / 2, 250, p.y1 + (3 * lh) / 2);
    text(QPoint(58, p.y1 + lh), qstr(input.texts.temperatureLegend));

    for (const Tick& tick : humidityTicks(data_.humidity, p)) {
        drawTick(kHumidityColor, QPoint(p.x1, tick.position), QPoint(1, 0));
        textColor = kHumidityColor;
        text(QPoint(p.x1, tick.position - lh), qstr(humidityText(static_cast<int>(tick.value))));
    }
    curve(Curve::humidity);
    line(curvePen(kHumidityColor), 400, p.y1 + (3 * lh) / 2, 500, p.y1 + (3 * lh) / 2);
    text(QPoint(328, p.y1 + lh), qstr(input.texts.humidityLegend));

    auto temperatureLine = [&](const ChartPoint& r) {
        return qstr(temperatureText(r.temperature, unit, sign) + u' ' + dateTimeText(r.time));
    };
    auto humidityLine = [&](const ChartPoint& r) {
        return qstr(humidityText(r.humidity) + u' ' + dateTimeText(r.time));
    };
    const int top = p.y1 + kSummaryTop;
    if (data_.highestT) {
        textColor = kTemperatureColor;
        centred(kTemperatureSummaryCentre, top, qstr(input.texts.highest));
        centred(kTemperatureSummaryCentre, top + lh, temperatureLine(*data_.highestT));
        valueOf(*data_.highestT);
    }
    if (data_.lowestT) {
        centred(kTemperatureSummaryCentre, top + 2 * lh, qstr(input.texts.lowest));
        centred(kTemperatureSummaryCentre, top + 3 * lh, temperatureLine(*data_.lowestT));
        valueOf(*data_.lowestT);
    }
    if (data_.highestH) {
        textColor = kHumidityColor;
        centred(kHumiditySummaryCentre, top, qstr(input.texts.highest));
        centred(kHumiditySummaryCentre, top + lh, humidityLine(*data_.highestH));
        valueOf(*data_.highestH);
    }
    if (data_.lowestH) {
        centred(kHumiditySummaryCentre, top + 2 * lh, qstr(input.texts.lowest));
        centred(kHumiditySummaryCentre, top + 3 * lh, humidityLine(*data_.lowestH));
        valueOf(*data_.lowestH);
    }
    if (data_.latest && data_.latest->time != 0.0) {
        const ChartPoint& r = *data_.latest;
        textColor = kBlack;
        text(QPoint(kLatestLeft, top), qstr(input.texts.latest));
        text(QPoint(kLatestLeft, top + lh), qstr(input.texts.latestTemperature + u' ' +
                                                 temperatureText(r.temperature, unit, sign)));
        valueOf(r);
        text(QPoint(kLatestLeft, top + 2 * lh),
             qstr(input.texts.latestHumidity + u' ' + humidityText(r.humidity)));
        valueOf(r);
        text(QPoint(kLatestLeft, top + 3 * lh),
             qstr(input.texts.latestTime + u' ' + dateTimeText(r.time)));
        valueOf(r);
    }
}

namespace {

// A vertical line of the curve pen covers a rectangle; filling it is much cheaper than stroking.
// Which rectangle is learnt once from the paint engine itself, so that both give the same pixels;
// if the pen does not draw rectangles, verticals are stroked like every other segment.
struct VerticalShape {
    bool usable = false;
    QRect relative; // for a line from (0, 0) to (0, length): this rectangle, height + length
};

std::optional<QRect> paintedBounds(const QPen& pen, int length, bool& solid) {
    constexpr int kOrigin = 8;
    QImage scratch(2 * kOrigin + 1, 2 * kOrigin + length + 1, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter painter(&scratch);
        painter.setPen(pen);
        painter.drawLine(kOrigin, kOrigin, kOrigin, kOrigin + length);
    }
    QRect bounds;
    int painted = 0;
    for (int y = 0; y < scratch.height(); ++y) {
        for (int x = 0; x < scratch.width(); ++x) {
            if (scratch.pixel(x, y) != QColor(Qt::white).rgb()) {
                bounds |= QRect(x, y, 1, 1);
                ++painted;
            }
        }
    }
    solid = painted == bounds.width() * bounds.height();
    if (bounds.isEmpty()) {
        return std::nullopt;
    }
    return bounds.translated(-kOrigin, -kOrigin);
}

const VerticalShape& verticalShape() {
    static const VerticalShape shape = [] {
        VerticalShape s;
        const QPen pen = curvePen(kTemperatureColor);
        bool solidA = false;
        bool solidB = false;
        const auto a = paintedBounds(pen, 5, solidA);
        const auto b = paintedBounds(pen, 9, solidB);
        if (a && b && solidA && solidB && b->height() - a->height() == 4 && a->x() == b->x() &&
            a->y() == b->y() && a->width() == b->width()) {
            s.usable = true;
            s.relative = QRect(a->x(), a->y(), a->width(), a->height() - 5);
        }
        return s;
    }();
    return shape;
}

// The pixels of a curve segment from (0, 0) to (dx, dy), learnt from the paint engine once per
// direction: per column, the rows painted. Used to see whether the verticals of the two runs it
// joins already cover a segment, which then needs no stroking (same colour, same pass).
struct SegmentShape {
    bool known = false; // false: some column is not one span; always stroke it
    struct Span {
        int x, top, bottom;
    };
    std::vector<Span> spans;
};

const SegmentShape& segmentShape(int dx, int dy) {
    static std::map<std::pair<int, int>, SegmentShape> shapes;
    const auto found = shapes.find({dx, dy});
    if (found != shapes.end()) {
        return found->second;
    }
    SegmentShape shape;
    constexpr int kMargin = 4;
    const QPoint origin(kMargin + std::max(0, -dx), kMargin + std::max(0, -dy));
    QImage scratch(std::abs(dx) + 2 * kMargin + 1, std::abs(dy) + 2 * kMargin + 1,
                   QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter painter(&scratch);
        painter.setPen(curvePen(kTemperatureColor));
        painter.drawLine(origin, origin + QPoint(dx, dy));
    }
    shape.known = true;
    const QRgb white = QColor(Qt::white).rgb();
    for (int x = 0; x < scratch.width() && shape.known; ++x) {
        int top = -1;
        int bottom = -1;
        for (int y = 0; y < scratch.height(); ++y) {
            if (scratch.pixel(x, y) == white) {
                continue;
            }
            if (top >= 0 && bottom != y - 1) {
                shape.known = false;
            }
            top = top < 0 ? y : top;
            bottom = y;
        }
        if (top >= 0) {
            shape.spans.push_back({x - origin.x(), top - origin.y(), bottom - origin.y()});
        }
    }
    return shapes.emplace(std::make_pair(dx, dy), std::move(shape)).first->second;
}

} // namespace

void ChartRenderer::drawRuns(QPainter& painter, Curve curve, int first, int last,
                             const Vertical& firstVertical, const Vertical& lastVertical,
                             const QRegion* clip) const {
    drawCurveRuns(painter, data_.runs, curve,
                  curve == Curve::temperature ? kTemperatureColor : kHumidityColor, plot_,
                  {first, last, firstVertical, lastVertical}, clip);
}

void drawCurveRuns(QPainter& painter, const std::vector<PlotData::Run>& runs, Curve curve,
                   const QColor& color, const PlotRect& plot, const CurvePart& part,
                   const QRegion* clip) {
    const bool isT = curve == Curve::temperature;
    const int first = part.first;
    const int last = part.last < 0 ? static_cast<int>(runs.size()) - 1 : part.last;
    const auto& firstVertical = part.firstVertical;
    const auto& lastVertical = part.lastVertical;
    // A run whose points all lie on one pixel is made of zero-length segments only.
    const VerticalShape& shape = verticalShape();
    auto verticalOf = [&](int j) -> const PlotData::Run::Pixels& {
        const PlotData::Run& run = runs[static_cast<std::size_t>(j)];
        if (j == first && firstVertical) {
            return *firstVertical;
        }
        if (j == last && lastVertical) {
            return *lastVertical;
        }
        return isT ? run.t : run.h;
    };
    auto verticalRect = [&](int x, const PlotData::Run::Pixels& px) {
        const QRect& r = shape.relative;
        return px.low < px.high
                   ? QRect(x + r.x(), px.low + r.y(), r.width(), r.height() + px.high - px.low)
                   : QRect();
    };
    // A segment wider than the two verticals, or taller than the plot, cannot be or need not be
    // found covered: it is stroked, which paints the same pixels, and no shape as large as the
    // segment is ever made (a damaged record time or value gives segments millions of pixels
    // long, clamped to kPixelLimit).
    const int widestCovered = 2 * shape.relative.width();
    const int tallestLearnt = std::abs(plot.y1 - plot.y0) + 2 * shape.relative.height();
    // Whether the segment between two runs lies wholly on their verticals.
    auto covered = [&](int ja, QPoint a, QPoint b) {
        if (!shape.usable || std::abs(b.x() - a.x()) > widestCovered ||
            std::abs(b.y() - a.y()) > tallestLearnt) {
            return false;
        }
        const SegmentShape& segment = segmentShape(b.x() - a.x(), b.y() - a.y());
        if (!segment.known) {
            return false;
        }
        const QRect before = verticalRect(a.x(), verticalOf(ja));
        const QRect after = verticalRect(b.x(), verticalOf(ja + 1));
        for (const SegmentShape::Span& span : segment.spans) {
            const QRect column(a.x() + span.x, a.y() + span.top, 1, span.bottom - span.top + 1);
            if (!before.contains(column) && !after.contains(column)) {
                return false;
            }
        }
        return true;
    };
    auto vertical = [&](int x, const PlotData::Run::Pixels& px) {
        if (px.low >= px.high || !touches(clip, lineBounds(x, px.low, x, px.high))) {
            return;
        }
        if (shape.usable) {
            const QRect& r = shape.relative;
            painter.fillRect(x + r.x(), px.low + r.y(), r.width(), r.height() + px.high - px.low,
                             color);
        } else {
            painter.drawLine(x, px.low, x, px.high);
        }
    };
    for (int j = first; j <= last; ++j) {
        const PlotData::Run& run = runs[static_cast<std::size_t>(j)];
        const PlotData::Run::Pixels& px = isT ? run.t : run.h;
        if (j > first) {
            const PlotData::Run& before = runs[static_cast<std::size_t>(j - 1)];
            const int ya = isT ? before.t.last : before.h.last;
            if (touches(clip, lineBounds(before.x, ya, run.x, px.first)) &&
                !covered(j - 1, QPoint(before.x, ya), QPoint(run.x, px.first))) {
                painter.drawLine(before.x, ya, run.x, px.first);
            }
        }
        if (j == first && firstVertical) {
            vertical(run.x, *firstVertical);
        } else if (j == last && lastVertical) {
            vertical(run.x, *lastVertical);
        } else {
            vertical(run.x, px);
        }
    }
}

// A curve of one run on one pixel has no segment of any length: its point is marked instead.
std::optional<QRect> ChartRenderer::lonePoint(Curve curve) const {
    if (data_.runs.size() != 1) {
        return std::nullopt;
    }
    const PlotData::Run& run = data_.runs.front();
    const PlotData::Run::Pixels& px = curve == Curve::temperature ? run.t : run.h;
    if (px.low != px.high) {
        return std::nullopt;
    }
    return lonePointMark(QPoint(run.x, px.low));
}

void ChartRenderer::execute(QPainter& painter, const Readouts& readouts,
                            const QRegion* clip) const {
    const int last = static_cast<int>(data_.runs.size()) - 1;
    for (const Op& op : ops_) {
        if (!touches(clip, op.bounds)) {
            continue;
        }
        switch (op.kind) {
        case Op::Kind::fill:
            painter.fillRect(clip == nullptr ? op.rect : op.rect & clip->boundingRect(), op.color);
            break;
        case Op::Kind::line:
            painter.setPen(op.pen);
            painter.drawLine(op.line);
            break;
        case Op::Kind::text:
            drawTextAt(painter, metrics_, op.at, op.text, op.color);
            break;
        case Op::Kind::curve: {
            const bool isT = op.curve == Curve::temperature;
            const QPen pen = curvePen(isT ? kTemperatureColor : kHumidityColor);
            const std::optional<HoverHit>& hit = isT ? readouts.temperature : readouts.humidity;
            painter.setPen(pen);
            if (const auto mark = lonePoint(op.curve); mark && touches(clip, *mark)) {
                painter.fillRect(*mark, isT ? kTemperatureColor : kHumidityColor);
            }
            if (!hit) {
                drawRuns(painter, op.curve, 0, last, std::nullopt, std::nullopt, clip);
                break;
            }
            // The readout lies over the segments up to its point and under the later ones.
            drawRuns(painter, op.curve, 0, hit->run, std::nullopt, hit->before, clip);
            drawReadout(&painter, metrics_, plot_, hit->at, hit->point, unit_, decimalSign_);
            painter.setPen(pen);
            drawRuns(painter, op.curve, hit->run, last, hit->after, std::nullopt, clip);
            break;
        }
        }
    }
}

QRegion ChartRenderer::readoutRegion(const Readouts& readouts) const {
    QRegion region;
    for (const auto* hit : {&readouts.temperature, &readouts.humidity}) {
        if (*hit) {
            region += drawReadout(nullptr, metrics_, plot_, (*hit)->at, (*hit)->point, unit_,
                                  decimalSign_);
        }
    }
    return region.intersected(QRect(QPoint(0, 0), base_.size()));
}

namespace {

void copyRegion(const QImage& from, QImage& to, const QRegion& region) {
    constexpr std::size_t kPixelBytes = 4;
    for (const QRect& r : region) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            std::memcpy(to.scanLine(y) + static_cast<std::size_t>(r.left()) * kPixelBytes,
                        from.constScanLine(y) + static_cast<std::size_t>(r.left()) * kPixelBytes,
                        static_cast<std::size_t>(r.width()) * kPixelBytes);
        }
    }
}

} // namespace

const QImage& ChartRenderer::render(const ChartInput& input) {
    if (input.size.width() <= 0 || input.size.height() <= 0) {
        shown_ = QImage();
        haveBase_ = false;
        return shown_;
    }
    if (!haveBase_ || !(baseDataKey_ == dataKey_) || !(baseFont_ == input.font) ||
        !(baseTexts_ == input.texts)) {
        font_ = input.font;
        metrics_ = QFontMetrics(font_);
        plot_ = plotRect(input.size.width(), input.size.height());
        unit_ = input.fahrenheit ? u'F' : u'C';
        decimalSign_ = input.texts.decimalSign;
        buildOps(input);
        base_ = QImage(input.size, QImage::Format_RGB32);
        if (drawObserver_) {
            drawObserver_();
        }
        {
            QPainter painter(&base_);
            painter.setFont(font_);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            execute(painter, Readouts{}, nullptr);
        }
        shown_ = base_.copy();
        if (scratch_.size() != base_.size()) {
            scratch_ = QImage(base_.size(), base_.format());
        }
        shownReadouts_ = QRegion();
        shownHits_ = Readouts{};
        shownBand_ = QRect();
        haveBase_ = true;
        baseDataKey_ = dataKey_;
        baseFont_ = input.font;
        baseTexts_ = input.texts;
    }
    const Readouts wanted = hitsFor_ == input.hover ? hits_ : Readouts{};
    const QRect band = bandRect(input.band);
    if (wanted == shownHits_ && band == shownBand_) {
        return shown_;
    }
    copyRegion(base_, shown_, shownReadouts_);
    const QRegion region = readoutRegion(wanted);
    if (!region.isEmpty()) {
        if (drawObserver_) {
            drawObserver_();
        }
        // Everything that touches the readouts is drawn again, in order, on a scratch copy of
        // them. Not through a clip: a clipped stroke may be cut at the clip and end differently.
        copyRegion(base_, scratch_, region);
        {
            QPainter painter(&scratch_);
            painter.setFont(font_);
            painter.setRenderHint(QPainter::Antialiasing, false);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            execute(painter, wanted, &region);
        }
        copyRegion(scratch_, shown_, region);
    }
    // The band lies over everything, readouts included.
    if (!band.isEmpty()) {
        QPainter painter(&shown_);
        painter.fillRect(band, kBandColor);
    }
    shownReadouts_ = region + band;
    shownHits_ = wanted;
    shownBand_ = band;
    return shown_;
}

QImage ChartRenderer::renderAtRatio(const ChartInput& input, qreal ratio) {
    const QImage& oneX = render(input);
    if (oneX.isNull() || ratio == 1.0) {
        return oneX.copy();
    }
    const QSize device(qRound(input.size.width() * ratio), qRound(input.size.height() * ratio));
    QImage image(device, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(kBackground);
    {
        QPainter painter(&image);
        painter.setFont(font_);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        execute(painter, shownHits_, nullptr);
        if (!shownBand_.isEmpty()) {
            painter.fillRect(shownBand_, kBandColor);
        }
    }
    return image;
}

QRect ChartRenderer::bandRect(const std::optional<std::pair<int, int>>& band) const {
    if (!band) {
        return QRect();
    }
    const auto [a, b] = std::minmax(band->first, band->second);
    return QRect(QPoint(a, plot_.y0), QPoint(b, plot_.y1)) & QRect(QPoint(0, 0), base_.size());
}

std::optional<ChartPoint> ChartRenderer::summaryValueAt(QPoint at) const {
    for (const SummaryValue& value : summaryValues_) {
        if (value.bounds.contains(at)) {
            return value.point;
        }
    }
    return std::nullopt;
}

} // namespace veldrin::chart
