// The cached renderer against the plain one, pixel for pixel, over generated histories and a walk
// of the cursor over and around their points.

#include "chart/chart_renderer.h"
#include "chart/reference_chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>

namespace veldrin::chart {
namespace {

const double kDay = DateTime::fromFields(2011, 6, 15).value;
constexpr double kMinute = 1.0 / 1440;

struct Generated {
    RecordList records;
    double start = kDay;
    double end = kDay + 1;
    bool fahrenheit = false;
    QSize size{700, 400};
};

HistoryRecord rec(double time, double t, int h) {
    HistoryRecord r;
    r.timeValue = time;
    r.temperature = t;
    r.humidity = static_cast<int8_t>(h);
    return r;
}

// A random walk of `n` records every `step` days from the start of the day.
RecordList walk(int n, double step, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dt(-0.4, 0.4);
    std::uniform_int_distribution<int> dh(-2, 2);
    RecordList out;
    double t = 21.0;
    int h = 50;
    for (int i = 0; i < n; ++i) {
        t = std::clamp(t + dt(gen), -20.0, 60.0);
        h = std::clamp(h + dh(gen), 5, 99);
        out.push_back(rec(kDay + i * step, t, h));
    }
    return out;
}

struct Case {
    const char* name;
    std::function<Generated()> make;
};

const Case kCases[] = {
    {"in order", [] { return Generated{walk(3000, kMinute / 3, 1)}; }},
    {"dense columns", [] { return Generated{walk(6000, 1.0 / 6000, 2)}; }},
    {"times going backwards",
     [] {
         Generated g{walk(1500, kMinute, 3)};
         for (std::size_t i = 0; i < g.records.size(); i += 7) {
             g.records[i].timeValue -= 40 * kMinute;
         }
         return g;
     }},
    {"gaps",
     [] {
         Generated g{walk(900, kMinute / 2, 4)};
         for (std::size_t i = 300; i < g.records.size(); ++i) {
             g.records[i].timeValue += 0.4;
         }
         return g;
     }},
    {"single record", [] { return Generated{{rec(kDay + 0.5, 21.0, 50)}}; }},
    {"all values equal",
     [] {
         Generated g{walk(500, kMinute, 5)};
         for (auto& r : g.records) {
             r.temperature = 21.0;
             r.humidity = 50;
         }
         return g;
     }},
    {"fahrenheit",
     [] {
         Generated g{walk(2000, kMinute / 2, 6)};
         g.fahrenheit = true;
         return g;
     }},
    {"window holding nothing",
     [] {
         Generated g{walk(100, kMinute, 7)};
         g.start = kDay + 2;
         g.end = kDay + 3;
         return g;
     }},
    {"start equal to end",
     [] {
         Generated g{walk(100, kMinute, 8)};
         g.start = g.end = g.records[50].timeValue;
         return g;
     }},
    {"end before start",
     [] {
         Generated g{walk(100, kMinute, 9)};
         g.start = kDay + 0.5;
         g.end = kDay + 0.25;
         return g;
     }},
    {"damaged values and times",
     [] {
         Generated g{walk(800, kMinute, 10)};
         g.records[10].temperature = std::numeric_limits<double>::quiet_NaN();
         g.records[20].temperature = std::numeric_limits<double>::infinity();
         g.records[30].timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
         g.records[40].temperature = 1e308; // infinite once in Fahrenheit
         g.fahrenheit = true;
         return g;
     }},
    {"damage inside dense columns, extremes tied and beaten by damaged records",
     [] {
         Generated g{walk(6000, kMinute, 12)};
         g.end = kDay + 5;
         for (std::size_t i = 5; i + 3 < g.records.size(); i += 13) {
             g.records[i].timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
             g.records[i].temperature = 90.0;
             g.records[i].humidity = 100;
             g.records[i + 3].temperature = -std::numeric_limits<double>::infinity();
             g.records[i + 3].humidity = 0;
         }
         for (const std::size_t i : {100, 2000, 4000, 4002}) {
             g.records[i].temperature = 75.0; // the highest, tied; the last one damaged
             g.records[i].humidity = 1;       // the lowest, likewise
         }
         g.records[4002].timeStatus = static_cast<uint8_t>(DateTimeStatus::invalid);
         return g;
     }},
    {"narrow surface",
     [] {
         Generated g{walk(2000, kMinute / 2, 11)};
         g.size = QSize(330, 300);
         return g;
     }},
};

ChartTexts texts() {
    return ChartTexts{u"Latest",   u"Humidity:", u"Temperature:", u"Time:",
                      u"Humidity", u"Highest",   u"Lowest",       u"Temperature"};
}

// Cursor positions around chosen points of both curves: on them, one pixel off (inside the
// tolerance) and two pixels off (outside), plus the corners of the plot.
std::vector<QPoint> cursorWalk(const RecordList& records, const ChartInput& input) {
    const PlotData d = buildPlotData(records, input);
    std::vector<QPoint> out{{0, 0}, {60, 15}, {input.size.width() - 81, 15}};
    if (!d.drawsPoints) {
        return out;
    }
    const int n = static_cast<int>(d.runs.size());
    const QPoint offsets[] = {{0, 0}, {1, 1}, {-1, 0}, {0, -1}, {2, 0}, {0, 2}, {-2, -2}};
    for (int j : {0, n / 3, n / 2, (2 * n) / 3, n - 1}) {
        const PlotData::Run& run = d.runs[static_cast<std::size_t>(j)];
        for (int y : {run.t.first, run.t.high, run.h.last, run.h.low}) {
            for (const QPoint& o : offsets) {
                out.push_back(QPoint(run.x, y) + o);
            }
        }
    }
    // Where the curves cross, one cursor shows a readout of each.
    for (const PlotData::Run& run : d.runs) {
        if (std::abs(run.t.first - run.h.first) <= 1) {
            out.push_back({run.x, run.t.first});
            break;
        }
    }
    out.push_back({0, 0}); // leaving: the last readout must go
    return out;
}

std::string firstDifference(const QImage& a, const QImage& b) {
    if (a == b) {
        return {};
    }
    if (a.size() != b.size()) {
        return "sizes differ";
    }
    int count = 0;
    std::string first;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                if (count++ == 0) {
                    first = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
                }
            }
        }
    }
    return count == 0 ? std::string() : std::to_string(count) + " pixels differ, first " + first;
}

TEST(ChartExactness, CachedRendererDrawsWhatThePlainOneDraws) {
    int readouts = 0;
    int bothAtOnce = 0;
    for (const Case& c : kCases) {
        const Generated g = c.make();
        ChartInput input;
        input.start = g.start;
        input.end = g.end;
        input.fahrenheit = g.fahrenheit;
        input.size = g.size;
        input.font = chartFont(96);
        input.texts = texts();
        // Every other case in the decimal comma of German and French.
        input.texts.decimalSign = (&c - kCases) % 2 == 0 ? u'.' : u',';
        ChartRenderer renderer;
        for (const QPoint& cursor : cursorWalk(g.records, input)) {
            input.hover = cursor;
            const QImage fast = renderer.render(g.records, input).copy();
            const QImage plain = renderReferenceChart(g.records, input);
            const PlotData d = buildPlotData(g.records, input);
            const bool t =
                hoveredPoint(g.records, input, d, Curve::temperature, cursor).has_value();
            const bool h = hoveredPoint(g.records, input, d, Curve::humidity, cursor).has_value();
            readouts += t || h ? 1 : 0;
            bothAtOnce += t && h ? 1 : 0;
            const std::string diff = firstDifference(fast, plain);
            ASSERT_EQ(diff, "") << c.name << ", cursor " << cursor.x() << "," << cursor.y();
        }
    }
    EXPECT_GT(readouts, 50);
    EXPECT_GT(bothAtOnce, 0);
}

} // namespace
} // namespace veldrin::chart
