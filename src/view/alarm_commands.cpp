#include "view/alarm_commands.h"

#include "qlang/qlang.h"
#include "view/view_session.h"

namespace veldrin {

AlarmLimitsOutcome runAlarmLimitsCommand(ViewSession& session, const DisplaySnapshot& shown,
                                         QWidget* parent,
                                         const AlarmLimitsDialogRunner& runDialog) {
    const int32_t number = shown.recorder;
    if (number < 0) {
        session.prompts().message(parent, qlang(text::kNoRecorderDisplayed), PromptIcon::Warning);
        return AlarmLimitsOutcome::noRecorder;
    }
    CAlarmLimitsDialog dialog(session.alarms().limitsOf(number), shown.fahrenheit, number,
                              session.prompts(), parent);
    const bool accepted = runDialog ? runDialog(dialog) : dialog.exec() == QDialog::Accepted;
    if (!accepted) {
        return AlarmLimitsOutcome::cancelled;
    }
    std::string error;
    if (!writeAlarmLimits(session.ini(), number, dialog.result(), error)) {
        session.prompts().message(parent,
                                  qlang(text::kLimitsNotSaved) + QLatin1Char('\n') +
                                      QString::fromStdString(error),
                                  PromptIcon::Warning);
        return AlarmLimitsOutcome::failed;
    }
    session.limitsChanged(number);
    return AlarmLimitsOutcome::saved;
}

WindowStatistics windowStatistics(const DisplaySnapshot& shown) {
    // One pass under the lock: the records are not copied.
    return shown.withRecords([&](const RecorderSettings& s, const RecordList& records) {
        return computeStatistics(records, shown.from, shown.to, s.tempUnit != 0, shown.limits);
    });
}

void runStatisticsCommand(const DisplaySnapshot& shown, QWidget* parent,
                          const StatisticsDialogRunner& runDialog) {
    CStatisticsDialog dialog(
        windowStatistics(shown), shown.limits,
        statisticsTime(shown.from) + QStringLiteral(" \u2013 ") + statisticsTime(shown.to), parent);
    if (runDialog) {
        runDialog(dialog);
    } else {
        dialog.exec();
    }
}

} // namespace veldrin
