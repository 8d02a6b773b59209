// The main view's Setting and Clear PC Data commands reach their dialogs and act on the view's
// own data (no recorder attached; the dialog is answered through its modal loop).

#include "settings/recorder_commands.h"
#include "settings/recording_prompts.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "store/data_file.h"
#include "store/registry.h"
#include "support/test_support.h"
#include "view/veldrin_view.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::lang;

class QuietFrame final : public CFrameServices {
public:
    void setStatusText(const QString&) override {}
    void setStatusPaneWidth(int) override {}
    void setRecorderAttached(bool) override {}
    void applyLanguageToFrame() override {}
    void showDocumentName(const QString&) override {}
};

// Presses OK of the modal dialog that the next event loop shows.
void pressOkOfNextDialog() {
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QPushButton*>(QString::number(clear_ids::kOk))->click();
    });
    QTimer::singleShot(5000, [] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            dialog->close();
        }
    });
}

TEST(ViewCommands, SettingWithoutRecorderAndClearingTheShownHistory) {
    testing::ScopedTimeZone tz("UTC0");
    testing::TempDir dir;
    {
        IniFile ini(dir.file("main.ini"));
        ini.writeString(kRegistrySection, registryKey(0), "6,2,3");
        writeMaxId(ini, 1);
        RecorderSettings settings;
        settings.interval = 1;
        settings.description = u"cellar";
        testing::writeFile(dir.file("0.dat"), encodeDataFile(settings, RecordList(5), 4096));
    }
    ManualClock clock;
    auto recorder = std::make_shared<sim::SoftwareRecorder>(sim::RecorderConfig{}, clock);
    recorder->unplug();
    testing::RecordingPrompts prompts;
    QuietFrame frame;
    ViewStartup startup;
    startup.dataFolder = dir.path();
    startup.resourceFolder = testing::sourcePath("resources/lang");
    startup.clock = &clock;
    startup.prompts = &prompts;
    startup.backend = sim::makeSimBackend(recorder);
    startup.runTimer = false;
    CVeldrinView view(startup, frame);
    ASSERT_TRUE(view.initialUpdate());
    ASSERT_EQ(view.store().displayedCount(), 5u);

    view.onSetting();
    EXPECT_EQ(prompts.take(), QStringList{lang(57)});

    pressOkOfNextDialog();
    view.onClearPcData();
    DataFileContent content;
    std::string message;
    ASSERT_TRUE(decodeDataFile(testing::readFile(dir.file("0.dat")), content, message));
    EXPECT_TRUE(content.records.empty());
    EXPECT_EQ(content.settings.description, u"cellar");
    EXPECT_EQ(view.store().displayedCount(), 0u);
    EXPECT_EQ(view.session().ticksBeforeWindow(), 14);
    view.shutdown();
}

} // namespace
} // namespace veldrin
