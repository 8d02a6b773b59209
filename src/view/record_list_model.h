#pragma once
// The record list as a table model: it keeps the indices of the displayed records that lie in
// the time window and the extremes among them, and makes each cell's text when a view asks for it,
// with the same row formatters as the CSV export. A view scrolling through a million rows asks
// only for the rows it shows.

#include "chart/display_snapshot.h"
#include "core/alarm_limits.h"
#include "export/record_list.h"
#include "store/data_store.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>

namespace veldrin {

class RecordListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordListModel(const DataStore& store, QObject* parent = nullptr);

    // The rows of the window, found with the store's lock held only for one pass over the records;
    // the model is reset after the lock has been released (a view reading cells takes it again).
    void refill(const DateTime& start, const DateTime& end);
    // The rows of what `shown` shows, in its window; the snapshot is kept as the one listed.
    void show(std::shared_ptr<const DisplaySnapshot> shown);
    const std::shared_ptr<const DisplaySnapshot>& shown() const { return shown_; }
    // The same from a set the caller already holds the lock of; then publish() outside the lock.
    void select(const RecorderSettings& settings, const RecordList& records, const DateTime& start,
                const DateTime& end);
    void publish();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The record a row shows (its index in the displayed list), and the row of a record, -1 when
    // it is not listed: a refill keeps the user's row by its record.
    std::size_t recordOfRow(int row) const {
        return selection_.indices[static_cast<std::size_t>(row)];
    }
    int rowOfRecord(std::size_t record) const;
    // The remarks of the rows that carry one (at most five rows), and with limits in force each
    // also followed by "Out of range": what the remark column must be wide enough for.
    QStringList remarks() const;
    // Records beyond these limits say so in their remark and show in the alarm colour.
    void setLimits(const AlarmLimits& limits);
    bool outOfRange(std::size_t recordIndex) const;

    // How many cells were made since the last refill (scrolling asks only for visible rows).
    long cellsMade() const { return cellsMade_; }

private:
    QString cell(std::size_t recordIndex, int column) const;

    const DataStore& store_;
    std::shared_ptr<const DisplaySnapshot> shown_;
    RecordSelection selection_;
    RecordSelection pending_;
    RecordRow pendingHeadings_;
    RecordRow headings_;
    bool fahrenheit_ = false;
    bool pendingFahrenheit_ = false;
    RecordRemarkTexts remarkTexts_;
    AlarmLimits limits_;
    mutable long cellsMade_ = 0;
};

} // namespace veldrin
