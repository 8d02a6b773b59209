// The Setting dialog's reactions, called directly as its widgets would call them.

#include "acquisition/configuration_rules.h"
#include "lang/lang_test_util.h"
#include "settings/recording_prompts.h"
#include "settings/settings_dialog.h"
#include "support/test_support.h"

#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace veldrin {
namespace {

using namespace settings_ids;
using testing::lang;

QDateTime at(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

DateTime dt(int y, int mo, int d, int h, int mi) {
    return DateTime::fromFields(y, mo, d, h, mi, 0);
}

class SettingsDialogTest : public ::testing::Test {
protected:
    // A linear recorder, no slot in use; its slots hold the time of the last header read.
    static RecorderSettings recorder() {
        RecorderSettings s;
        s.interval = 10;
        s.versionMajor = 2;
        s.versionMinor = 3;
        s.recorderNumber = 3;
        s.description = u"cellar";
        for (TimeSlot& slot : s.slots) {
            slot.start = slot.end = dt(2011, 6, 15, 14, 30);
        }
        return s;
    }
    static RecorderSettings withSlot(RecorderSettings s, int k, DateTime start, DateTime end) {
        TimeSlot& slot = s.slots[static_cast<std::size_t>(k)];
        slot.start = start;
        slot.end = end;
        slot.inUse = 1;
        return s;
    }
    std::unique_ptr<CSettingsDialog> open(const RecorderSettings& s) {
        return std::make_unique<CSettingsDialog>(s, clock, prompts);
    }
    // The user puts a value into a picker; its queued notification then runs.
    static void enter(CSettingsDialog& d, int id, const QDateTime& value) {
        d.enterPickerValue(id, value);
        d.pickerChanged(id);
    }
    static QString buttonText(CSettingsDialog& d, int row) {
        return static_cast<QPushButton*>(d.control(kRowSwitch[static_cast<std::size_t>(row)]))
            ->text();
    }
    static bool checked(CSettingsDialog& d, int id) {
        return static_cast<QRadioButton*>(d.control(id))->isChecked();
    }
    static void click(CSettingsDialog& d, int id) {
        static_cast<QRadioButton*>(d.control(id))->click();
    }

    testing::CurrentLanguageGuard language;
    testing::ScopedTimeZone tz{"UTC0"};
    ManualClock clock{1308148212}; // 2011-06-15 14:30:12
    testing::RecordingPrompts prompts;
};

TEST_F(SettingsDialogTest, InitialisationShowsTheRecorderAndDisablesRowsNotInUse) {
    CurrentLanguage::set(1);
    auto d = open(withSlot(recorder(), 1, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 18, 30)));
    EXPECT_EQ(static_cast<QLabel*>(d->control(kVersion))->text(), "2.03");
    EXPECT_EQ(static_cast<QLabel*>(d->control(kNumber))->text(), "3");
    EXPECT_EQ(static_cast<QLabel*>(d->control(kDescriptionLabel))->text(), lang(30));
    EXPECT_EQ(d->intervalEdit()->text(), "10");
    EXPECT_EQ(d->descriptionEdit()->text(), "cellar");
    EXPECT_EQ(d->descriptionEdit()->maxLength(), 255);
    EXPECT_TRUE(checked(*d, kCelsius) && checked(*d, kMonthDay) && checked(*d, kNoCirculation));
    for (int row = 0; row < kSlotCount; ++row) {
        const bool inUse = row == 1;
        EXPECT_EQ(d->rowInUse(row), inUse);
        EXPECT_EQ(buttonText(*d, row), lang(inUse ? 232 : 13));
        EXPECT_EQ(d->picker(kStartDate + row)->isEnabled(), inUse);
        EXPECT_EQ(d->picker(kEndTime + row)->isEnabled(), inUse);
    }
    // A row not in use shows the time it came with.
    EXPECT_EQ(d->picker(kStartDate)->dateTime(), at(2011, 6, 15, 14, 30));
    EXPECT_EQ(d->picker(kEndTime + 1)->dateTime(), at(2011, 7, 1, 18, 30));
}

TEST_F(SettingsDialogTest, RecorderWithoutCircularModeHidesTheChoiceAndKeepsItsByte) {
    RecorderSettings s = recorder();
    s.circularMode = 255;
    auto d = open(s);
    for (int id : {kStatusLabel, kNoCirculation, kCirculation}) {
        EXPECT_TRUE(d->control(id)->isHidden()) << id;
    }
    d->switchRow(0);
    ASSERT_TRUE(d->validateAndTake());
    EXPECT_EQ(d->result().circular, 255);
    EXPECT_EQ(d->result().slots[0].inUse, 1);
    EXPECT_TRUE(prompts.take().isEmpty());
}

TEST_F(SettingsDialogTest, SwitchingARowIntoUseSelectsNoCirculation) {
    RecorderSettings s = recorder();
    s.circularMode = 1;
    auto d = open(s);
    ASSERT_TRUE(checked(*d, kCirculation));
    d->switchRow(2);
    EXPECT_TRUE(d->rowInUse(2));
    EXPECT_TRUE(d->picker(kEndDate + 2)->isEnabled());
    EXPECT_EQ(buttonText(*d, 2), lang(232)); // not the dialog's own Cancel
    EXPECT_EQ(d->circularChoice(), 0);
    EXPECT_TRUE(checked(*d, kNoCirculation));
    d->switchRow(2);
    EXPECT_FALSE(d->rowInUse(2));
    EXPECT_FALSE(d->picker(kStartTime + 2)->isEnabled());
    // Clicked and left with the focus, the switch does not take Enter: that presses OK.
    auto* button = qobject_cast<QPushButton*>(d->control(kRowSwitch[2]));
    d->show();
    button->setFocus();
    button->click();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_TRUE(d->rowInUse(2));
}

TEST_F(SettingsDialogTest, CirculationWithSlotsInUseWarnsOnceAndTakesThemAllOut) {
    RecorderSettings s = withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 9, 0));
    s = withSlot(s, 2, dt(2011, 7, 3, 8, 0), dt(2011, 7, 3, 9, 0));
    auto d = open(s);
    click(*d, kCirculation);
    EXPECT_EQ(prompts.take(), QStringList{lang(46)});
    for (int row = 0; row < kSlotCount; ++row) {
        EXPECT_FALSE(d->rowInUse(row)) << row;
        EXPECT_EQ(buttonText(*d, row), lang(13));
    }
    EXPECT_EQ(d->circularChoice(), 1);
}

// Two equal texts for "on" and "off" must not lock a row: its state is its own flag.
TEST_F(SettingsDialogTest, RowStateDoesNotDependOnTheButtonTexts) {
    CurrentLanguage::set(0);
    const LanguageStrings saved = LanguageTable::instance().strings(0);
    LanguageStrings same = saved;
    same[13] = same[232];
    LanguageTable::instance().setStrings(0, same);
    auto d = open(recorder());
    for (bool expected : {true, false, true}) {
        d->switchRow(3);
        EXPECT_EQ(d->rowInUse(3), expected);
        EXPECT_EQ(d->picker(kStartDate + 3)->isEnabled(), expected);
    }
    LanguageTable::instance().setStrings(0, saved);
}

TEST_F(SettingsDialogTest, AnEndBeforeItsStartIsMovedToTheStart) {
    auto d = open(withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 18, 30)));
    enter(*d, kEndTime, at(2011, 7, 1, 7, 0));
    EXPECT_EQ(prompts.take(), QStringList{lang(105)});
    EXPECT_EQ(d->picker(kEndDate)->dateTime(), at(2011, 7, 1, 8, 0));
    EXPECT_EQ(d->picker(kEndTime)->dateTime(), at(2011, 7, 1, 8, 0));
    EXPECT_EQ(d->slotTimes()[0].end, dt(2011, 7, 1, 8, 0));
}

TEST_F(SettingsDialogTest, PastTimesAreCorrectedOnlyForLinearRecording) {
    struct Case {
        int32_t circular;
        bool corrected;
    };
    for (const Case c : {Case{0, true}, Case{1, false}, Case{255, false}}) {
        RecorderSettings s = withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 18, 0));
        s.circularMode = c.circular;
        auto d = open(s);
        enter(*d, kStartDate, at(2011, 6, 14, 8, 0));
        const DateTime expected = c.corrected ? dt(2011, 6, 15, 14, 30) : dt(2011, 6, 14, 8, 0);
        EXPECT_EQ(d->slotTimes()[0].start, expected) << c.circular;
        EXPECT_EQ(d->picker(kStartTime)->dateTime(), d->picker(kStartDate)->dateTime());
        EXPECT_EQ(prompts.take(), c.corrected ? QStringList{lang(104)} : QStringList{})
            << c.circular;
        // A past end is named as the end.
        enter(*d, kEndDate, at(2011, 6, 14, 8, 0));
        EXPECT_EQ(prompts.take(), c.corrected ? QStringList{lang(146)} : QStringList{})
            << c.circular;
    }
}

// The circular choice is read when it changes, even while the interval is invalid.
TEST_F(SettingsDialogTest, NoCirculationClickedAfterAFailedCheckStillCountsForPastTimes) {
    auto d = open(recorder());
    d->intervalEdit()->setText("x");
    click(*d, kCirculation);
    EXPECT_FALSE(d->validateAndTake());
    click(*d, kNoCirculation);
    d->switchRow(0);
    prompts.take();
    enter(*d, kStartDate, at(2011, 6, 1, 8, 0));
    EXPECT_EQ(prompts.take(), QStringList{lang(104)});
    EXPECT_EQ(d->slotTimes()[0].start, dt(2011, 6, 15, 14, 30));
}

TEST_F(SettingsDialogTest, ASlotStartingBeforeThePreviousEndsIsReportedNotCorrected) {
    RecorderSettings s = withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 18, 0));
    s = withSlot(s, 1, dt(2011, 7, 2, 8, 0), dt(2011, 7, 2, 9, 0));
    auto d = open(s);
    enter(*d, kStartDate + 1, at(2011, 7, 1, 0, 0));
    EXPECT_EQ(prompts.take(), QStringList{lang(75, {1, 0})});
    EXPECT_EQ(d->slotTimes()[1].start, dt(2011, 7, 1, 8, 0));
}

TEST_F(SettingsDialogTest, CircularWithASlotInUseIsRefusedOnOk) {
    RecorderSettings s = withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 18, 0));
    s.circularMode = 1; // as the recorder reported both
    auto d = open(s);
    EXPECT_FALSE(d->validateAndTake());
    EXPECT_EQ(prompts.take(), QStringList{lang(46)});
    EXPECT_FALSE(d->rowInUse(0));
    ASSERT_TRUE(d->validateAndTake());
    EXPECT_EQ(d->result().circular, 1);
    EXPECT_EQ(d->result().slots[0].inUse, 0);
}

TEST_F(SettingsDialogTest, IntervalIsCheckedOnOk) {
    struct Case {
        const char* text;
        QString message; // empty: accepted
    };
    const Case cases[] = {
        {"0", "Please enter an integer between 1 and 240."},
        {"241", "Please enter an integer between 1 and 240."},
        {"x", "Please enter an integer."},
        {"", "Please enter an integer."},
        {"1", ""},
        {" 240 ", ""},
    };
    for (const Case& c : cases) {
        auto d = open(recorder());
        d->intervalEdit()->setText(c.text);
        const bool accepted = d->validateAndTake();
        EXPECT_EQ(accepted, c.message.isEmpty()) << c.text;
        EXPECT_EQ(prompts.take(), c.message.isEmpty() ? QStringList{} : QStringList{c.message})
            << c.text;
        if (!accepted) {
            EXPECT_EQ(d->focusWidget(), d->intervalEdit()) << c.text;
        } else {
            EXPECT_EQ(d->result().interval, QString(c.text).trimmed().toInt());
        }
    }
}

TEST_F(SettingsDialogTest, PickersTakeOnlyTimesTheRecorderCanStore) {
    auto d = open(withSlot(recorder(), 0, dt(2011, 7, 1, 8, 0), dt(2150, 1, 1, 0, 0)));
    // Shown by the display rule; the pickers do not go below 2000-01-01 00:00.
    EXPECT_EQ(d->picker(kEndDate)->dateTime(), at(2099, 12, 31, 23, 59).addSecs(59));
    EXPECT_EQ(d->picker(kStartDate)->minimumDateTime(), at(2000, 1, 1, 0, 0));
    d->enterPickerValue(kStartDate, at(1999, 5, 1, 8, 0));
    EXPECT_GE(d->picker(kStartDate)->dateTime(), at(2000, 1, 1, 0, 0));

    struct Case {
        DateTime in;
        DateTime shown;
    };
    const DateTime latest = DateTime::fromFields(2099, 12, 31, 23, 59, 59);
    for (const Case& c :
         {Case{DateTime::invalidValue(), latest}, Case{dt(2100, 1, 1, 0, 0), latest},
          Case{dt(199, 12, 31, 0, 0), latest}, Case{dt(200, 1, 1, 0, 0), dt(200, 1, 1, 0, 0)},
          Case{dt(2011, 7, 1, 8, 0), dt(2011, 7, 1, 8, 0)}}) {
        EXPECT_EQ(displayableSlotTime(c.in), c.shown);
    }
}

} // namespace
} // namespace veldrin
