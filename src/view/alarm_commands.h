#pragma once
// The commands of the Setting menu that concern alarms: Alarm limits (the displayed recorder's
// limits, edited in CAlarmLimitsDialog and stored in main.ini) and Statistics (the statistics and
// events of what is shown). They take the snapshot of what is shown and the session; the dialogs
// run through runners, so that tests answer them without a modal loop; the default runners show
// them modally.

#include "chart/display_snapshot.h"
#include "settings/alarm_limits_dialog.h"
#include "view/statistics_dialog.h"

#include <functional>

class QWidget;

namespace veldrin {

class ViewSession;

using AlarmLimitsDialogRunner = std::function<bool(CAlarmLimitsDialog&)>;
using StatisticsDialogRunner = std::function<void(CStatisticsDialog&)>;

enum class AlarmLimitsOutcome { noRecorder, cancelled, saved, failed };

// Saved limits reach the session (ViewSession::limitsChanged), which tells the view.
AlarmLimitsOutcome runAlarmLimitsCommand(ViewSession& session, const DisplaySnapshot& shown,
                                         QWidget* parent,
                                         const AlarmLimitsDialogRunner& runDialog = {});

// The statistics of the displayed records inside the snapshot's time window.
WindowStatistics windowStatistics(const DisplaySnapshot& shown);

void runStatisticsCommand(const DisplaySnapshot& shown, QWidget* parent,
                          const StatisticsDialogRunner& runDialog = {});

} // namespace veldrin
