#pragma once
// The chart side of the main view's display area. It paints the renderer's image of the snapshot
// it was given in one draw and follows the mouse for the readout. It never loads data: whoever
// changes what is shown loads it first; while that happens the chart only shows that it waits.

#include "chart/chart_renderer.h"
#include "chart/display_snapshot.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <utility>

class QLabel;
class QPainter;
class QProgressBar;

namespace veldrin::chart {

class ChartArea : public QWidget {
    Q_OBJECT
public:
    explicit ChartArea(QWidget* parent = nullptr);

    // What is shown now; the chart draws it at the next paint.
    void setSnapshot(std::shared_ptr<const DisplaySnapshot> snapshot);
    const std::shared_ptr<const DisplaySnapshot>& snapshot() const { return snapshot_; }

    // The records, the unit or the language may have changed: the next paint draws afresh.
    void displayChanged();

    // The chart as it is shown now, readout included (for the image export).
    QImage currentImage();
    // The same at `ratio` device pixels per pixel (1: exactly currentImage()).
    QImage imageAtRatio(qreal ratio);

    // While a button drags over the chart, the readout under the cursor is not shown.
    void hideReadout(bool hidden);
    // The pixel columns of a selection band being dragged, or none.
    void setBand(std::optional<std::pair<int, int>> band);
    // A message and a busy bar over the chart while the records shown are being loaded.
    void showLoading(bool loading);

    ChartRenderer& renderer() { return renderer_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    ChartInput input() const;
    // The cursor in chart coordinates, read at every draw wherever the last mouse event was, so
    // that a chart drawn while the cursor rests on a point (an export) shows its readout.
    QPoint cursorPoint() const;
    void drawFocusMark(QPainter& painter);
    const QImage& render(const ChartInput& input);

    std::shared_ptr<const DisplaySnapshot> snapshot_;
    ChartRenderer renderer_;
    bool readoutHidden_ = false;
    std::optional<std::pair<int, int>> band_;
    uint64_t generation_ = 0;
    QLabel* loadingText_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace veldrin::chart
