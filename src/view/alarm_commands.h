#pragma once
// The commands of the Setting menu that concern alarms: Alarm limits (the displayed recorder's
// limits, edited in CAlarmLimitsDialog and stored in main.ini) and Statistics (the current time
// window's statistics and events). The dialogs run through runners, so that tests answer them
// without a modal loop; the default runners show them modally.

#include "settings/alarm_limits_dialog.h"
#include "view/statistics_dialog.h"

#include <functional>

namespace veldrin {

class CVeldrinView;

using AlarmLimitsDialogRunner = std::function<bool(CAlarmLimitsDialog&)>;
using StatisticsDialogRunner = std::function<void(CStatisticsDialog&)>;

enum class AlarmLimitsOutcome { noRecorder, cancelled, saved, failed };

AlarmLimitsOutcome runAlarmLimitsCommand(CVeldrinView& view,
                                         const AlarmLimitsDialogRunner& runDialog = {});

// The statistics of the displayed records inside the view's time window.
WindowStatistics windowStatistics(CVeldrinView& view);

void runStatisticsCommand(CVeldrinView& view, const StatisticsDialogRunner& runDialog = {});

} // namespace veldrin
