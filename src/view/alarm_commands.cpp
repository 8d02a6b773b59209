#include "view/alarm_commands.h"

#include "qlang/qlang.h"

#include "lang/language_table.h"
#include "view/alarm_monitor.h"
#include "view/veldrin_view.h"

namespace veldrin {
namespace {} // namespace

AlarmLimitsOutcome runAlarmLimitsCommand(CVeldrinView& view,
                                         const AlarmLimitsDialogRunner& runDialog) {
    const int32_t number = view.chosenRecorder();
    if (number < 0) {
        view.prompts().message(&view, qlang(text::kNoRecorderDisplayed), PromptIcon::Warning);
        return AlarmLimitsOutcome::noRecorder;
    }
    const bool fahrenheit = view.store().displayedSettings().tempUnit != 0;
    CAlarmLimitsDialog dialog(view.alarms().limitsOf(number), fahrenheit, number, view.prompts(),
                              &view);
    const bool accepted = runDialog ? runDialog(dialog) : dialog.exec() == QDialog::Accepted;
    if (!accepted) {
        return AlarmLimitsOutcome::cancelled;
    }
    std::string error;
    if (!writeAlarmLimits(view.store().ini(), number, dialog.result(), error)) {
        view.prompts().message(
            &view, qlang(text::kLimitsNotSaved) + QLatin1Char('\n') + QString::fromStdString(error),
            PromptIcon::Warning);
        return AlarmLimitsOutcome::failed;
    }
    view.alarmLimitsChanged(number);
    return AlarmLimitsOutcome::saved;
}

WindowStatistics windowStatistics(CVeldrinView& view) {
    const auto [start, end] = view.timeWindow();
    const AlarmLimits limits = view.alarms().displayedLimits();
    // One pass under the lock: the records are not copied.
    return view.store().withDisplayed([&](const RecorderSettings& s, const RecordList& records) {
        return computeStatistics(records, start, end, s.tempUnit != 0, limits);
    });
}

void runStatisticsCommand(CVeldrinView& view, const StatisticsDialogRunner& runDialog) {
    const auto [start, end] = view.timeWindow();
    CStatisticsDialog dialog(
        windowStatistics(view), view.alarms().displayedLimits(),
        statisticsTime(start) + QStringLiteral(" \u2013 ") + statisticsTime(end), &view);
    if (runDialog) {
        runDialog(dialog);
    } else {
        dialog.exec();
    }
}

} // namespace veldrin
