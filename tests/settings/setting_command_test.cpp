// The Setting command over the in-process software recorder on simulated time: what it writes,
// what it reads back, and what happens when the recorder goes away or refuses while the dialog is
// open.

#include "acquisition/chain_rig.h"
#include "cli/configure_plan.h"
#include "settings/recorder_commands.h"
#include "settings/recording_prompts.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace veldrin {
namespace {

using namespace settings_ids;
using testing::ChainRig;
using testing::lang;
using testing::readFile;
using Codes = std::vector<int>;

QDateTime at(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
}

// Fahrenheit, day-month, linear, interval 10, "cellar", slot 1 from 2011-07-01 08:00 to 18:30,
// chosen in the dialog as a user would.
bool editInDialog(CSettingsDialog& d) {
    static_cast<QRadioButton*>(d.control(kFahrenheit))->click();
    static_cast<QRadioButton*>(d.control(kDayMonth))->click();
    static_cast<QRadioButton*>(d.control(kNoCirculation))->click();
    d.intervalEdit()->setText("10");
    d.descriptionEdit()->setText("cellar");
    d.switchRow(0);
    for (const auto& [id, value] : {std::pair{kEndDate, at(2011, 7, 1, 0, 0)},
                                    {kEndTime, at(2011, 7, 1, 18, 30)},
                                    {kStartDate, at(2011, 7, 1, 0, 0)},
                                    {kStartTime, at(2011, 7, 1, 8, 0)}}) {
        d.enterPickerValue(id, value);
        d.pickerChanged(id);
    }
    return d.validateAndTake();
}

// The same choices given to the command-line tool's configure.
cli::ConfigureRequest sameChoicesForConfigure() {
    cli::ConfigureRequest request;
    request.unit = 1;
    request.dateOrder = 1;
    request.circular = false;
    request.interval = 10;
    request.description = "cellar";
    cli::SlotChange slot;
    slot.slot = 1;
    slot.inUse = true;
    slot.start = DateTime::fromFields(2011, 7, 1, 8, 0, 0);
    slot.end = DateTime::fromFields(2011, 7, 1, 18, 30, 0);
    request.slots.push_back(slot);
    return request;
}

class SettingCommandTest : public ::testing::Test {
protected:
    // A recorder connected, downloaded and its clock set: the chain is idle.
    static void connect(ChainRig& rig) {
        rig.poll();
        rig.takeCodes();
        rig.frames.clear();
    }
    SettingOutcome run(ChainRig& rig, const SettingsDialogRunner& runner) {
        return runSettingCommand(*rig.acquisition, prompts, nullptr, runner);
    }
    testing::RecordingPrompts prompts;
};

TEST_F(SettingCommandTest, WritesWhatConfigureWritesAndReadsTheHeaderBack) {
    ChainRig window;
    connect(window);
    ASSERT_EQ(run(window, editInDialog), SettingOutcome::written);
    EXPECT_TRUE(prompts.take().isEmpty());

    ChainRig console;
    connect(console);
    const cli::ConfigurePlan plan = cli::planConfiguration(
        sameChoicesForConfigure(), console.store->connectedSettings(), console.clock.nowLocal());
    ASSERT_TRUE(plan.ok());
    ASSERT_EQ(console.acquisition->writeSettings(plan.edit), 1);

    EXPECT_EQ(window.frames, console.frames);
    EXPECT_EQ(window.recorder->header(), console.recorder->header());
    const HeaderImage header = window.recorder->header();
    EXPECT_EQ(header[header::tempUnit], 0x00);
    EXPECT_EQ(header[header::interval], 10);
    EXPECT_EQ(header[header::slotsInUse], 1);
    EXPECT_EQ(header[header::circularMode], 0x00);
    EXPECT_EQ(header[48], 0x0B);
    EXPECT_EQ(header[57], 0x1E);

    // The settings and the file follow the header read back; the description is the PC's own.
    const RecorderSettings after = window.store->connectedSettings();
    EXPECT_EQ(after.tempUnit, 1);
    EXPECT_EQ(after.dateOrder, 1);
    EXPECT_EQ(after.slots[0].inUse, 1);
    EXPECT_EQ(after.slots[0].end, DateTime::fromFields(2011, 7, 1, 18, 30, 0));
    RecorderSettings onDisk;
    ASSERT_EQ(window.store->readFileSettings(0, onDisk), 1);
    EXPECT_EQ(onDisk.description, u"cellar");
    EXPECT_EQ(onDisk.interval, 10);
    EXPECT_TRUE(readFile(window.dataFile(0)) == readFile(console.dataFile(0)));
}

TEST_F(SettingCommandTest, TheClockIsSetAfterwardsOnlyWhenItWasNotYet) {
    for (const bool clockAlreadySet : {true, false}) {
        ChainRig rig;
        if (clockAlreadySet) {
            connect(rig);
        } else {
            rig.acquisition->setHoldAfterConnect(true); // identified, nothing downloaded yet
            rig.poll();
            rig.takeCodes();
            rig.acquisition->setHoldAfterConnect(false);
        }
        ASSERT_EQ(run(rig, [](CSettingsDialog& d) { return d.validateAndTake(); }),
                  SettingOutcome::written);
        EXPECT_EQ(rig.acquisition->workerBusy(), !clockAlreadySet);
        rig.drain();
        EXPECT_EQ(rig.takeCodes(), clockAlreadySet ? Codes{} : (Codes{3, 4, 6, 7}));
    }
}

TEST_F(SettingCommandTest, RefusedWhenBusyOrWithoutRecorderBeforeAndAfterTheDialog) {
    ChainRig rig;
    connect(rig);
    bool dialogShown = false;
    const auto runner = [&](CSettingsDialog&) { return dialogShown = true; };

    rig.acquisition->shared().workerBusy.store(1);
    EXPECT_EQ(run(rig, runner), SettingOutcome::busy);
    EXPECT_EQ(prompts.take(), QStringList{lang(100)});
    rig.acquisition->shared().workerBusy.store(0);

    // A chain started while the dialog was open (by anything but the held periodic step).
    EXPECT_EQ(run(rig,
                  [&](CSettingsDialog& d) {
                      rig.acquisition->shared().workerBusy.store(1);
                      return d.validateAndTake();
                  }),
              SettingOutcome::busyAfterOk);
    EXPECT_EQ(prompts.take(), QStringList{lang(100)});
    EXPECT_TRUE(rig.frames.empty());
    rig.acquisition->shared().workerBusy.store(0);

    rig.recorder->unplug();
    EXPECT_EQ(run(rig, runner), SettingOutcome::noRecorder);
    EXPECT_EQ(prompts.take(), QStringList{lang(57)});
    EXPECT_FALSE(dialogShown);
}

// An OK that finds the recorder gone says so and keeps the edits: the next Setting of the same
// recorder starts from them, and once taken they are not offered again.
TEST_F(SettingCommandTest, EditsOfAnOkWithoutRecorderAreKeptForTheNextTry) {
    ChainRig rig;
    connect(rig);
    KeptSettingEdits kept;
    const auto pullAndEdit = [&](CSettingsDialog& d) {
        rig.recorder->unplug();
        d.descriptionEdit()->setText("kept");
        return d.validateAndTake();
    };
    EXPECT_EQ(runSettingCommand(*rig.acquisition, prompts, nullptr, pullAndEdit, &kept),
              SettingOutcome::lostRecorder);
    EXPECT_EQ(prompts.take(), QStringList{lang(57) + '\n' + lang(233)});
    rig.recorder->plug();
    QString shown;
    const auto look = [&](CSettingsDialog& d) {
        shown = d.descriptionEdit()->text();
        return false;
    };
    EXPECT_EQ(runSettingCommand(*rig.acquisition, prompts, nullptr, look, &kept),
              SettingOutcome::cancelled);
    EXPECT_EQ(shown, "kept");
    EXPECT_EQ(runSettingCommand(
                  *rig.acquisition, prompts, nullptr,
                  [](CSettingsDialog& d) { return d.validateAndTake(); }, &kept),
              SettingOutcome::written);
    EXPECT_FALSE(kept.settings);
}

// While the dialog is open the periodic step leaves the recorder alone but keeps checking that
// it is there; a write that cannot be made is reported as what it is, and the PC copy keeps the
// description typed and what the recorder holds.
TEST_F(SettingCommandTest, RecorderPulledOrRefusingWhileTheDialogIsOpen) {
    enum class Mishap { pulled, refusesAWrite, pulledDuringTheWrite, exchanged };
    struct Case {
        Mishap mishap;
        SettingOutcome outcome;
        int message;
        bool descriptionKept;
    };
    for (const Case c : {Case{Mishap::pulled, SettingOutcome::lostRecorder, 57, false},
                         Case{Mishap::refusesAWrite, SettingOutcome::refused, 125, true},
                         Case{Mishap::pulledDuringTheWrite, SettingOutcome::lostInWrite, 126, true},
                         Case{Mishap::exchanged, SettingOutcome::exchanged, 127, false}}) {
        ChainRig rig;
        connect(rig);
        const std::string fileBefore = readFile(rig.dataFile(0));
        const HeaderImage headerBefore = rig.recorder->header();
        const auto runner = [&](CSettingsDialog& d) {
            for (int tick = 0; tick < 30; ++tick) {
                rig.clock.base.advanceMs(1000);
                rig.acquisition->periodicStep();
            }
            EXPECT_FALSE(rig.acquisition->workerBusy());
            EXPECT_TRUE(rig.frames.empty());
            sim::FaultPlan faults;
            switch (c.mishap) {
            case Mishap::pulled:
                rig.recorder->unplug();
                break;
            case Mishap::refusesAWrite:
                faults.wrongAckFrame = 11; // the third byte write, after unit and date order
                rig.recorder->setFaults(faults);
                break;
            case Mishap::pulledDuringTheWrite:
                faults.unplugFrame = 20;
                rig.recorder->setFaults(faults);
                break;
            case Mishap::exchanged: {
                const uint8_t otherIdentity[8] = {0, 0, 0, 6, 0, 2, 0, 3};
                rig.recorder->write(header::idProduct, otherIdentity, sizeof otherIdentity);
                break;
            }
            }
            rig.acquisition->periodicStep(); // the indicator follows the recorder
            EXPECT_EQ(rig.acquisition->shared().recorderAttached.load(),
                      c.mishap == Mishap::pulled ? 0 : 1);
            static_cast<QRadioButton*>(d.control(kFahrenheit))->click();
            d.descriptionEdit()->setText("changed");
            d.intervalEdit()->setText("7");
            return d.validateAndTake();
        };
        EXPECT_EQ(run(rig, runner), c.outcome);
        EXPECT_EQ(prompts.take(), QStringList{lang(c.message)});
        RecorderSettings onDisk;
        ASSERT_EQ(rig.store->readFileSettings(0, onDisk), 1);
        EXPECT_EQ(onDisk.description == u"changed", c.descriptionKept);
        EXPECT_EQ(readFile(rig.dataFile(0)) == fileBefore, !c.descriptionKept);
        if (c.mishap == Mishap::refusesAWrite) { // the unit went in, the interval did not
            EXPECT_EQ(std::pair(onDisk.tempUnit, onDisk.interval),
                      std::pair(1, int32_t{headerBefore[header::interval]}));
        }
        EXPECT_FALSE(rig.acquisition->workerBusy());
        EXPECT_FALSE(rig.acquisition->periodicCommandsHeld());
        if (c.mishap == Mishap::exchanged) {
            EXPECT_EQ(rig.recorder->header()[header::interval], headerBefore[header::interval]);
            // The next tick connects the recorder anew and identifies it.
            rig.acquisition->periodicStep();
            rig.drain();
            EXPECT_EQ(rig.takeCodes().front(), 0);
        }
    }
}

TEST_F(SettingCommandTest, RunsModallyAndAcceptsWithOk) {
    ChainRig rig;
    connect(rig);
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        auto* ok = dialog->findChild<QPushButton*>(QString::number(kOk));
        ASSERT_NE(ok, nullptr);
        ok->click();
    });
    // Should the click not have closed it, the dialog must not hang the run.
    QTimer::singleShot(5000, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->close();
        }
    });
    EXPECT_EQ(runSettingCommand(*rig.acquisition, prompts, nullptr), SettingOutcome::written);
    EXPECT_TRUE(prompts.take().isEmpty());
}

} // namespace
} // namespace veldrin
