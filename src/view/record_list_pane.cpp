#include "view/record_list_pane.h"

#include "view/command_ids.h"
#include "view/record_list_model.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace veldrin {

namespace {

constexpr int kListColumnWidth = 140;
constexpr int kListInset = 5;
constexpr int kMaxRestoredColumnWidth = 4000;

} // namespace

CRecordListPane::CRecordListPane(const DataStore& store, QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kListInset, 0, 0, 0);
    table_ = new QTableView(this);
    table_->setObjectName(QString::number(control_id::kRecordList));
    model_ = new RecordListModel(store, this);
    table_->setModel(model_);
    table_->setShowGrid(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setDefaultSectionSize(kListColumnWidth);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // Every row has the same height: the view never measures rows it does not show.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    layout->addWidget(table_);
}

void CRecordListPane::fill(const std::shared_ptr<const DisplaySnapshot>& shown,
                           bool refillPending) {
    const auto wanted = std::make_tuple(shown->from, shown->to, shown->recorder);
    const bool sameWindow = listed_ == wanted;
    if (!refillPending && sameWindow) {
        return;
    }
    // The user's place in the list, by record, so that it survives the periodic refills.
    QScrollBar* scroll = table_->verticalScrollBar();
    const int scrolledTo = scroll->value();
    const QModelIndex current = table_->currentIndex();
    const std::optional<std::size_t> chosenRecord =
        current.isValid() ? std::optional(model_->recordOfRow(current.row())) : std::nullopt;

    model_->show(shown);
    fitColumns();
    listed_ = wanted;
    if (!sameWindow) {
        table_->scrollToTop();
        return;
    }
    if (chosenRecord) {
        const int row = model_->rowOfRecord(*chosenRecord);
        if (row >= 0) {
            table_->setCurrentIndex(model_->index(row, current.column()));
        }
    }
    scroll->setValue(scrolledTo);
}

void CRecordListPane::fitColumns() {
    // A width the user chose stays unless a text would be cut.
    QHeaderView* header = table_->horizontalHeader();
    const int cellMargin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) + 1;
    int widestRemark = 0;
    for (const QString& remark : model_->remarks()) {
        widestRemark = std::max(widestRemark, table_->fontMetrics().horizontalAdvance(remark));
    }
    constexpr int kRemarks = kRecordListColumns - 1;
    for (int column = 0; column < kRemarks; ++column) {
        const int needed = header->sectionSizeHint(column);
        if (header->sectionSize(column) < needed) {
            header->resizeSection(column, needed);
        }
    }
    // The remarks are centred: a width left over from longer remarks (one record that is every
    // extreme at once) would put them out of view. A width this pane gave therefore follows the
    // remarks shown, narrower too; one the user chose only grows.
    const int needed =
        std::max({kListColumnWidth, header->sectionSizeHint(kRemarks), widestRemark + cellMargin});
    const int now = header->sectionSize(kRemarks);
    if (now < needed || (now == remarksFitted_ && now != needed)) {
        header->resizeSection(kRemarks, needed);
        remarksFitted_ = needed;
    }
}

QVariantList CRecordListPane::columnWidths() const {
    QVariantList widths;
    for (int column = 0; column < kRecordListColumns; ++column) {
        widths << table_->horizontalHeader()->sectionSize(column);
    }
    return widths;
}

void CRecordListPane::restoreColumnWidths(const QVariantList& widths) {
    QHeaderView* header = table_->horizontalHeader();
    for (int column = 0; column < kRecordListColumns && column < widths.size(); ++column) {
        const int width = widths[column].toInt();
        if (width > 0 && width <= kMaxRestoredColumnWidth) {
            header->resizeSection(column, width);
        }
    }
    fitColumns();
}

void CRecordListPane::detachModel() {
    table_->setModel(nullptr);
}

} // namespace veldrin
