#pragma once
// The list side of the display area: the record table (1006) over its model, filled from the
// snapshot of what is shown, keeping the user's place across refills of the same window, with
// columns that grow to fit their texts and widths kept between runs.

#include "chart/display_snapshot.h"

#include <QVariantList>
#include <QWidget>

#include <memory>
#include <optional>
#include <tuple>

class QTableView;

namespace veldrin {

class RecordListModel;

class CRecordListPane : public QWidget {
    Q_OBJECT
public:
    CRecordListPane(const DataStore& store, QWidget* parent);

    QTableView& table() { return *table_; }
    RecordListModel& model() { return *model_; }

    // Fills the list from `shown` when `refillPending` or when its window or recorder is not the
    // one listed. A refill of the same window and recorder keeps the selected record and the
    // scroll position; otherwise the first row is shown.
    void fill(const std::shared_ptr<const DisplaySnapshot>& shown, bool refillPending);
    // Other records (a file opened): the next fill starts at the first row.
    void forgetListed() { listed_.reset(); }
    // Widens the columns that are too narrow for their heading or, the remarks, their text.
    void fitColumns();

    QVariantList columnWidths() const;
    // Widths of an earlier run; a width no screen shows is left out.
    void restoreColumnWidths(const QVariantList& widths);
    // The model reads the store: it is let go before the store goes.
    void detachModel();

private:
    QTableView* table_;
    RecordListModel* model_;
    int remarksFitted_ = -1; // the width fitColumns() last gave the remarks column
    // The window and the recorder the list was last filled for.
    std::optional<std::tuple<DateTime, DateTime, int32_t>> listed_;
};

} // namespace veldrin
