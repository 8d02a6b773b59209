#pragma once
// The view's side of moving the time window from the chart. Every window the chart's gestures ask
// for is shown as a free period through the pickers, and the windows before it are remembered, so
// that Back (the toolbar button, or Backspace on the chart or the list) returns to them one by
// one. A preset, a time slot or another recorder starts a new history.

#include "view/time_window.h"

#include <QObject>

#include <cstddef>
#include <deque>
#include <optional>

class QTableView;

namespace veldrin {

namespace chart {
class ChartArea;
}

class CVeldrinView;

// The windows shown before the current one, for one displayed recorder (its "Driver No."
// position); the history of another recorder is forgotten on the first push or pop for it.
class WindowHistory {
public:
    void push(int recorder, const TimeWindow& window);
    std::optional<TimeWindow> pop(int recorder);
    void clear() { windows_.clear(); }
    std::size_t size() const { return windows_.size(); }

private:
    // A history longer than anyone goes back through: the oldest windows are dropped.
    static constexpr std::size_t kLongest = 1000;
    int recorder_ = -1;
    std::deque<TimeWindow> windows_;
};

class CWindowNavigation : public QObject {
    Q_OBJECT
public:
    CWindowNavigation(CVeldrinView& view, chart::ChartArea& chart, QTableView& list);

    // Back to the window before the current one; nothing when there is none.
    void back();
    // A preset, a slot or another recorder: what was shown before is no longer gone back to.
    void newHistory();
    const WindowHistory& history() const { return history_; }

private:
    void moveWindow(const DateTime& start, const DateTime& end, bool newStep);
    void showRecord(std::size_t record);

    CVeldrinView& view_;
    QTableView& list_;
    WindowHistory history_;
};

} // namespace veldrin
