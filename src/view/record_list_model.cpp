#include "view/record_list_model.h"

#include <utility>

#include "qlang/qlang.h"

#include "analysis/statistics.h"
#include "lang/language_table.h"

#include <QColor>

#include <algorithm>
#include <mutex>

namespace veldrin {

namespace {

constexpr int kRemarkColumn = kRecordListColumns - 1;
const QColor kOutOfRangeColour(192, 0, 0);

// Several remarks of one row stay apart on screen.
RecordRemarkTexts listRemarkTexts() {
    RecordRemarkTexts texts;
    texts.separator = u"; ";
    return texts;
}

} // namespace

RecordListModel::RecordListModel(const DataStore& store, QObject* parent)
    : QAbstractTableModel(parent), store_(store) {
    headings_ = recordListHeadings(RecorderSettings{});
}

void RecordListModel::refill(const DateTime& start, const DateTime& end) {
    store_.withDisplayed([&](const RecorderSettings& settings, const RecordList& records) {
        select(settings, records, start, end);
    });
    publish();
}

void RecordListModel::select(const RecorderSettings& settings, const RecordList& records,
                             const DateTime& start, const DateTime& end) {
    pending_ = selectRecordRows(records, start, end);
    pendingFahrenheit_ = settings.tempUnit != 0;
    pendingHeadings_ = recordListHeadings(settings);
}

void RecordListModel::publish() {
    beginResetModel();
    selection_ = std::move(pending_);
    pending_ = RecordSelection{};
    fahrenheit_ = pendingFahrenheit_;
    headings_ = pendingHeadings_;
    remarkTexts_ = listRemarkTexts();
    cellsMade_ = 0;
    endResetModel();
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, kRecordListColumns - 1);
}

void RecordListModel::show(std::shared_ptr<const DisplaySnapshot> shown) {
    shown_ = std::move(shown);
    refill(shown_->from, shown_->to);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(selection_.indices.size());
}

int RecordListModel::rowOfRecord(std::size_t record) const {
    // The rows are in list order, so their record indices ascend.
    const auto& indices = selection_.indices;
    const auto found = std::lower_bound(indices.begin(), indices.end(), record);
    return found != indices.end() && *found == record ? static_cast<int>(found - indices.begin())
                                                      : -1;
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRecordListColumns;
}

void RecordListModel::setLimits(const AlarmLimits& limits) {
    limits_ = limits;
    if (!selection_.indices.empty()) {
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, kRecordListColumns - 1));
    }
}

bool RecordListModel::outOfRange(std::size_t recordIndex) const {
    if (!limits_.any()) {
        return false;
    }
    return store_.withDisplayed([&](const RecorderSettings&, const RecordList& records) {
        return recordIndex < records.size() && isOutOfRange(records[recordIndex], limits_);
    });
}

QString RecordListModel::cell(std::size_t recordIndex, int column) const {
    ++cellsMade_;
    if (column == kRemarkColumn) {
        QString remark = qstr(recordRemark(recordIndex, selection_.marks, remarkTexts_));
        if (outOfRange(recordIndex)) {
            // Read at every draw, so that it follows a change of language at once.
            remark +=
                (remark.isEmpty() ? QString() : QStringLiteral("; ")) + qlang(text::kOutOfRange);
        }
        return remark;
    }
    // The records may have changed since the fill (a reload pending its refill): a row that no
    // longer exists shows empty.
    return store_.withDisplayed([&](const RecorderSettings&, const RecordList& records) {
        return recordIndex < records.size()
                   ? qstr(recordListCell(records[recordIndex], column, fahrenheit_))
                   : QString();
    });
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignCenter);
    }
    const std::size_t record = selection_.indices[static_cast<std::size_t>(index.row())];
    if (role == Qt::ToolTipRole && index.column() == kRemarkColumn) {
        // The whole remark, however narrow the user made the column.
        const QString remark = cell(record, kRemarkColumn);
        return remark.isEmpty() ? QVariant() : QVariant(remark);
    }
    if (role == Qt::ForegroundRole) {
        return outOfRange(record) ? QVariant(kOutOfRangeColour) : QVariant();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    return cell(record, index.column());
}

QStringList RecordListModel::remarks() const {
    QStringList texts;
    const RecordMarks& marks = selection_.marks;
    for (const std::ptrdiff_t row : {marks.highestTemperature, marks.lowestTemperature,
                                     marks.highestHumidity, marks.lowestHumidity, marks.newest}) {
        if (row >= 0) {
            texts << qstr(recordRemark(static_cast<std::size_t>(row), marks, remarkTexts_));
        }
    }
    // With limits in force any of them may also be out of range.
    if (limits_.any()) {
        const QString outOfRange = qlang(text::kOutOfRange);
        for (QString& remark : texts) {
            remark += QStringLiteral("; ") + outOfRange;
        }
        texts << outOfRange;
    }
    return texts;
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kRecordListColumns) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return qstr(headings_[static_cast<std::size_t>(section)]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignCenter);
    }
    return {};
}

} // namespace veldrin
