#pragma once
// The time chart of temperature and humidity, drawn into an image that the view copies in one
// draw. The image is a function of the records and a ChartInput only; what does not change while
// the mouse moves (the selected records, extremes, scales, mapped points and the chart without a
// readout) is kept between calls, so that a hover repaint only redraws the few pixels around the
// readouts.
//
// Two steps, so that the lock guarding the records is never held while drawing:
//   { lock; renderer.takeRecords(records, input); }   // reads records only when they changed
//   const QImage& image = renderer.render(input);      // draws, without the lock

#include "chart/chart_style.h"
#include "store/data_file.h"

#include <QImage>
#include <QLine>
#include <QRegion>

#include <functional>
#include <limits>
#include <vector>

namespace veldrin::chart {

// The records of the window mapped to pixels, with everything the chart shows about them.
//
// The points of a curve are grouped into runs: consecutive points (list order) in one pixel
// column. The segments inside a run are vertical, so a run draws as one line from its lowest to
// its highest point, and it is joined to the next run by one segment. Pixels depend monotonically
// on the values, so a run's extreme pixels come from its extreme values, and one pass over the
// records, before the scales are known, collects all a run needs.
struct PlotData {
    TemperatureScale temperature;
    HumidityScale humidity;
    // Extremes (ties go to the later record) and the newest record of the whole list.
    std::optional<ChartPoint> highestT, lowestT, highestH, lowestH, latest;
    bool drawsPoints = false; // false for an empty or zero-length window

    struct Run {
        int x = 0;
        std::size_t firstRecord = 0, lastRecord = 0; // the run's points are the selected records
        double lowT = 0, highT = 0, firstT = 0, lastT = 0;
        int lowH = 0, highH = 0, firstH = 0, lastH = 0;
        // Pixels, once the scales are known: [low, high] of the run, its first and last point.
        struct Pixels {
            int low = 0, high = 0, first = 0, last = 0;
        };
        Pixels t, h;
    };
    std::vector<Run> runs;
};

// Reads the records of the window (list order) once; the mapping needs the surface size.
PlotData buildPlotData(const RecordList& records, const ChartInput& input);
// The same into `out`, reusing its buffers.
void buildPlotData(const RecordList& records, const ChartInput& input, PlotData& out);

enum class Curve { temperature, humidity };

// The pixels of the runs from the scales in `data` (buildPlotData does it with the scales of its
// own records; a chart of several histories maps them again on scales common to all).
void mapRuns(PlotData& data, const PlotRect& plot);

// Which runs of a curve to draw, and the vertical extents that stand in for those of its first and
// last run (a readout drawn between two parts of one run). `last` -1: up to the last run.
struct CurvePart {
    int first = 0;
    int last = -1;
    std::optional<PlotData::Run::Pixels> firstVertical, lastVertical;
};
// Draws one curve of mapped runs with the pen set on `painter` (curvePen of `color`): each run as
// its vertical, joined to the next by one segment. Only what touches `clip`, when given.
void drawCurveRuns(QPainter& painter, const std::vector<PlotData::Run>& runs, Curve curve,
                   const QColor& color, const PlotRect& plot, const CurvePart& part = {},
                   const QRegion* clip = nullptr);

// A limit in force that falls inside its curve's scale, at its pixel row. Limits outside the
// scale are not drawn; they never widen it, so that the curves keep their place.
struct LimitLine {
    Curve curve = Curve::temperature;
    int y = 0;
};
std::vector<LimitLine> limitLines(const PlotData& data, const ChartInput& input);

// The first point (list order) of a curve under the cursor (within reach, hover_rule.h):
// its run, its record, its pixel, and the vertical extents of its run before and after it.
struct HoverHit {
    int run = 0;
    std::size_t record = 0;
    QPoint at;
    ChartPoint point;
    PlotData::Run::Pixels before, after; // low and high used
    bool operator==(const HoverHit& o) const { return record == o.record && at == o.at; }
};
std::optional<HoverHit> hoveredPoint(const RecordList& records, const ChartInput& input,
                                     const PlotData& data, Curve curve, QPoint cursor);

class ChartRenderer {
public:
    ChartRenderer();
    ~ChartRenderer();
    ChartRenderer(const ChartRenderer&) = delete;
    ChartRenderer& operator=(const ChartRenderer&) = delete;

    // Takes what the chart needs from the records (caller holds their lock); does nothing when
    // neither they nor the parts of `input` that select and map them have changed. Draws nothing.
    void takeRecords(const RecordList& records, const ChartInput& input);

    // The chart for `input` from the records last taken. Valid until the next call.
    const QImage& render(const ChartInput& input);

    // The chart last rendered by render(input) drawn again at `ratio` device pixels per pixel: the
    // same geometry, lines and text at the full resolution (anti-aliased between pixels). Not kept.
    QImage renderAtRatio(const ChartInput& input, qreal ratio);

    // Both steps at once, for records no other thread changes.
    const QImage& render(const RecordList& records, const ChartInput& input) {
        takeRecords(records, input);
        return render(input);
    }

    // Called before every drawing pass (tests check that no lock is held then).
    void setDrawObserver(std::function<void()> observer) { drawObserver_ = std::move(observer); }

    // The record whose value (an extreme or the latest reading) the chart last rendered shows at
    // `at`, if any.
    std::optional<ChartPoint> summaryValueAt(QPoint at) const;
    // The lowest or highest temperature of the records last taken, if any.
    std::optional<ChartPoint> temperatureExtreme(bool highest) const {
        return highest ? data_.highestT : data_.lowestT;
    }

private:
    struct DataKey {
        uint64_t generation = 0;
        const void* storage = nullptr;
        std::size_t count = 0;
        double firstTime = 0, lastTime = 0, lastTemperature = 0;
        double start = 0, end = 0;
        bool fahrenheit = false;
        QSize size;
        AlarmLimits limits;
        bool operator==(const DataKey&) const = default;
    };
    struct Op;
    struct Readouts {
        std::optional<HoverHit> temperature, humidity;
        bool operator==(const Readouts&) const = default;
    };

    static DataKey keyOf(const RecordList& records, const ChartInput& input);
    void takeHits(const RecordList& records, const ChartInput& input);
    void buildOps(const ChartInput& input);
    void execute(QPainter& painter, const Readouts& readouts, const QRegion* clip) const;
    using Vertical = std::optional<PlotData::Run::Pixels>;
    void drawRuns(QPainter& painter, Curve curve, int first, int last,
                  const Vertical& firstVertical, const Vertical& lastVertical,
                  const QRegion* clip) const;
    std::optional<QRect> lonePoint(Curve curve) const;
    QRegion readoutRegion(const Readouts& readouts) const;
    QRect bandRect(const std::optional<std::pair<int, int>>& band) const;

    DataKey dataKey_;
    bool haveData_ = false;
    PlotData data_;
    std::optional<QPoint> hitsFor_;
    Readouts hits_;

    // The chart without readouts, the operations that drew it, and the image last handed out.
    bool haveBase_ = false;
    DataKey baseDataKey_;
    QFont baseFont_;
    ChartTexts baseTexts_;
    std::vector<Op> ops_;
    QImage base_;
    QImage shown_;
    QImage scratch_;
    QRegion shownReadouts_; // and the band
    Readouts shownHits_;
    QRect shownBand_;
    struct SummaryValue {
        QRect bounds;
        ChartPoint point;
    };
    std::vector<SummaryValue> summaryValues_;
    QFont font_;
    QFontMetrics metrics_;
    PlotRect plot_;
    char16_t unit_ = u'C';
    char16_t decimalSign_ = u'.';
    std::function<void()> drawObserver_;
};

} // namespace veldrin::chart
