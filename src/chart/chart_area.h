#pragma once
// The chart side of the main view's display area. It paints the renderer's image in one draw,
// follows the mouse for the readout, and loads the displayed recorder's file when the chart is
// about to be shown with no records (never from inside a paint).

#include "chart/chart_renderer.h"
#include "store/data_store.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

class QLabel;
class QProgressBar;

namespace veldrin::chart {

// What the chart needs from the view besides the data store.
struct ChartAreaSource {
    std::function<std::pair<DateTime, DateTime>()> window; // start and end pickers
    std::function<int()> chosenRecorder;                   // "Driver No." position, -1 none
    std::function<AlarmLimits()> limits; // of the displayed recorder; none drawn when unset
};

class ChartArea : public QWidget {
    Q_OBJECT
public:
    ChartArea(DataStore& store, ChartAreaSource source, QWidget* parent = nullptr);

    // The displayed data, the window, the unit or the language may have changed: loads the
    // displayed recorder's file first if the chart has nothing to show yet, then repaints.
    void displayChanged();

    // The chart as it is shown now, readout included (for the image export).
    QImage currentImage();

    // While a button drags over the chart, the readout under the cursor is not shown.
    void hideReadout(bool hidden);
    // The pixel columns of a selection band being dragged, or none.
    void setBand(std::optional<std::pair<int, int>> band);

    // Set once a first-draw load left the list empty; it is tried again only for another chosen
    // recorder, or when the chosen recorder's file has appeared since.
    static bool loadGivenUp() { return givenUpFor_.has_value(); }
    static void resetLoadGivenUp() { givenUpFor_.reset(); }

    ChartRenderer& renderer() { return renderer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What a first-draw load was tried for: the chosen recorder and whether its file was there.
    struct LoadAttempt {
        int recorder = -1;
        bool fileThere = false;
        bool operator==(const LoadAttempt&) const = default;
    };

    ChartInput input() const;
    // The cursor in chart coordinates, read at every draw wherever the last mouse event was, so
    // that a chart drawn while the cursor rests on a point (an export) shows its readout.
    QPoint cursorPoint() const;
    LoadAttempt loadAttempt() const;
    const QImage& render(const ChartInput& input);
    void loadIfEmpty();

    DataStore& store_;
    ChartAreaSource source_;
    ChartRenderer renderer_;
    bool readoutHidden_ = false;
    std::optional<std::pair<int, int>> band_;
    uint64_t generation_ = 0;
    bool loading_ = false;
    QLabel* loadingText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    static inline std::optional<LoadAttempt> givenUpFor_;
};

} // namespace veldrin::chart
