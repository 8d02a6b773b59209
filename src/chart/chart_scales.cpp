#include "chart/chart_scales.h"

#include "export/record_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace veldrin::chart {
namespace {

constexpr double kMinutesPerDay = 1440.0;
// More ticks than a screen has pixels could never be told apart; such a window (only a damaged
// picker value could make it) gets none.
constexpr double kMaxTimeTicks = 100000.0;

std::u16string ascii(const char* text, int length) {
    std::u16string out;
    for (int i = 0; i < length; ++i) {
        out += static_cast<char16_t>(static_cast<unsigned char>(text[i]));
    }
    return out;
}

CalendarFields fieldsOf(double time) {
    CalendarFields f;
    DateTime::fromValue(time).fields(f);
    return f;
}

} // namespace

PlotRect plotRect(int surfaceWidth, int surfaceHeight) {
    PlotRect r;
    r.x1 = surfaceWidth - kPlotRightMargin;
    r.y1 = surfaceHeight - kPlotBottomMargin;
    return r;
}

TemperatureScale temperatureScale(double lowest, double highest) {
    TemperatureScale s;
    s.min = std::floor(lowest * 10) * 0.1;
    s.max = std::ceil(highest * 10) * 0.1;
    const double q = (s.max - s.min) * 0.1;
    s.step = q <= 0.1   ? 0.1
             : q <= 0.5 ? 0.5
             : q <= 1   ? 1
             : q <= 5   ? 5
             : q <= 10  ? 10
             : q <= 20  ? 20
                        : 50;
    if ((s.max - s.min) / s.step < 2) {
        s.max += s.step;
        s.min -= s.step;
    }
    return s;
}

HumidityScale humidityScale(int lowest, int highest) {
    HumidityScale s;
    const double q = (highest - lowest) * 0.1;
    s.step = q <= 1 ? 1 : q <= 2 ? 2 : q <= 5 ? 5 : 10;
    s.min = s.step * static_cast<int>(std::floor(static_cast<double>(lowest) / s.step));
    s.max = s.step * static_cast<int>(std::ceil(static_cast<double>(highest) / s.step));
    if ((s.max - s.min) / s.step < 2) {
        s.max += s.step;
        s.min -= s.step;
    }
    return s;
}

std::vector<Tick> temperatureTicks(const TemperatureScale& scale, const PlotRect& plot) {
    std::vector<Tick> ticks;
    const double n = (scale.max - scale.min) / scale.step;
    if (!std::isfinite(n) || n < 0 || n > kMaxTimeTicks) {
        return ticks;
    }
    const int count = static_cast<int>(n) + 1;
    for (int i = 0; i <= count; ++i) {
        const double v = scale.max - i * scale.step;
        if (v < scale.min) {
            break;
        }
        const int y = plot.y0 + toPixel(static_cast<double>((plot.y1 - plot.y0) * i) / n);
        ticks.push_back({y, v});
    }
    return ticks;
}

std::vector<Tick> humidityTicks(const HumidityScale& scale, const PlotRect& plot) {
    std::vector<Tick> ticks;
    const int k = (scale.max - scale.min) / scale.step;
    if (k < 0) {
        return ticks;
    }
    for (int i = 0; i <= k; ++i) {
        ticks.push_back({plot.y0 + ((plot.y1 - plot.y0) * i) / k,
                         static_cast<double>(scale.max - i * scale.step)});
    }
    return ticks;
}

int timeTickMinutes(double m) {
    return m < 20       ? 1
           : m < 100    ? 5
           : m < 200    ? 10
           : m < 1200   ? 30
           : m < 1440   ? 60
           : m < 2880   ? 120
           : m < 5760   ? 240
           : m < 8640   ? 360
           : m < 17280  ? 720
           : m < 43200  ? 1440
           : m < 518400 ? 43200
                        : 525960;
}

namespace {

std::vector<TimeTick> ticksEveryDays(double start, double end, const PlotRect& plot, double d) {
    std::vector<TimeTick> ticks;
    const double span = end - start;
    if (!(span > 0) || !std::isfinite(span) || span / d > kMaxTimeTicks) {
        return ticks;
    }
    for (double t = std::ceil(start / d) * d; t <= end; t += d) {
        ticks.push_back({toPixel(plot.x0 + (t - start) * (plot.x1 - plot.x0) / span), t});
    }
    return ticks;
}

// Intervals the axis may fall back to, in seconds, coarsest first; each finer than the one
// before, down to a second.
constexpr int64_t kFallbackIntervals[] = {
    30 * 86400, 86400, 43200, 21600, 14400, 7200, 3600, 1800, 600, 300, 60, 30, 15, 10, 5, 2, 1};

TimeAxis laidOut(double start, double end, std::vector<TimeTick> ticks, bool withSeconds,
                 const TextWidth& widthOf) {
    TimeAxis axis;
    double previous = firstPreviousLabelDate(start, end);
    int labelEnd = 0;
    for (const TimeTick& tick : ticks) {
        if (tick.x >= labelEnd) {
            std::u16string text = timeLabel(tick.time, previous, withSeconds);
            previous = tick.time;
            labelEnd = tick.x + widthOf(text);
            axis.labels.push_back({tick.x, std::move(text)});
        }
    }
    axis.ticks = std::move(ticks);
    return axis;
}

} // namespace

std::vector<TimeTick> timeTicks(double start, double end, const PlotRect& plot) {
    const double span = end - start;
    if (!(span > 0) || !std::isfinite(span)) {
        return {};
    }
    return ticksEveryDays(start, end, plot,
                          timeTickMinutes(span * kMinutesPerDay) * (1 / kMinutesPerDay));
}

std::vector<TimeTick> timeTicksEvery(double start, double end, const PlotRect& plot,
                                     int64_t intervalSeconds) {
    std::vector<TimeTick> ticks;
    const double span = end - start;
    const auto interval = static_cast<double>(intervalSeconds);
    constexpr double kSecondsPerDay = kMinutesPerDay * 60;
    if (!(span > 0) || !std::isfinite(span) || !(interval > 0) ||
        span * kSecondsPerDay / interval > kMaxTimeTicks) {
        return ticks;
    }
    // Counted in whole intervals, so that a window starting or ending on a tick (a window of
    // whole seconds does) has it, which the rounding of a day's fraction would lose.
    constexpr double kSlack = 1e-6;
    const double first = std::ceil(start * kSecondsPerDay / interval - kSlack);
    const double last = std::floor(end * kSecondsPerDay / interval + kSlack);
    for (double n = first; n <= last; ++n) {
        const double t = n * interval / kSecondsPerDay;
        const double offset = std::max(0.0, t - start); // within the slack of the start
        ticks.push_back({toPixel(plot.x0 + offset * (plot.x1 - plot.x0) / span), t});
    }
    return ticks;
}

TimeAxis timeAxis(double start, double end, const PlotRect& plot, const TextWidth& widthOf) {
    TimeAxis axis = laidOut(start, end, timeTicks(start, end, plot), false, widthOf);
    const double span = end - start;
    if (axis.labels.size() >= 2 || !(span > 0) || !std::isfinite(span)) {
        return axis;
    }
    // Two labels are enough to read the axis by; a third, where one fits, spares counting.
    std::optional<TimeAxis> two;
    const double tableSeconds = timeTickMinutes(span * kMinutesPerDay) * 60.0;
    for (const int64_t seconds : kFallbackIntervals) {
        if (static_cast<double>(seconds) >= tableSeconds) {
            continue;
        }
        TimeAxis finer =
            laidOut(start, end, timeTicksEvery(start, end, plot, seconds), seconds < 60, widthOf);
        if (finer.labels.size() >= 3) {
            return finer;
        }
        if (!two && finer.labels.size() == 2) {
            two = std::move(finer);
        }
    }
    return two ? *two : axis;
}

std::u16string timeLabel(double tick, double previous, bool withSeconds) {
    const CalendarFields t = fieldsOf(tick);
    const CalendarFields p = fieldsOf(previous);
    char buffer[64];
    const bool sameDay = t.year == p.year && t.month == p.month && t.day == p.day;
    const int n =
        !sameDay ? std::snprintf(buffer, sizeof buffer, "%d-%2d-%2d", t.year, t.month, t.day)
        : withSeconds
            ? std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d", t.hour, t.minute, t.second)
            : std::snprintf(buffer, sizeof buffer, "%d:%02d", t.hour, t.minute);
    return ascii(buffer, n);
}

double firstPreviousLabelDate(double start, double end) {
    return std::trunc(end) == std::trunc(start) ? start : 0.0;
}

int mapTime(double time, double start, double end, const PlotRect& plot) {
    return plot.x0 + toPixel((time - start) * (plot.x1 - plot.x0) / (end - start));
}

int mapTemperature(double t, const TemperatureScale& scale, const PlotRect& plot) {
    return plot.y0 + toPixel((t - scale.max) * (plot.y1 - plot.y0) / (scale.min - scale.max));
}

int mapHumidity(int h, const HumidityScale& scale, const PlotRect& plot) {
    const int divisor = scale.min - scale.max;
    return divisor == 0 ? plot.y0 : plot.y0 + ((h - scale.max) * (plot.y1 - plot.y0)) / divisor;
}

std::u16string temperatureText(double value, char16_t unit, char16_t decimalSign) {
    std::u16string text = recordListTemperature(value, false);
    std::replace(text.begin(), text.end(), u'.', decimalSign);
    return text + u'\u00B0' + unit;
}

std::u16string humidityText(int value) {
    return ascii(std::to_string(value).c_str(), static_cast<int>(std::to_string(value).size())) +
           u'%';
}

std::u16string dateTimeText(double time) {
    return recordListTime(DateTime::fromValue(time));
}

} // namespace veldrin::chart
