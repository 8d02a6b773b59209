#pragma once
// The view's side of moving the time window from the chart. Every window the chart's gestures ask
// for is shown as a free period, and the window before it is remembered in the display selection,
// so that Back (the toolbar button, or Backspace on the chart or the list) returns to them one by
// one. A preset, a time slot or another recorder starts a new history.

#include "view/display_selection.h"

#include <QObject>

#include <cstddef>
#include <functional>

class QTableView;
class QWidget;

namespace veldrin {

namespace chart {
class ChartArea;
}

class RecordListModel;

class CWindowNavigation : public QObject {
    Q_OBJECT
public:
    using ShowWindow = std::function<void(const TimeWindow& window)>;

    // `showWindow` shows a window as a free period; Backspace works inside `keyArea`.
    CWindowNavigation(QWidget& keyArea, DisplaySelection& selection, chart::ChartArea& chart,
                      QTableView& list, RecordListModel& model, ShowWindow showWindow);

    // Back to the window before the current one; nothing when there is none.
    void back();

private:
    void moveWindow(const DateTime& start, const DateTime& end, bool newStep);
    void showRecord(std::size_t record);

    DisplaySelection& selection_;
    QTableView& list_;
    RecordListModel& model_;
    ShowWindow showWindow_;
};

} // namespace veldrin
