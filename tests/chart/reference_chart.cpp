#include "chart/reference_chart.h"

#include "core/record_window.h"
#include "qlang/qlang.h"

#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <vector>

namespace veldrin::chart {

QImage renderReferenceChart(const RecordList& records, const ChartInput& input) {
    const int w = input.size.width();
    const int h = input.size.height();
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(input.font);
    const QFontMetrics fm(input.font);
    const int lh = fm.height();
    const PlotRect r = plotRect(w, h);
    const char16_t unit = input.fahrenheit ? u'F' : u'C';
    // Every temperature drawn in the texts' decimal sign.
    const auto temperatureText = [&input](double value, char16_t u) {
        std::u16string text = chart::temperatureText(value, u);
        std::replace(text.begin(), text.end(), u'.', input.texts.decimalSign);
        return text;
    };
    QColor textColor = kBlack;
    auto text = [&](int x, int y, const QString& t) { drawTextAt(p, fm, {x, y}, t, textColor); };
    // Ticks from the axis outward, five pixels, the axis pixel first (not the pixel 5 away).
    auto drawTick = [&](const QColor& color, int x, int y, int dx, int dy) {
        for (int i = 0; i < 5; ++i) {
            p.fillRect(x + i * dx, y + i * dy, 1, 1, color);
        }
    };
    auto centred = [&](int c, int y, const QString& t) {
        text(c - fm.horizontalAdvance(t) / 2, y, t);
    };

    p.fillRect(QRect(0, 0, w, h + kSurfaceTop), kBackground);
    p.fillRect(QRect(QPoint(r.x0, r.y0), QPoint(r.x1 - 1, r.y1 - 1)), kBackground);
    p.fillRect(QRect(QPoint(58, r.y1 + lh), QPoint(259, r.y1 + 6 * lh - 1)), kBoxColor);
    p.fillRect(QRect(QPoint(328, r.y1 + lh), QPoint(534, r.y1 + 6 * lh - 1)), kBoxColor);
    p.setPen(thinPen(kBlack));
    p.drawLine(r.x0, r.y0, r.x0, r.y1);
    p.drawLine(r.x0, r.y1, r.x1, r.y1);
    p.drawLine(r.x1, r.y0, r.x1, r.y1);

    // The plot set: copies of the records in the window, in list order.
    double tMax = std::numeric_limits<double>::lowest(), tMin = std::numeric_limits<double>::max();
    int hMax = std::numeric_limits<int>::min(), hMin = std::numeric_limits<int>::max();
    std::vector<ChartPoint> plotSet;
    const ChartPoint* highestT = nullptr;
    const ChartPoint* lowestT = nullptr;
    const ChartPoint* highestH = nullptr;
    const ChartPoint* lowestH = nullptr;
    std::vector<std::size_t> hiT, loT, hiH, loH;
    ChartPoint latest;
    if (!records.empty()) {
        const HistoryRecord& last = records.back();
        latest = {last.timeValue, input.fahrenheit ? last.temperature * 1.8 + 32 : last.temperature,
                  last.humidity};
    }
    const RecordWindow window(DateTime::fromValue(input.start), DateTime::fromValue(input.end));
    for (const HistoryRecord& rec : records) {
        ChartPoint c{rec.timeValue, rec.temperature, rec.humidity};
        if (input.fahrenheit) {
            c.temperature = c.temperature * 1.8 + 32;
        }
        if (!window.holds(rec)) {
            continue;
        }
        const std::size_t at = plotSet.size();
        if (c.temperature >= tMax) {
            tMax = c.temperature;
            hiT.push_back(at);
        }
        if (c.temperature <= tMin) {
            tMin = c.temperature;
            loT.push_back(at);
        }
        if (c.humidity >= hMax) {
            hMax = c.humidity;
            hiH.push_back(at);
        }
        if (c.humidity <= hMin) {
            hMin = c.humidity;
            loH.push_back(at);
        }
        plotSet.push_back(c);
    }
    if (plotSet.empty()) { // the scales without records
        tMax = -10000.0;
        tMin = 10000.0;
        hMax = -1000;
        hMin = 1000;
    } else {
        highestT = &plotSet[hiT.back()];
        lowestT = &plotSet[loT.back()];
        highestH = &plotSet[hiH.back()];
        lowestH = &plotSet[loH.back()];
    }

    const TemperatureScale ts = temperatureScale(tMin, tMax);
    const HumidityScale hs = humidityScale(hMin, hMax);

    const TimeAxis axis = timeAxis(input.start, input.end, r, [&](const std::u16string& t) {
        return fm.horizontalAdvance(qstr(t));
    });
    auto label = axis.labels.begin();
    for (const TimeTick& tick : axis.ticks) {
        drawTick(kBlack, tick.x, r.y1, 0, -1);
        if (label != axis.labels.end() && label->x == tick.x) {
            text(tick.x, r.y1, qstr(label->text));
            ++label;
        }
    }

    for (const Tick& tick : temperatureTicks(ts, r)) {
        drawTick(kTemperatureColor, r.x0, tick.position, -1, 0);
        const QString label = qstr(temperatureText(tick.value, unit));
        textColor = kTemperatureColor;
        text(r.x0 - fm.horizontalAdvance(label) - 5, tick.position, label);
    }

    const bool points = input.end - input.start > 0;
    auto curve = [&](const QColor& color, auto yOf) {
        const QPen pen = curvePen(color);
        p.setPen(pen);
        bool shown = false;
        if (plotSet.empty() || !points) {
            return;
        }
        auto pointOf = [&](const ChartPoint& c) {
            return QPoint(mapTime(c.time, input.start, input.end, r), yOf(c));
        };
        QPoint prev = pointOf(plotSet.front());
        if (std::all_of(plotSet.begin(), plotSet.end(),
                        [&](const ChartPoint& c) { return pointOf(c) == prev; })) {
            p.fillRect(lonePointMark(prev), color);
        }
        for (const ChartPoint& c : plotSet) {
            const QPoint cur = pointOf(c);
            if (cur != prev) {
                p.drawLine(prev, cur);
            }
            if (input.hover && !shown && std::abs(input.hover->x() - cur.x()) < 2 &&
                std::abs(input.hover->y() - cur.y()) < 2) {
                drawReadout(&p, fm, r, cur, c, unit, input.texts.decimalSign);
                p.setPen(pen);
                textColor = color;
                shown = true;
            }
            prev = cur;
        }
    };
    curve(kTemperatureColor,
          [&](const ChartPoint& c) { return mapTemperature(c.temperature, ts, r); });
    p.setPen(curvePen(kTemperatureColor));
    p.drawLine(150, r.y1 + (3 * lh) / 2, 250, r.y1 + (3 * lh) / 2);
    text(58, r.y1 + lh, qstr(input.texts.temperatureLegend));

    for (const Tick& tick : humidityTicks(hs, r)) {
        drawTick(kHumidityColor, r.x1, tick.position, 1, 0);
        textColor = kHumidityColor;
        text(r.x1, tick.position - lh, qstr(humidityText(static_cast<int>(tick.value))));
    }
    curve(kHumidityColor, [&](const ChartPoint& c) { return mapHumidity(c.humidity, hs, r); });
    p.setPen(curvePen(kHumidityColor));
    p.drawLine(400, r.y1 + (3 * lh) / 2, 500, r.y1 + (3 * lh) / 2);
    text(328, r.y1 + lh, qstr(input.texts.humidityLegend));

    const int top = r.y1 + 28;
    if (highestT != nullptr) {
        textColor = kTemperatureColor;
        centred(164, top, qstr(input.texts.highest));
        centred(164, top + lh,
                qstr(temperatureText(highestT->temperature, unit) + u' ' +
                     dateTimeText(highestT->time)));
        centred(164, top + 2 * lh, qstr(input.texts.lowest));
        centred(
            164, top + 3 * lh,
            qstr(temperatureText(lowestT->temperature, unit) + u' ' + dateTimeText(lowestT->time)));
        textColor = kHumidityColor;
        centred(436, top, qstr(input.texts.highest));
        centred(436, top + lh,
                qstr(humidityText(highestH->humidity) + u' ' + dateTimeText(highestH->time)));
        centred(436, top + 2 * lh, qstr(input.texts.lowest));
        centred(436, top + 3 * lh,
                qstr(humidityText(lowestH->humidity) + u' ' + dateTimeText(lowestH->time)));
    }
    if (latest.time != 0.0) {
        textColor = kBlack;
        text(550, top, qstr(input.texts.latest));
        text(
            550, top + lh,
            qstr(input.texts.latestTemperature + u' ' + temperatureText(latest.temperature, unit)));
        text(550, top + 2 * lh,
             qstr(input.texts.latestHumidity + u' ' + humidityText(latest.humidity)));
        text(550, top + 3 * lh, qstr(input.texts.latestTime + u' ' + dateTimeText(latest.time)));
    }
    return image;
}

} // namespace veldrin::chart
