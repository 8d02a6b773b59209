#include "view/window_navigation.h"

#include "chart/chart_area.h"
#include "chart/chart_navigator.h"
#include "view/record_list_model.h"

#include <QShortcut>
#include <QTableView>

#include <utility>

namespace veldrin {

CWindowNavigation::CWindowNavigation(QWidget& keyArea, DisplaySelection& selection,
                                     chart::ChartArea& chart, QTableView& list,
                                     RecordListModel& model, ShowWindow showWindow)
    : QObject(&keyArea), selection_(selection), list_(list), model_(model),
      showWindow_(std::move(showWindow)) {
    new chart::ChartNavigator(chart, {[this] {
                                          const TimeWindow window = selection_.window();
                                          return std::make_pair(window.start, window.end);
                                      },
                                      [this](const DateTime& start, const DateTime& end,
                                             bool newStep) { moveWindow(start, end, newStep); },
                                      [this](std::size_t record) { showRecord(record); }});
    // On the chart and on the list, not in the pickers, where Backspace edits.
    auto* backKey = new QShortcut(QKeySequence(Qt::Key_Backspace), &keyArea);
    backKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(backKey, &QShortcut::activated, this, &CWindowNavigation::back);
}

void CWindowNavigation::moveWindow(const DateTime& start, const DateTime& end, bool newStep) {
    if (newStep) {
        selection_.rememberWindow();
    }
    showWindow_(TimeWindow{start, end});
}

void CWindowNavigation::back() {
    if (const auto window = selection_.previousWindow()) {
        showWindow_(*window);
    }
}

// The record's row in the list (filled for the new window by now), selected and scrolled to, so
// that the list shows it whenever it is shown.
void CWindowNavigation::showRecord(std::size_t record) {
    const int row = model_.rowOfRecord(record);
    if (row < 0) {
        return;
    }
    list_.selectRow(row);
    list_.scrollTo(model_.index(row, 0), QAbstractItemView::PositionAtCenter);
}

} // namespace veldrin
