#include "view/window_navigation.h"

#include "chart/chart_area.h"
#include "chart/chart_navigator.h"
#include "view/display_area.h"
#include "view/record_list_model.h"
#include "view/veldrin_view.h"

#include <QShortcut>
#include <QTableView>

namespace veldrin {

void WindowHistory::push(int recorder, const TimeWindow& window) {
    if (recorder != recorder_) {
        windows_.clear();
        recorder_ = recorder;
    }
    windows_.push_back(window);
    if (windows_.size() > kLongest) {
        windows_.pop_front();
    }
}

std::optional<TimeWindow> WindowHistory::pop(int recorder) {
    if (recorder != recorder_) {
        windows_.clear();
        recorder_ = recorder;
    }
    if (windows_.empty()) {
        return std::nullopt;
    }
    const TimeWindow window = windows_.back();
    windows_.pop_back();
    return window;
}

CWindowNavigation::CWindowNavigation(CVeldrinView& view, chart::ChartArea& chart, QTableView& list)
    : QObject(&view), view_(view), list_(list) {
    new chart::ChartNavigator(chart, {[this] { return view_.timeWindow(); },
                                      [this](const DateTime& start, const DateTime& end,
                                             bool newStep) { moveWindow(start, end, newStep); },
                                      [this](std::size_t record) { showRecord(record); }});
    // On the chart and on the list, not in the pickers, where Backspace edits.
    auto* backKey = new QShortcut(QKeySequence(Qt::Key_Backspace), &view.displayArea());
    backKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(backKey, &QShortcut::activated, this, &CWindowNavigation::back);
}

void CWindowNavigation::moveWindow(const DateTime& start, const DateTime& end, bool newStep) {
    if (newStep) {
        const auto [shownStart, shownEnd] = view_.timeWindow();
        history_.push(view_.chosenRecorder(), TimeWindow{shownStart, shownEnd});
    }
    view_.showFreeWindow(TimeWindow{start, end});
}

void CWindowNavigation::back() {
    if (const auto window = history_.pop(view_.chosenRecorder())) {
        view_.showFreeWindow(*window);
    }
}

void CWindowNavigation::newHistory() {
    history_.clear();
}

// The record's row in the list (filled for the new window by now), selected and scrolled to, so
// that the list shows it whenever it is shown.
void CWindowNavigation::showRecord(std::size_t record) {
    const int row = view_.recordListModel().rowOfRecord(record);
    if (row < 0) {
        return;
    }
    list_.selectRow(row);
    list_.scrollTo(view_.recordListModel().index(row, 0), QAbstractItemView::PositionAtCenter);
}

} // namespace veldrin
