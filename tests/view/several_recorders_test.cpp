// Several recorders attached to the window at once: which one the display shows when one
// registers, the marks and the count of the attached ones, the status pane's turns, and Setting
// and Clear PC Data of one recorder while another works.

#include "view_rig.h"

#include "device/logger_header.h"
#include "lang/language_table.h"
#include "settings/clear_data_dialog.h"
#include "store/data_file.h"
#include "view/attached_recorders.h"
#include "view/command_ids.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace veldrin::testing {
namespace {

QString lang(int index) {
    return QString::fromStdU16String(languageString(index));
}

class EnglishOnly {
public:
    EnglishOnly() : saved_(CurrentLanguage::stored()) { CurrentLanguage::set(kEnglish); }
    ~EnglishOnly() { CurrentLanguage::set(saved_); }

private:
    int saved_;
};

TEST(DisplayRule, ARecorderRegisteringIsShownOnlyWhenNoneIsItselfIsOrItIsAlone) {
    const struct {
        int32_t displayed, connected;
        std::vector<int32_t> attached;
        bool shown;
    } cases[] = {
        {-1, 2, {0, 2}, true}, // nothing displayed, or a file opened
        {2, 2, {0, 2}, true},  // the displayed recorder plugged in again
        {0, 2, {0, 2}, false}, // a second recorder plugged in
        {1, 2, {0, 2}, false}, // another chosen while one is attached besides
        {1, 2, {2}, true},     // alone: shown as one recorder always was
    };
    for (const auto& c : cases) {
        EXPECT_EQ(showsConnectedRecorder(c.displayed, c.connected, c.attached), c.shown)
            << c.displayed << " " << c.connected;
    }
}

TEST(DisplayRule, SettingActsOnTheDisplayedRecorderOnlyWhileItIsAttached) {
    using Kind = SettingTarget::Kind;
    const struct {
        int32_t displayed;
        std::vector<int32_t> attached;
        SettingTarget target;
    } cases[] = {
        {0, {}, {Kind::noneAttached, -1}},     {1, {0, 1}, {Kind::attached, 1}},
        {2, {0, 1}, {Kind::notAttached, 2}},   {-1, {0}, {Kind::attached, 0}},
        {-1, {0, 1}, {Kind::notAttached, -1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(settingTarget(c.displayed, c.attached), c.target) << c.displayed;
    }
}

TEST(StatusTurns, OneIsHeardAsBeforeSeveralTakeTurnsTheOneLeftIsHeardAgain) {
    EnglishOnly english;
    StatusTurns turns;
    turns.setAttached({{1, 0}});
    turns.report({1, 0}, "a");
    EXPECT_EQ(turns.paneText(), "a");
    turns.setAttached({{1, 0}, {2, 1}});
    turns.report({2, 1}, "b");
    EXPECT_EQ(turns.paneText(), textOfRecorder(0, "a"));
    for (const QString& next : {textOfRecorder(1, "b"), textOfRecorder(0, "a")}) {
        for (int t = 0; t < StatusTurns::kTurnTicks; ++t) {
            turns.tick();
        }
        EXPECT_EQ(turns.paneText(), next);
    }
    turns.report({1, 0}, "c");
    turns.report({2, 1}, "gone");
    turns.setAttached({{1, 0}});
    EXPECT_EQ(turns.paneText(), "c");
}

// Plugs recorder `index` in (it registers with the next number) or pulls it, and lets the
// chains finish.
void plug(ViewRig& rig, std::size_t index, bool in = true) {
    in ? rig.recorders[index]->plug() : rig.recorders[index]->unplug();
    rig.tick();
    ASSERT_TRUE(rig.pumpUntilIdle());
}

bool marked(QComboBox* combo, int entry) {
    return !combo->itemIcon(entry).isNull() &&
           combo->itemData(entry, Qt::ToolTipRole).toString() == lang(316);
}

std::size_t recordsInFile(const ViewRig& rig, int number) {
    DataFileContent content;
    std::string message;
    EXPECT_TRUE(
        decodeDataFile(readFile(rig.file(std::to_string(number) + ".dat")), content, message));
    return content.records.size();
}

TEST(SeveralRecorders, ThreeAreMarkedCountedHeardInTurnAndTheFirstKeepsTheDisplay) {
    EnglishOnly english;
    ViewRig rig(/*plugged=*/false, kWednesday, 3);
    CVeldrinView& view = rig.start();
    auto* combo = rig.control<QComboBox>(control_id::kRecorderCombo);
    for (std::size_t i = 0; i < 3; ++i) {
        plug(rig, i);
        EXPECT_EQ(rig.frame.attachedCount, static_cast<int>(i + 1));
        EXPECT_EQ(view.chosenRecorder(), 0) << "recorder " << i << " took the display";
    }
    EXPECT_EQ(view.session().attachedNumbers(), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(marked(combo, 0) && marked(combo, 1) && marked(combo, 2));
    EXPECT_EQ(view.store().displayedCount(), 300u);

    rig.frame.statusTexts.clear();
    for (int t = 0; t < 3 * StatusTurns::kTurnTicks; ++t) {
        rig.tick();
    }
    for (int number = 0; number < 3; ++number) {
        EXPECT_FALSE(rig.frame.statusTexts.filter(textOfRecorder(number, QString())).isEmpty())
            << "recorder " << number << " had no turn";
    }

    // Pulled, it is neither marked nor counted; plugged in again (recognised), it does not take
    // the display either.
    plug(rig, 1, false);
    EXPECT_EQ(rig.frame.attachedCount, 2);
    EXPECT_TRUE(marked(combo, 0) && !marked(combo, 1) && marked(combo, 2));
    plug(rig, 1);
    EXPECT_TRUE(marked(combo, 1));
    EXPECT_EQ(view.chosenRecorder(), 0);
}

TEST(SeveralRecorders, ClearPcDataOfOneRecorderWhileAnotherDownloadsOrAfterItWasPulled) {
    ViewRig rig(/*plugged=*/false, kWednesday, 2);
    CVeldrinView& view = rig.start();
    plug(rig, 0);
    plug(rig, 1);
    // Recorder 1 downloads: its chain stays busy until its reports are handled.
    Acquisition* other = view.session().acquisitionOf(1);
    ASSERT_NE(other, nullptr);
    other->SendLoggerCommand(command::download);
    ASSERT_TRUE(other->workerBusy());

    view.onClearPcData([](ClearDataDialog& dialog) {
        dialog.recorderList()->setCurrentIndex(0);
        return true;
    });
    EXPECT_TRUE(rig.prompts.messages.isEmpty()) << rig.prompts.messages.join('|').toStdString();
    EXPECT_EQ(recordsInFile(rig, 0), 0u);
    EXPECT_EQ(view.session().acquisitionOf(0)->store().connectedCount(), 0u);
    EXPECT_EQ(view.store().displayedCount(), 0u);

    ASSERT_TRUE(rig.pumpUntilIdle());
    EXPECT_EQ(recordsInFile(rig, 1), 300u);
    // The cleared recorder is downloaded again from the start at the next tick.
    rig.tick();
    ASSERT_TRUE(rig.pumpUntilIdle());
    EXPECT_EQ(recordsInFile(rig, 0), 300u);
    EXPECT_EQ(view.store().displayedCount(), 300u);

    // Pulled during a download: refused while the chain it left may still save, then cleared.
    rig.recorders[1]->setFaults(sim::FaultPlan{.unplugFrame = 5}); // in the header read
    view.session().acquisitionOf(1)->SendLoggerCommand(command::download);
    while (rig.recorders[1]->plugged()) {
        std::this_thread::yield();
    }
    view.session().fleet().tick(); // its chain retired, its last reports not yet handled
    for (const std::size_t records : {300u, 0u}) {
        view.onClearPcData([](ClearDataDialog& dialog) {
            dialog.recorderList()->setCurrentIndex(1);
            return true;
        });
        EXPECT_EQ(recordsInFile(rig, 1), records);
        ASSERT_TRUE(rig.pumpUntilIdle());
    }
    EXPECT_EQ(rig.prompts.messages, QStringList{lang(100)});
}

TEST(SeveralRecorders, SettingWritesTheDisplayedRecorderOnlyAndOnlyWhileItIsAttached) {
    EnglishOnly english;
    ViewRig rig(/*plugged=*/false, kWednesday, 2);
    CVeldrinView& view = rig.start();
    plug(rig, 0);
    plug(rig, 1);
    auto* combo = rig.control<QComboBox>(control_id::kRecorderCombo);
    combo->setCurrentIndex(1);
    Q_EMIT combo->activated(1);
    view.onSetting([](CSettingsDialog& dialog) {
        dialog.intervalEdit()->setText("10");
        return dialog.validateAndTake();
    });
    EXPECT_EQ(rig.recorders[1]->header()[header::interval], 10);
    EXPECT_EQ(rig.recorders[0]->header()[header::interval], 1);
    EXPECT_EQ(view.store().displayedSettings().interval, 10);

    // Pulled, the displayed recorder is refused by its number; a dialog opened for the attached
    // recorder 0 instead would fail here, not hang.
    plug(rig, 1, false);
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "a settings dialog opened";
            dialog->close();
        }
    });
    view.onSetting();
    EXPECT_EQ(rig.prompts.messages, QStringList{textOfRecorder(1, QString()) + '\n' + lang(318)});
    plug(rig, 0, false);
    rig.prompts.messages.clear();
    view.onSetting();
    EXPECT_EQ(rig.prompts.messages, QStringList{lang(57)});
}

} // namespace
} // namespace veldrin::testing
