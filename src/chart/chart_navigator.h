#pragma once
// The gestures that move the chart's time window. A drag with the left button over the plot
// selects a span (a shorter move is a click, which on a value of the summary boxes centres the
// window on its record); the wheel over the plot zooms around the time under the cursor, and
// with Shift pans; a drag with the middle button pans; with the chart focused, + and - zoom around
// the middle, the arrow keys pan, and Home and End centre it on the lowest and highest
// temperature. It watches the chart's events and asks for windows: the
// window itself is the view's to change.

#include "chart/chart_navigation.h"
#include "chart/chart_style.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>
#include <utility>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace veldrin::chart {

class ChartArea;

struct ChartNavigationHooks {
    std::function<std::pair<DateTime, DateTime>()> window; // the window shown now
    // A new window; `newStep` is false while a pan drag goes on moving the window it started from.
    std::function<void(const DateTime& start, const DateTime& end, bool newStep)> moveWindow;
    // A value of the summary boxes was clicked; the window is already centred on its record.
    std::function<void(std::size_t record)> recordChosen;
};

class ChartNavigator : public QObject {
    Q_OBJECT
public:
    ChartNavigator(ChartArea& area, ChartNavigationHooks hooks);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Drag { none, select, click, pan };

    bool pressed(const QMouseEvent& event);
    bool moved(const QMouseEvent& event);
    bool released(const QMouseEvent& event);
    bool wheeled(const QWheelEvent& event);
    bool keyPressed(const QKeyEvent& event);
    void chooseValueAt(QPoint at);
    void jumpTo(const std::optional<ChartPoint>& value);
    void followCursor(QPoint at);

    PlotRect plot() const;
    bool onPlot(QPoint at) const;
    int plotColumn(int x) const;
    std::pair<double, double> shownWindow() const;
    bool move(const SecondWindow& window, bool newStep); // false: that window is shown already
    void zoom(double anchorTime, double factor);

    ChartArea& area_;
    ChartNavigationHooks hooks_;
    Drag drag_ = Drag::none;
    QPoint pressedAt_;
    std::pair<double, double> pressedWindow_; // the window the drag started on
    bool panning_ = false;                    // a pan drag has moved the window already
    int wheelAngle_ = 0;                      // eighths of a degree not yet a whole notch
    bool pointing_ = false;                   // the cursor shows that a value can be clicked
};

} // namespace veldrin::chart
