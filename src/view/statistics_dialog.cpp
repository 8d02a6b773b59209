#include "view/statistics_dialog.h"

#include "lang/language_table.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace veldrin {
namespace {

constexpr int kTextPeriod = 76;
constexpr int kTextAlarmLimits = 173;
constexpr int kTextStatistics = 183;
constexpr int kTextEvents = 188;
constexpr int kWidth = 760;
constexpr int kHeight = 620;

QString lang(int index) {
    return QString::fromStdU16String(languageString(index));
}

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
    setWindowTitle(lang(kTextStatistics));
    resize(kWidth, kHeight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(lang(kTextPeriod) + QLatin1Char(' ') + period, this));
    statistics_ = tableOf(statisticsTable(stats), this);
    layout->addWidget(statistics_, 2);
    layout->addWidget(plainLabel(lang(kTextAlarmLimits), this));
    limits_ = tableOf(limitsTable(stats, limits), this);
    layout->addWidget(limits_, 2);
    layout->addWidget(plainLabel(lang(kTextEvents), this));
    events_ = tableOf(eventsTable(stats), this);
    layout->addWidget(events_, 3);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

} // namespace veldrin
