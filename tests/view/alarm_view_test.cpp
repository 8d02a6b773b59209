// The window's alarm limits: the dialog shows and takes values in the recorder's unit and the
// command stores them in main.ini; the record list marks the records beyond them.

#include "view_rig.h"

#include "lang/language_table.h"
#include "lang/text_numbers.h"
#include "settings/alarm_limits_dialog.h"
#include "store/ini_file.h"
#include "view/alarm_commands.h"
#include "view/alarm_monitor.h"
#include "view/command_ids.h"
#include "view/record_list_model.h"
#include "view/statistics_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::recordAt;
using testing::ViewRig;
using testing::writeDataFile;
using testing::writeFile;

QString lang(int index) {
    return QString::fromStdU16String(languageString(index));
}

// Recorder 0 shows Fahrenheit; its upper temperature limit is 24 °C (75.2 °F).
void fahrenheitRecorderWithLimit(ViewRig& rig) {
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                    "[Alarm Limits 0]\nTempHigh=24\n");
    RecorderSettings settings;
    settings.tempUnit = 1;
    settings.interval = 10;
    writeDataFile(rig.file("0.dat"), settings,
                  {recordAt(DateTime::fromFields(2011, 6, 15, 14, 0), 20.0, 50),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 10), 25.0, 40),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 20), 23.9, 60),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 30), 19.0, 70)});
}

AlarmLimits onlyUpperTemperature(double celsius) {
    AlarmLimits limits;
    limits.tempHigh = celsius;
    return limits;
}

QStringList shown(CAlarmLimitsDialog& dialog) {
    QStringList texts;
    for (const LimitKind kind : kLimitKinds) {
        texts << dialog.field(kind)->text();
    }
    return texts;
}

TEST(AlarmLimitsCommand, RoundTripInTheRecordersUnitKeepsUntouchedValuesExactly) {
    ViewRig rig;
    fahrenheitRecorderWithLimit(rig);
    CVeldrinView& view = rig.start();

    QStringList seen;
    const auto outcome = runAlarmLimitsCommand(
        view.session(), *view.shownNow(), &view, [&](CAlarmLimitsDialog& dialog) {
            seen = shown(dialog);
            dialog.field(LimitKind::tempLow)->setText("50"); // 10 °C
            dialog.field(LimitKind::humHigh)->setText("65.5");
            dialog.delayBox()->setValue(15);
            dialog.accept();
            return dialog.result() != AlarmLimits{};
        });
    EXPECT_EQ(outcome, AlarmLimitsOutcome::saved);
    EXPECT_EQ(seen, QStringList({"75.2", "", "", ""}));
    const AlarmLimits stored = view.alarms().limitsOf(0);
    EXPECT_EQ(stored.tempHigh, 24.0); // shown as 75.2 and left alone: not converted back
    EXPECT_EQ(stored.tempLow, 10.0);
    EXPECT_EQ(stored.humHigh, 65.5);
    EXPECT_FALSE(stored.humLow);
    EXPECT_EQ(stored.delayMinutes, 15);
    EXPECT_EQ(view.alarms().displayedLimits(), stored);

    runAlarmLimitsCommand(view.session(), *view.shownNow(), &view, [&](CAlarmLimitsDialog& dialog) {
        seen = shown(dialog);
        EXPECT_EQ(dialog.delayBox()->value(), 15);
        return false;
    });
    EXPECT_EQ(seen, QStringList({"75.2", "50", "65.5", ""}));
    EXPECT_TRUE(rig.prompts.messages.isEmpty()) << rig.prompts.messages.join('\n').toStdString();
}

// German and French show the decimal comma and take it as typed; the dot is taken everywhere.
TEST(AlarmLimitsCommand, TheDecimalCommaOfGermanAndFrench) {
    const struct {
        Language language;
        const char* shown;
        const char* typed;
    } cases[] = {{kEnglish, "75.2", "65.5"}, {kGerman, "75,2", "65,5"}, {kFrench, "75,2", "65.5"}};
    for (const auto& c : cases) {
        ViewRig rig;
        fahrenheitRecorderWithLimit(rig);
        CVeldrinView& view = rig.start();
        CurrentLanguage::set(c.language);
        QStringList seen;
        runAlarmLimitsCommand(view.session(), *view.shownNow(), &view, [&](CAlarmLimitsDialog& d) {
            seen = shown(d);
            d.field(LimitKind::humHigh)->setText(c.typed);
            d.accept();
            return true;
        });
        CurrentLanguage::set(kEnglish);
        EXPECT_EQ(seen.value(0), c.shown);
        EXPECT_EQ(view.alarms().limitsOf(0).humHigh, 65.5) << c.typed;
        EXPECT_EQ(view.alarms().limitsOf(0).tempHigh, 24.0) << c.typed; // left as shown
    }
}

// The figures in the language's decimal sign, each with the places it has: a reading as the
// recorder resolves it, a mean two places, a limit as entered; the time beyond a limit in all
// beside the time in events; at the default size every row of figures and limits shows.
TEST(StatisticsCommand, FiguresInTheLanguagesDecimalSignWithTheirOwnPlacesAllRowsShown) {
    const struct {
        Language language;
        const char* minimum; // a reading: tenths of a degree, whole percent
        const char* meanHumidity;
        const char* limit;
    } cases[] = {{kEnglish, "66.2 \u00B0F", "55.00 %", "75.2 \u00B0F"},
                 {kGerman, "66,2 \u00B0F", "55,00 %", "75,2 \u00B0F"},
                 {kFrench, "66,2 \u00B0F", "55,00 %", "75,2 \u00B0F"}};
    ViewRig rig;
    fahrenheitRecorderWithLimit(rig);
    CVeldrinView& view = rig.start();
    for (const auto& c : cases) {
        CurrentLanguage::set(c.language);
        runStatisticsCommand(*view.shownNow(), &view, [&](CStatisticsDialog& dialog) {
            const QTableWidget* figures = dialog.statisticsView();
            const QTableWidget* limits = dialog.limitsView();
            EXPECT_TRUE(figures->item(1, 1)->text().startsWith(QString::fromUtf8(c.minimum)));
            EXPECT_TRUE(figures->item(1, 2)->text().startsWith(QStringLiteral("40 % ")));
            EXPECT_EQ(figures->item(3, 2)->text(), QString::fromUtf8(c.meanHumidity));
            EXPECT_EQ(limits->item(0, 1)->text(), QString::fromUtf8(c.limit));
            // 25.0 °C at 14:10 alone lies beyond 24 °C: ten minutes, an event without a delay.
            EXPECT_EQ(limits->item(0, 3)->text(), QStringLiteral("10"));
            EXPECT_EQ(limits->item(0, 4)->text(), QStringLiteral("10"));
            EXPECT_EQ(limits->horizontalHeaderItem(4)->text(), lang(text::kTimeBeyondColumn));
            dialog.show();
            for (const QTableWidget* table : {figures, limits}) {
                ASSERT_GT(table->rowCount(), 3);
                const int last = table->rowCount() - 1;
                EXPECT_LE(table->visualRect(table->model()->index(last, 0)).bottom(),
                          table->viewport()->height());
            }
        });
    }
    CurrentLanguage::set(kEnglish);
}

// Values of main.ini that cannot be used, found at start, are said in one box listing them all.
TEST(AlarmLimitsAtStart, BadValuesInMainIniAreSaidInOneBox) {
    ViewRig rig;
    fahrenheitRecorderWithLimit(rig);
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                    "[Alarm Limits 0]\nTempHigh=warm\nHumHigh=150\n"
                                    "DelayMinutes=-5\n");
    rig.start();
    rig.pumpUntilIdle();
    ASSERT_EQ(rig.prompts.messages.size(), 1);
    const QString box = rig.prompts.messages.front();
    for (const char* key : {"TempHigh", "HumHigh", "DelayMinutes"}) {
        EXPECT_TRUE(box.contains(QLatin1String(key))) << box.toStdString();
    }
}

TEST(AlarmLimitsCommand, EntriesThatCannotBeTakenKeepTheDialogOpenAndSayWhy) {
    ViewRig rig;
    fahrenheitRecorderWithLimit(rig);
    CVeldrinView& view = rig.start();
    const struct {
        LimitKind kind;
        const char* entry;
        int message;
    } cases[] = {
        {LimitKind::tempLow, "cold", 180},
        {LimitKind::tempLow, "12,5,0", 180}, // one separator at most
        {LimitKind::tempLow, "80", 181},     // above the upper limit of 75.2 °F
    };
    for (const auto& c : cases) {
        bool stayedOpen = false;
        runAlarmLimitsCommand(view.session(), *view.shownNow(), &view,
                              [&](CAlarmLimitsDialog& dialog) {
                                  dialog.field(c.kind)->setText(c.entry);
                                  dialog.accept();
                                  stayedOpen = dialog.result() == onlyUpperTemperature(24.0);
                                  return false;
                              });
        EXPECT_TRUE(stayedOpen) << c.entry;
        ASSERT_EQ(rig.prompts.messages.size(), 1) << c.entry;
        EXPECT_TRUE(rig.prompts.messages.takeFirst().startsWith(lang(c.message))) << c.entry;
    }
    EXPECT_EQ(view.alarms().limitsOf(0), onlyUpperTemperature(24.0));
}

TEST(AlarmRecordList, RecordsBeyondALimitAreMarkedAndFollowTheLimits) {
    ViewRig rig;
    fahrenheitRecorderWithLimit(rig);
    CVeldrinView& view = rig.start();
    auto* display = rig.control<QComboBox>(control_id::kDisplayCombo);
    display->setCurrentIndex(1);
    Q_EMIT display->activated(1);
    auto* period = rig.control<QComboBox>(control_id::kPeriodCombo);
    period->setCurrentIndex(1); // today
    Q_EMIT period->activated(1);
    RecordListModel& model = view.recordListModel();
    ASSERT_EQ(model.rowCount(), 4);

    auto marked = [&] {
        std::vector<bool> rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString remark = model.index(row, kRecordListColumns - 1).data().toString();
            const bool coloured = model.index(row, 1).data(Qt::ForegroundRole).isValid();
            EXPECT_EQ(remark.contains(lang(194)), coloured) << row;
            rows.push_back(coloured);
        }
        return rows;
    };
    EXPECT_EQ(marked(), std::vector<bool>({false, true, false, false}));

    runAlarmLimitsCommand(view.session(), *view.shownNow(), &view, [](CAlarmLimitsDialog& dialog) {
        dialog.field(LimitKind::tempHigh)->clear();
        dialog.field(LimitKind::humLow)->setText("55");
        dialog.accept();
        return true;
    });
    EXPECT_EQ(marked(), std::vector<bool>({true, true, false, false}));
    runAlarmLimitsCommand(view.session(), *view.shownNow(), &view, [](CAlarmLimitsDialog& dialog) {
        dialog.field(LimitKind::humLow)->clear();
        dialog.accept();
        return true;
    });
    EXPECT_EQ(marked(), std::vector<bool>({false, false, false, false}));
}

} // namespace
} // namespace veldrin
