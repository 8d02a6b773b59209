#include "view/statistics_dialog.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

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

// A table of figures is as tall as its rows and as wide as its columns: no row and no column hides
// behind a scroll bar, in any language.
void showEveryRow(QTableWidget* view) {
    int height = view->horizontalHeader()->sizeHint().height() + 2 * view->frameWidth();
    for (int r = 0; r < view->rowCount(); ++r) {
        height += view->rowHeight(r);
    }
    view->setFixedHeight(height);
    view->setMinimumWidth(view->horizontalHeader()->length() + 2 * view->frameWidth());
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
    showEveryRow(statistics_);
    layout->addWidget(statistics_);
    layout->addWidget(plainLabel(qlang(text::kAlarmLimits), this));
    limits_ = tableOf(limitsTable(stats, limits), this);
    showEveryRow(limits_);
    layout->addWidget(limits_);
    layout->addWidget(plainLabel(qlang(text::kEvents), this));
    events_ = tableOf(eventsTable(stats), this);
    layout->addWidget(events_, 1); // the events take what is left, and scroll
    // What the mark of an event cut by the window's edge means, as under the report's events.
    for (const QString& note : cutNotes(stats)) {
        QLabel* label = plainLabel(note, this);
        label->setWordWrap(true); // long sentences
        layout->addWidget(label);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(kWidth, std::max(kHeight, layout->sizeHint().height()));
}

} // namespace veldrin
