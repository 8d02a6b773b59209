#pragma once
// The chart side of the main view's display area. It paints the renderer's image in one draw,
// follows the mouse for the readout, and loads the displayed recorder's file when the chart is
// about to be shown with no records (never from inside a paint).

#include "chart/chart_renderer.h"
#include "store/data_store.h"

#include <QWidget>

#include <functional>
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

    // Where the cursor is, in chart coordinates (tests move it without a mouse).
    void setHover(std::optional<QPoint> hover);

    // Cleared once a first-draw load left the list empty; no later change retries it.
    static bool loadGivenUp() { return loadGivenUp_; }
    static void resetLoadGivenUp() { loadGivenUp_ = false; }

    ChartRenderer& renderer() { return renderer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    ChartInput input() const;
    const QImage& render(const ChartInput& input);
    void loadIfEmpty();

    DataStore& store_;
    ChartAreaSource source_;
    ChartRenderer renderer_;
    std::optional<QPoint> hover_;
    uint64_t generation_ = 0;
    bool loading_ = false;
    QLabel* loadingText_ = nullptr;
    QProgressBar* progress_ = nullptr;
    static inline bool loadGivenUp_ = false;
};

} // namespace veldrin::chart
