#include "view/statistics_dialog.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veldrin {
namespace {

constexpr int kWidth = 760;
constexpr int kHeight = 620;

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QTableWidget* tableOf(const TextTable& table, QWidget* parent) {
    auto* view = new QTableWidget(static_cast<int>(table.rows.size()),
                                  static_cast<int>(table.headings.size()), parent);
    view->setHorizontalHeaderLabels(table.headings);
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int r = 0; r < table.rows.size(); ++r) {
        for (int c = 0; c < table.rows[r].size() && c < table.headings.size(); ++c) {
            view->setItem(r, c, new QTableWidgetItem(table.rows[r][c]));
        }
    }
    view->resizeColumnsToContents();
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

} // namespace

CStatisticsDialog::CStatisticsDialog(const WindowStatistics& stats, const AlarmLimits& limits,
                                     const QString& period, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("statisticsDialog"));
    setWindowTitle(qlang(text::kStatistics));
    resize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(qlang(text::kPeriod) + QLatin1Char(' ') + period, this));
    statistics_ = tableOf(statisticsTable(stats), this);
    layout->addWidget(statistics_, 2);
    layout->addWidget(plainLabel(qlang(text::kAlarmLimits), this));
    limits_ = tableOf(limitsTable(stats, limits), this);
    layout->addWidget(limits_, 2);
    layout->addWidget(plainLabel(qlang(text::kEvents), this));
    events_ = tableOf(eventsTable(stats), this);
    layout->addWidget(events_, 3);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace veldrin
