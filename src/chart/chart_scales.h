#pragma once
// Geometry and scales of the time chart as pure functions: the plot rectangle, the temperature,
// humidity and time scales with their ticks, and the mapping of a record to a pixel. Both the
// renderer and its tests use them; nothing here draws.

#include "core/date_time.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veldrin::chart {

// The surface starts 135 pixels below the top of the view; the plot's bottom is 230 pixels above
// the view's bottom, i.e. 95 above the surface's.
constexpr int kSurfaceTop = 135;
constexpr int kPlotLeft = 60;
constexpr int kPlotTop = 15;
constexpr int kPlotRightMargin = 80;
constexpr int kPlotBottomMargin = 230 - kSurfaceTop;

struct PlotRect {
    int x0 = kPlotLeft;
    int y0 = kPlotTop;
    int x1 = 0;
    int y1 = 0;
};

// The plot rectangle of a surface of width w and height h (the view's client height less 135).
PlotRect plotRect(int surfaceWidth, int surfaceHeight);

// Pixel coordinates come from doubles that a damaged file or an empty window can make huge or
// not finite; they are clamped before the conversion (truncating toward zero), NaN giving 0.
constexpr double kPixelLimit = 1 << 24;
inline int toPixel(double value) {
    if (value >= -kPixelLimit && value <= kPixelLimit) {
        return static_cast<int>(value);
    }
    return value > kPixelLimit    ? static_cast<int>(kPixelLimit)
           : value < -kPixelLimit ? -static_cast<int>(kPixelLimit)
                                  : 0;
}

struct TemperatureScale {
    double min = 0.0;
    double max = 0.0;
    double step = 0.1;
};
// From the extremes of the values shown (max < min when there are none).
TemperatureScale temperatureScale(double lowest, double highest);

struct HumidityScale {
    int min = 0;
    int max = 0;
    int step = 1;
};
HumidityScale humidityScale(int lowest, int highest);

struct Tick {
    int position = 0; // y for the value scales, x for the time scale
    double value = 0.0;
};
// Temperature ticks counted down from the top of the scale; none for an empty scale.
std::vector<Tick> temperatureTicks(const TemperatureScale& scale, const PlotRect& plot);
std::vector<Tick> humidityTicks(const HumidityScale& scale, const PlotRect& plot);

// Minutes between time ticks for a window of `minutes`.
int timeTickMinutes(double minutes);

struct TimeTick {
    int x = 0;
    double time = 0.0;
};
// Ticks of the window [start, end]: none when the window is empty or reversed, or so long that
// the ticks could not be told apart anyway.
std::vector<TimeTick> timeTicks(double start, double end, const PlotRect& plot);
// The same every `intervalSeconds`, counted from the zero date; a tick on either end of the
// window is kept.
std::vector<TimeTick> timeTicksEvery(double start, double end, const PlotRect& plot,
                                     int64_t intervalSeconds);

// Labels of the time axis: "%d:%02d" when the tick is on the same day as the previous label
// ("%d:%02d:%02d" when `withSeconds`), otherwise "%d-%2d-%2d". `previous` is the date of the
// previous label; it starts as the zero date, or as the start when the window lies within one day.
std::u16string timeLabel(double tick, double previous, bool withSeconds = false);
double firstPreviousLabelDate(double start, double end);

// The time axis as drawn: every tick, and the labels that do not start left of the end of the
// previous one. The table's interval is used whenever it gives at least two labels; otherwise
// (a window of a minute or two, or of one to two months) the largest finer interval that gives
// three (or, failing that, two), labelled to the second below a minute, so that every window can
// be read off its axis.
struct TimeLabel {
    int x = 0;
    std::u16string text;
};
struct TimeAxis {
    std::vector<TimeTick> ticks;
    std::vector<TimeLabel> labels;
};
using TextWidth = std::function<int(const std::u16string&)>;
TimeAxis timeAxis(double start, double end, const PlotRect& plot, const TextWidth& widthOf);

// Mapping of values to pixels; only meaningful for a window with a positive span.
int mapTime(double time, double start, double end, const PlotRect& plot);
int mapTemperature(double t, const TemperatureScale& scale, const PlotRect& plot);
int mapHumidity(int h, const HumidityScale& scale, const PlotRect& plot);

// Texts of the chart.
// "%4.1f°C" with `decimalSign` in place of the point.
std::u16string temperatureText(double value, char16_t unit, char16_t decimalSign = u'.');
std::u16string humidityText(int value);   // "%d%"
std::u16string dateTimeText(double time); // "%d-%d-%d %d:%02d"

} // namespace veldrin::chart
