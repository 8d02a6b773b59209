#include "view_rig.h"

#include "chart/chart_area.h"
#include "device/logger_header.h"
#include "export/record_list.h"
#include "lang/language_table.h"
#include "settings/language_dialog.h"
#include "store/data_file.h"
#include "view/alarm_monitor.h"
#include "view/command_ids.h"
#include "view/record_list_model.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace veldrin::testing {
namespace {

QString lang(int index) {
    const std::u16string text = languageString(index);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QString q(const std::u16string& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QStringList entries(QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) {
        out << combo->itemText(i);
    }
    return out;
}

// What a user's choice in a combo does.
void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
}

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

class LanguageGuard {
public:
    LanguageGuard() : saved_(CurrentLanguage::stored()) { CurrentLanguage::set(kEnglish); }
    ~LanguageGuard() { CurrentLanguage::set(saved_); }

private:
    int saved_;
};

// Three recorders registered; recorder 2 in Fahrenheit with a description that looks like markup.
void registerThreeRecorders(ViewRig& rig) {
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=3\nID0000000=6,2,3\nID0000001=12,3,4\n"
                                    "ID0000002=20,4,5\n");
    RecorderSettings other;
    other.interval = 5;
    for (int n = 0; n < 2; ++n) {
        other.recorderNumber = n;
        writeDataFile(rig.file(std::to_string(n) + ".dat"), other, {});
    }
    RecorderSettings third;
    third.recorderNumber = 2;
    third.interval = 7;
    third.tempUnit = 1;
    third.description = u"<b>Cellar</b>";
    writeDataFile(rig.file("2.dat"), third,
                  {recordAt(DateTime::fromFields(2011, 6, 15, 13, 50), 20.0, 50),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 0), 25.0, 40),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 30), 25.0, 60),
                   recordAt(DateTime::fromFields(2011, 6, 15, 15, 0), 21.0, 45),
                   recordAt(DateTime::fromFields(2011, 6, 15, 15, 1), 19.0, 45)});
}

TEST(ViewStartUp, WithoutMainIniEverythingIsEmptyAndTheFirstPresetIsChosen) {
    LanguageGuard language;
    ViewRig rig;
    CVeldrinView& view = rig.start();
    EXPECT_EQ(rig.control<QComboBox>(control_id::kRecorderCombo)->count(), 0);
    EXPECT_EQ(view.chosenRecorder(), -1);
    EXPECT_EQ(view.displayMode(), DisplayMode::chart);
    EXPECT_EQ(entries(rig.control<QComboBox>(control_id::kDisplayCombo)),
              QStringList({lang(32), lang(91)}));
    EXPECT_EQ(entries(rig.control<QComboBox>(control_id::kSelectCombo)),
              QStringList({lang(119), lang(74), lang(110)}));
    auto* period = rig.control<QComboBox>(control_id::kPeriodCombo);
    EXPECT_EQ(entries(period), QStringList({lang(5), lang(4), lang(7), lang(6), lang(8)}));
    EXPECT_EQ(period->currentIndex(), 0);
    EXPECT_FALSE(rig.control<QDateTimeEdit>(control_id::kStartDate)->isEnabled());
    EXPECT_EQ(rig.control<QDateTimeEdit>(control_id::kStartTime)->dateTime(), at(2011, 6, 15, 14));
    EXPECT_EQ(rig.control<QDateTimeEdit>(control_id::kEndDate)->dateTime(), at(2011, 6, 15, 15));
    EXPECT_EQ(view.store().displayedCount(), 0u);
    EXPECT_EQ(view.recordListModel().rowCount(), 0);
    EXPECT_EQ(rig.frame.paneWidth, 900 - 150);
    view.resize(1000, 700);
    EXPECT_EQ(rig.frame.paneWidth, 1000 - 150);
    EXPECT_FALSE(std::filesystem::exists(rig.file("main.ini")));
}

TEST(ViewStartUp, ADeviceThatCannotBeOpenedFailsTheStartWithTheReason) {
    LanguageGuard language;
    TempDir dir;
    RecordingFrame frame;
    RecordingPrompts prompts;
    ManualClock clock(kWednesday);
    ViewStartup startup;
    startup.dataFolder = dir.path();
    startup.device = "serial:/dev/null";
    startup.clock = &clock;
    startup.prompts = &prompts;
    startup.runTimer = false;
    CVeldrinView view(startup, frame);
    EXPECT_FALSE(view.initialUpdate());
    EXPECT_FALSE(view.startupError().isEmpty());
}

TEST(ViewStartUp, WithMaxIdThreeTheNewestRecorderIsShownBeforeAnyIsAttached) {
    LanguageGuard language;
    ViewRig rig;
    registerThreeRecorders(rig);
    CVeldrinView& view = rig.start();
    auto* recorders = rig.control<QComboBox>(control_id::kRecorderCombo);
    EXPECT_EQ(entries(recorders), QStringList({"0", "1", "2"}));
    EXPECT_EQ(view.chosenRecorder(), 2);
    EXPECT_EQ(view.store().displayedSettings().recorderNumber, 2);
    EXPECT_EQ(view.store().displayedCount(), 5u);
    EXPECT_EQ(rig.control<QLineEdit>(control_id::kIntervalEdit)->text(), "7");
    auto* description = rig.control<QLabel>(control_id::kDescription);
    EXPECT_EQ(description->text(), lang(30) + "<b>Cellar</b>");
    EXPECT_EQ(description->textFormat(), Qt::PlainText);
    // The current hour 14:00 .. 15:00 holds three of the five records, the one at the end too.
    EXPECT_EQ(view.recordListModel().rowCount(), 3);

    // Choosing another recorder loads its file; choosing recorder 2 again reloads it.
    choose(recorders, 0);
    EXPECT_EQ(view.store().displayedCount(), 0u);
    EXPECT_EQ(rig.control<QLineEdit>(control_id::kIntervalEdit)->text(), "5");
    EXPECT_EQ(view.recordListModel().rowCount(), 0);
    choose(recorders, 2);
    EXPECT_EQ(view.recordListModel().rowCount(), 3);
}

struct PresetCase {
    int64_t now;
    int position;
    QDateTime start;
    QDateTime end;
};

TEST(ViewTimeWindow, PresetsFollowTheClock) {
    LanguageGuard language;
    const int64_t december = 1323943200; // Thursday 2011-12-15 10:00:00
    const PresetCase cases[] = {
        {kWednesday, 0, at(2011, 6, 15, 14), at(2011, 6, 15, 15)},
        {kWednesday, 1, at(2011, 6, 15), at(2011, 6, 16)},
        {kWednesday, 2, at(2011, 6, 12), at(2011, 6, 19)},
        {kWednesday, 3, at(2011, 6, 1), at(2011, 7, 1)},
        {kWednesday, 4, at(2011, 1, 1), at(2012, 1, 1)},
        {december, 3, at(2011, 12, 1), at(2012, 1, 1)},
        {december, 2, at(2011, 12, 11), at(2011, 12, 18)},
        {kWednesday - 3 * 86400, 2, at(2011, 6, 12), at(2011, 6, 19)}, // a Sunday
    };
    ViewRig rig;
    rig.start();
    auto* period = rig.control<QComboBox>(control_id::kPeriodCombo);
    for (const PresetCase& c : cases) {
        SCOPED_TRACE(c.position);
        rig.clock.setUnixSeconds(c.now);
        choose(period, c.position);
        for (const int id : {control_id::kStartDate, control_id::kStartTime}) {
            EXPECT_EQ(rig.control<QDateTimeEdit>(id)->dateTime(), c.start);
        }
        for (const int id : {control_id::kEndDate, control_id::kEndTime}) {
            EXPECT_EQ(rig.control<QDateTimeEdit>(id)->dateTime(), c.end);
        }
    }
}

TEST(ViewTimeWindow, SlotsOfTheDisplayedRecorderAndCollapseWithoutOne) {
    LanguageGuard language;
    ViewRig rig;
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    RecorderSettings settings;
    settings.slots[2].inUse = 1;
    settings.slots[2].start = DateTime::fromFields(2011, 6, 1, 8);
    settings.slots[2].end = DateTime::fromFields(2011, 6, 2, 9);
    writeDataFile(rig.file("0.dat"), settings, {});
    rig.start();
    auto* select = rig.control<QComboBox>(control_id::kSelectCombo);
    auto* period = rig.control<QComboBox>(control_id::kPeriodCombo);
    choose(select, 1);
    EXPECT_EQ(entries(period), QStringList({lang(74) + " 3"}));
    EXPECT_EQ(rig.view().timeWindow().first, DateTime::fromFields(2011, 6, 1, 8));
    EXPECT_EQ(rig.view().timeWindow().second, DateTime::fromFields(2011, 6, 2, 9));

    writeDataFile(rig.file("0.dat"), RecorderSettings{}, {});
    choose(rig.control<QComboBox>(control_id::kRecorderCombo), 0); // reload
    rig.view().applyTimeWindow();
    EXPECT_EQ(period->count(), 0);
    const DateTime now = rig.clock.nowLocal();
    EXPECT_EQ(rig.view().timeWindow(), std::make_pair(now, now));
}

TEST(ViewTimeWindow, PickersKeepTheEndAfterTheStartAndSayWhenTheyCorrectIt) {
    LanguageGuard language;
    ViewRig rig;
    rig.start();
    choose(rig.control<QComboBox>(control_id::kSelectCombo), 2);
    auto* startDate = rig.control<QDateTimeEdit>(control_id::kStartDate);
    auto* startTime = rig.control<QDateTimeEdit>(control_id::kStartTime);
    auto* endDate = rig.control<QDateTimeEdit>(control_id::kEndDate);
    auto* endTime = rig.control<QDateTimeEdit>(control_id::kEndTime);
    ASSERT_TRUE(startDate->isEnabled());

    // A start moved past the end drags the end along, silently.
    startTime->setDateTime(at(2011, 6, 15, 16, 30));
    EXPECT_EQ(startDate->dateTime(), at(2011, 6, 15, 16, 30));
    EXPECT_EQ(endDate->dateTime(), at(2011, 6, 15, 16, 30));
    EXPECT_EQ(endTime->dateTime(), at(2011, 6, 15, 16, 30));
    startDate->setDateTime(at(2011, 6, 14, 16, 30)); // back again: the end stays
    EXPECT_EQ(endTime->dateTime(), at(2011, 6, 15, 16, 30));
    QCoreApplication::processEvents();
    EXPECT_TRUE(rig.prompts.messages.isEmpty());

    // An end moved before the start is set back to the start, with message 106 shown once the
    // picker's own event is over.
    struct Case {
        QDateTimeEdit* picker;
        QDateTime value;
    };
    for (const Case& c : {Case{endTime, at(2011, 6, 14, 12)}, Case{endDate, at(2011, 6, 1, 16)}}) {
        c.picker->setDateTime(c.value);
        EXPECT_TRUE(rig.prompts.messages.isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(rig.prompts.messages, QStringList({lang(106)}));
        rig.prompts.messages.clear();
        EXPECT_EQ(endDate->dateTime(), at(2011, 6, 14, 16, 30));
        EXPECT_EQ(endTime->dateTime(), at(2011, 6, 14, 16, 30));
    }
    // An end after the start is kept and its pair follows.
    endTime->setDateTime(at(2011, 6, 20, 9, 15));
    EXPECT_EQ(endDate->dateTime(), at(2011, 6, 20, 9, 15));
    EXPECT_EQ(rig.view().timeWindow().second, DateTime::fromFields(2011, 6, 20, 9, 15));
}

TEST(ViewRecordList, ModelShowsWhatTheExportLists) {
    LanguageGuard language;
    ViewRig rig;
    registerThreeRecorders(rig);
    CVeldrinView& view = rig.start();
    RecordListModel& model = view.recordListModel();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
    auto* period = rig.control<QComboBox>(control_id::kPeriodCombo);
    for (const int position : {0, 1}) { // the current hour, then the whole day
        choose(period, position);
        const auto [start, end] = view.timeWindow();
        const std::vector<RecordRow> expected =
            view.store().withDisplayed([&](const RecorderSettings& s, const RecordList& r) {
                return recordListRows(s, r, start, end);
            });
        ASSERT_EQ(model.rowCount(), static_cast<int>(expected.size()));
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < kRecordListColumns; ++column) {
                // The list keeps a row's remarks apart; the export joins them.
                EXPECT_EQ(
                    model.index(row, column).data().toString().remove("; "),
                    q(expected[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)]))
                    << row << "," << column;
            }
        }
    }
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.index(1, 1).data().toString(), "77.0"); // 25 degrees Celsius in Fahrenheit
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), lang(89) + QString::fromUtf8("(°F)"));
    EXPECT_EQ(model.headerData(5, Qt::Horizontal).toString(), lang(70));

    // Moving the pickers refills the list at once.
    choose(rig.control<QComboBox>(control_id::kSelectCombo), 2);
    rig.control<QDateTimeEdit>(control_id::kStartDate)->setDateTime(at(2011, 6, 16));
    EXPECT_EQ(model.rowCount(), 0);
}

// Every text the view shows: captions, choices, tooltips, the list's cells and headings, and the
// status pane.
QStringList textsOnScreen(ViewRig& rig) {
    QStringList texts;
    for (QWidget* w : rig.view().findChildren<QWidget*>()) {
        texts << w->toolTip();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            texts << label->text();
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            texts << entries(combo);
        }
    }
    for (QTableView* table : rig.view().findChildren<QTableView*>()) {
        const QAbstractItemModel& model = *table->model();
        for (int column = 0; column < model.columnCount(); ++column) {
            texts << model.headerData(column, Qt::Horizontal).toString();
            for (int row = 0; row < model.rowCount(); ++row) {
                texts << model.index(row, column).data().toString()
                      << model.index(row, column).data(Qt::ToolTipRole).toString();
            }
        }
    }
    texts << rig.frame.statusTexts.value(rig.frame.statusTexts.size() - 1);
    return texts;
}

// Recorder 0 with an upper limit of 24 and two records, the second beyond it, shown as a list.
void showListWithOneRecordBeyond(ViewRig& rig) {
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                    "[Alarm Limits 0]\nTempHigh=24\n");
    writeDataFile(rig.file("0.dat"), RecorderSettings{},
                  {recordAt(DateTime::fromFields(2011, 6, 15, 14, 0), 20.0, 50),
                   recordAt(DateTime::fromFields(2011, 6, 15, 14, 10), 25.0, 40)});
    rig.start();
    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
}

// After a switch to French, no English text that French words differently is left anywhere.
TEST(ViewLanguage, EveryTextOnScreenFollowsASwitchAtOnce) {
    LanguageGuard language;
    ViewRig rig;
    showListWithOneRecordBeyond(rig);
    ASSERT_TRUE(textsOnScreen(rig).join('|').contains(lang(194))); // "Out of range" is shown
    QStringList english;
    for (int index = 0; index < kLanguageStringCount; ++index) {
        english << lang(index);
    }
    CurrentLanguage::set(kFrench);
    rig.view().applyLanguage();
    const QString shown = textsOnScreen(rig).join('|');
    for (int index = 0; index < kLanguageStringCount; ++index) {
        const QString& before = english[index];
        if (before.size() >= 6 && before != lang(index)) {
            EXPECT_FALSE(shown.contains(before)) << index << " " << before.toStdString();
        }
    }
    // The remark column shows every remark whole, "Hors limites" included.
    auto* table = rig.view().findChild<QTableView*>();
    for (int row = 0; row < table->model()->rowCount(); ++row) {
        const QString remark = table->model()->index(row, 5).data().toString();
        EXPECT_GT(table->columnWidth(5), table->fontMetrics().horizontalAdvance(remark)) << row;
    }
}

// The centred remarks stay in view: a column widened for one row holding every remark narrows
// again for shorter ones, unless the user sized it.
TEST(ViewList, TheRemarksColumnFollowsTheRemarksItWasWidenedFor) {
    ViewRig rig;
    showListWithOneRecordBeyond(rig);
    choose(rig.control<QComboBox>(control_id::kSelectCombo), 2);
    auto* start = rig.control<QDateTimeEdit>(control_id::kStartDate);
    QHeaderView* header = rig.view().findChild<QTableView*>()->horizontalHeader();
    start->setDateTime(at(2011, 6, 15, 14, 5)); // 14:10 alone, every remark on its row
    const int everyRemark = header->sectionSize(5);
    start->setDateTime(at(2011, 6, 15, 13));
    EXPECT_LT(header->sectionSize(5), everyRemark);
    header->resizeSection(5, everyRemark + 50);
    start->setDateTime(at(2011, 6, 15, 14, 5));
    start->setDateTime(at(2011, 6, 15, 13));
    EXPECT_EQ(header->sectionSize(5), everyRemark + 50);
}

TEST(ViewLanguage, SwitchingRetextsEveryControlAndKeepsPositions) {
    LanguageGuard language;
    ViewRig rig;
    CVeldrinView& view = rig.start();
    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
    choose(rig.control<QComboBox>(control_id::kSelectCombo), 1);
    const int frameCalls = rig.frame.languageApplied;

    view.applyLanguage(); // the language already shown: nothing to do
    EXPECT_EQ(rig.frame.languageApplied, frameCalls);

    // German chosen in the Language dialog and confirmed.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<LanguageDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->combo().setCurrentIndex(kGerman);
        dialog->accept();
    });
    view.onLanguage();
    EXPECT_EQ(CurrentLanguage::get(), kGerman);
    EXPECT_NE(readFile(rig.file("main.ini")).find("Lang=1"), std::string::npos);
    EXPECT_EQ(rig.frame.languageApplied, frameCalls + 1);
    const std::pair<int, int> labels[] = {
        {control_id::kChartTitle, 116},  {control_id::kRecorderLabel, 31},
        {control_id::kSelectLabel, 76},  {control_id::kIntervalLabel, 118},
        {control_id::kDisplayLabel, 34}, {control_id::kStartLabel, 81},
        {control_id::kEndLabel, 36},     {control_id::kDescription, 30}};
    for (const auto& [id, index] : labels) {
        EXPECT_EQ(rig.control<QLabel>(id)->text(), q(LanguageTable::instance().fetch(1, index)))
            << id;
        EXPECT_NE(rig.control<QLabel>(id)->text(), q(LanguageTable::instance().fetch(0, index)))
            << id;
    }
    auto* display = rig.control<QComboBox>(control_id::kDisplayCombo);
    EXPECT_EQ(entries(display), QStringList({lang(32), lang(91)}));
    EXPECT_EQ(display->currentIndex(), 1);
    auto* select = rig.control<QComboBox>(control_id::kSelectCombo);
    EXPECT_EQ(entries(select), QStringList({lang(119), lang(74), lang(110)}));
    EXPECT_EQ(select->currentIndex(), 1);
    EXPECT_EQ(view.recordListModel().headerData(0, Qt::Horizontal).toString(), lang(109));
}

TEST(ViewChain, ABlankRecorderIsRegisteredDownloadedClockCheckedAndListed) {
    LanguageGuard language;
    ViewRig rig(/*plugged=*/true);
    CVeldrinView& view = rig.start();
    EXPECT_FALSE(rig.frame.attached);

    rig.tick();
    EXPECT_TRUE(rig.frame.attached);
    ASSERT_TRUE(rig.pumpUntilIdle());

    // Status texts of the chain: connect, unknown recorder, connected, download with progress,
    // done, clock read, clock in time, second download, done.
    QStringList texts = rig.frame.statusTexts;
    texts.removeDuplicates();
    const QString progress = " " + lang(121);
    texts.erase(std::remove_if(texts.begin(), texts.end(),
                               [&](const QString& t) { return t.endsWith(progress); }),
                texts.end());
    EXPECT_EQ(texts, QStringList({lang(67), lang(42), lang(62), lang(65), lang(82), lang(111)}));
    EXPECT_TRUE(rig.frame.statusTexts.filter(progress).size() > 0);
    EXPECT_EQ(rig.frame.statusTexts.last(), lang(65));

    EXPECT_EQ(entries(rig.control<QComboBox>(control_id::kRecorderCombo)), QStringList({"0"}));
    EXPECT_EQ(view.chosenRecorder(), 0);
    EXPECT_NE(readFile(rig.file("main.ini")).find("MaxID=1"), std::string::npos);
    EXPECT_EQ(view.store().displayedCount(), 300u);
    EXPECT_EQ(rig.control<QLineEdit>(control_id::kIntervalEdit)->text(), "1");
    ASSERT_NE(view.session().acquisitionOf(0), nullptr);
    EXPECT_TRUE(view.session().acquisitionOf(0)->clockSetDone());

    // The list shows the current hour of what was downloaded.
    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
    const auto [start, end] = view.timeWindow();
    const auto rows =
        view.store().withDisplayed([&](const RecorderSettings& s, const RecordList& r) {
            return recordListRows(s, r, start, end).size();
        });
    EXPECT_GT(rows, 0u);
    EXPECT_EQ(view.recordListModel().rowCount(), static_cast<int>(rows));

    // Every 15th tick downloads again; the clock is not set a second time.
    rig.frame.statusTexts.clear();
    for (int i = 0; i < 15; ++i) {
        rig.tick();
    }
    ASSERT_TRUE(rig.pumpUntilIdle());
    EXPECT_FALSE(rig.frame.statusTexts.contains(lang(82)));
    EXPECT_EQ(rig.frame.statusTexts.last(), lang(65));

    // Unplugged: the next tick's presence poll clears the attached picture, and the left pane
    // says so instead of "Download finished".
    rig.recorder->unplug();
    rig.tick();
    ASSERT_TRUE(rig.pumpUntilIdle());
    EXPECT_FALSE(rig.frame.attached);
    EXPECT_EQ(rig.frame.statusTexts.last(), lang(57));
}

// A recorder registered while the window runs is shown at once (records, interval, unit) with
// no message about its new file: with recorder 0 shown from its file in the chart, or in the list
// after a start without any recorder and recorder 0 connected and pulled.
TEST(ViewChain, ARecorderRegisteredWhileTheWindowRunsIsShownAtOnce) {
    LanguageGuard language;
    for (const bool recorderZeroOnFile : {true, false}) {
        ViewRig rig;
        if (recorderZeroOnFile) {
            writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n"
                                            "[Alarm Limits 0]\nTempHigh=24\n");
            writeDataFile(rig.file("0.dat"), {},
                          {recordAt(DateTime::fromFields(2011, 6, 15), 18, 55)});
        }
        CVeldrinView& view = rig.start();
        choose(rig.control<QComboBox>(control_id::kDisplayCombo), recorderZeroOnFile ? 0 : 1);
        for (int step = recorderZeroOnFile ? 1 : 0; step < 2; ++step) {
            const uint8_t newFahrenheitEvery2Min[] = {0,    2,    0xFF, 0xFF, 0xFF,
                                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
            rig.recorder->write(header::tempUnit, newFahrenheitEvery2Min, 2);
            rig.recorder->write(header::idProduct, newFahrenheitEvery2Min + 2, 8);
            rig.recorder->plug();
            rig.tick();
            ASSERT_TRUE(rig.pumpUntilIdle());
            rig.recorder->unplug();
            rig.tick();
        }
        EXPECT_EQ(view.chosenRecorder(), 1);
        EXPECT_EQ(view.store().displayedCount(), 300u);
        EXPECT_EQ(rig.control<QLineEdit>(control_id::kIntervalEdit)->text(), "2");
        EXPECT_EQ(view.store().displayedSettings().tempUnit, 1);
        // The limits of the recorder shown before do not mark the new one's records.
        EXPECT_EQ(view.alarms().displayedRecorder(), 1);
        EXPECT_EQ(view.alarms().displayedLimits(), AlarmLimits{});
        EXPECT_EQ(rig.prompts.messages, QStringList());
    }
}

// In list mode every change of the window refills the list at once, so that the export writes
// what is on screen; a new window shows its first row, while the 15-second refill of the same
// window keeps the row chosen and the scroll position.
TEST(ViewRecordList, FollowsEveryChangeOfTheWindowAndKeepsItsPlaceOnRefills) {
    LanguageGuard language;
    ViewRig rig;
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    RecordList day;
    for (int m = 0; m < 24 * 60; m += 2) {
        day.push_back(recordAt(DateTime::fromFields(2011, 6, 15).plusMinutes(m), 20.0, 50));
    }
    writeDataFile(rig.file("0.dat"), {}, day);
    CVeldrinView& view = rig.start();
    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
    auto* table = rig.control<QTableView>(control_id::kRecordList);
    const std::function<void()> changes[] = {
        [&] { choose(rig.control<QComboBox>(control_id::kPeriodCombo), 1); },
        [&] {
            choose(rig.control<QComboBox>(control_id::kSelectCombo), 2);
            rig.control<QDateTimeEdit>(control_id::kStartTime)->setDateTime(at(2011, 6, 15, 9));
        }};
    const int rows[] = {720, 450};
    for (int k = 0; k < 2; ++k) {
        table->scrollToBottom();
        changes[k]();
        EXPECT_EQ(view.recordListModel().rowCount(), rows[k]);
        EXPECT_EQ(table->verticalScrollBar()->value(), 0);
        rig.prompts.chosenFiles << QString::fromStdString(rig.file("list.csv"));
        view.onExport();
        const std::string csv = readFile(rig.file("list.csv"));
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + rows[k]);
    }
    table->setCurrentIndex(view.recordListModel().index(40, 0));
    table->verticalScrollBar()->setValue(30);
    view.setListNeedsRefill();
    for (int i = 0; i < 15; ++i) {
        rig.tick();
    }
    EXPECT_TRUE(table->selectionModel()->isRowSelected(40, QModelIndex()));
    EXPECT_EQ(table->verticalScrollBar()->value(), 30);
}

TEST(ViewDocument, AnOpenedFileIsShownReadOnlyAndTheRecordersFilesStayAsTheyAre) {
    LanguageGuard language;
    ViewRig rig(/*plugged=*/true);
    CVeldrinView& view = rig.start();
    rig.tick();
    ASSERT_TRUE(rig.pumpUntilIdle());
    const std::string recorderFile = readFile(rig.file("0.dat"));
    const std::string ini = readFile(rig.file("main.ini"));

    RecorderSettings settings;
    settings.interval = 30;
    settings.description = u"From elsewhere";
    const std::string document = rig.file("elsewhere.vrn");
    writeDataFile(document, settings,
                  {recordAt(DateTime::fromFields(2011, 6, 15, 14, 5), 18.0, 55)});
    const std::string documentBytes = readFile(document);

    view.openDocumentReadOnly(QString::fromStdString(document));
    QCoreApplication::processEvents();
    EXPECT_EQ(view.store().displayedCount(), 1u);
    EXPECT_EQ(rig.frame.documentName, "elsewhere.vrn");
    EXPECT_EQ(view.chosenRecorder(), -1) << "no recorder number beside a file";
    EXPECT_EQ(rig.control<QLineEdit>(control_id::kIntervalEdit)->text(), "30");
    EXPECT_EQ(rig.control<QLabel>(control_id::kDescription)->text(), lang(30) + "From elsewhere");

    // The next download goes to the recorder's file; the shown file stays shown and untouched.
    for (int i = 0; i < 15; ++i) {
        rig.tick();
    }
    ASSERT_TRUE(rig.pumpUntilIdle());
    EXPECT_EQ(view.store().displayedCount(), 1u);
    EXPECT_EQ(view.chosenRecorder(), -1);
    EXPECT_EQ(rig.frame.documentName, "elsewhere.vrn");
    EXPECT_EQ(readFile(document), documentBytes);
    EXPECT_EQ(readFile(rig.file("main.ini")), ini);
    EXPECT_GE(readFile(rig.file("0.dat")).size(), recorderFile.size());

    // A file that cannot be read is reported and changes nothing.
    view.openDocumentReadOnly(QString::fromStdString(rig.file("missing.vrn")));
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.prompts.messages.size(), 1);
    EXPECT_EQ(rig.prompts.messages[0],
              QString::fromStdString(rig.file("missing.vrn")) + "\n\n" + lang(102));
    EXPECT_EQ(view.store().displayedCount(), 1u);

    // Choosing a recorder number returns to the recorder's live history.
    choose(rig.control<QComboBox>(control_id::kRecorderCombo), 0);
    EXPECT_EQ(rig.frame.documentName, "");
    EXPECT_EQ(view.chosenRecorder(), 0);
    EXPECT_GT(view.store().displayedCount(), 1u);
}

TEST(ViewRecordList, RemarksAreSeparatedShownWholeAsTooltipAndTheColumnFitsThem) {
    LanguageGuard language;
    ViewRig rig;
    writeFile(rig.file("main.ini"), "[Drive ID]\nMaxID=1\nID0000000=6,2,3\n");
    writeDataFile(rig.file("0.dat"), RecorderSettings{},
                  {recordAt(DateTime::fromFields(2011, 6, 15, 14, 5), 18.0, 55)});
    CVeldrinView& view = rig.start();
    choose(rig.control<QComboBox>(control_id::kDisplayCombo), 1);
    const QModelIndex remark = view.recordListModel().index(0, kRecordListColumns - 1);
    const QString expected =
        QStringList({lang(123), lang(55), lang(51), lang(54), lang(25)}).join(QStringLiteral("; "));
    EXPECT_EQ(remark.data().toString(), expected);
    EXPECT_EQ(remark.data(Qt::ToolTipRole).toString(), expected);
    EXPECT_FALSE(view.recordListModel().index(0, 0).data(Qt::ToolTipRole).isValid());
    auto* list = rig.control<QTableView>(control_id::kRecordList);
    EXPECT_GT(list->horizontalHeader()->sectionSize(kRecordListColumns - 1),
              list->fontMetrics().horizontalAdvance(expected));
}

} // namespace
} // namespace veldrin::testing
