#pragma once
// The Statistics dialog: the statistics of the current time window, the limits with their
// events counted, and the table of alarm events, as the printed report shows them.

#include "report/statistics_tables.h"

#include <QDialog>

class QTableWidget;

namespace veldrin {

class CStatisticsDialog : public QDialog {
    Q_OBJECT
public:
    CStatisticsDialog(const WindowStatistics& stats, const AlarmLimits& limits,
                      const QString& period, QWidget* parent = nullptr);

    QTableWidget* statisticsView() const { return statistics_; }
    QTableWidget* limitsView() const { return limits_; }
    QTableWidget* eventsView() const { return events_; }

private:
    QTableWidget* statistics_;
    QTableWidget* limits_;
    QTableWidget* events_;
};

} // namespace veldrin
