// Start-up of the application: one program per data folder, the data-folder lock, the language
// files, the document commands that must leave stored data alone, and the signals that close it.

#include "app/termination_signals.h"
#include "app/veldrin_app.h"
#include "app_test_support.h"
#include "core/data_directory_lock.h"
#include "sim/sim_backend.h"
#include "sim/software_recorder.h"
#include "support/test_support.h"
#include "view/command_ids.h"
#include "view/display_area.h"
#include "view/veldrin_view.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QSettings>
#include <QTableView>

#include <csignal>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace veldrin {
namespace {

using testing::processEventsUntil;
using testing::RecordingPrompts;
using testing::TempDir;

// Names and contents of the files in a folder.
std::map<std::string, std::string> folderContents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const QString& name : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
        const std::string file = folder + "/" + name.toStdString();
        contents[name.toStdString()] = testing::readFile(file);
    }
    return contents;
}

class AppStart {
public:
    AppStart(const std::string& dataFolder, const std::string& runtimeFolder,
             const std::string& resources = testing::sourcePath("resources/lang")) {
        AppStartup startup;
        startup.options.dataDir = QString::fromStdString(dataFolder);
        startup.prompts = &prompts;
        startup.clock = &clock;
        startup.runtimeFolder = QString::fromStdString(runtimeFolder);
        startup.resourceFolder = QString::fromStdString(resources);
        sim::RecorderConfig config;
        config.preloadRecords = 30;
        recorder = std::make_shared<sim::SoftwareRecorder>(config, clock);
        recorder->unplug(); // nothing to download: these tests are about the shell
        startup.backend = sim::makeSimBackend(recorder);
        app = std::make_unique<CVeldrinApp>(startup);
    }

    ManualClock clock;
    RecordingPrompts prompts;
    std::shared_ptr<sim::SoftwareRecorder> recorder;
    std::unique_ptr<CVeldrinApp> app;
};

TEST(VeldrinApp, ASecondStartOnOneFolderRaisesTheFirstAndEndsAnotherFolderRuns) {
    TempDir runtime;
    TempDir folderA;
    TempDir folderB;
    AppStart first(folderA.path(), runtime.path());
    ASSERT_EQ(first.app->start(), CVeldrinApp::StartResult::Running)
        << first.app->failureText().toStdString();
    ASSERT_NE(first.app->view(), nullptr);
    EXPECT_TRUE(first.prompts.messages.empty());
    first.app->frame()->showMinimized();
    ASSERT_TRUE(first.app->frame()->isMinimized());

    AppStart second(folderA.path(), runtime.path());
    EXPECT_EQ(second.app->start(), CVeldrinApp::StartResult::AlreadyRunning);
    ASSERT_EQ(second.prompts.messages.size(), 1u);
    EXPECT_EQ(second.prompts.messages[0].text, "The Next Veldrin is running");
    EXPECT_EQ(second.prompts.messages[0].icon, PromptIcon::Warning);
    EXPECT_TRUE(second.prompts.messages[0].caption.isEmpty()); // "Veldrin"
    EXPECT_EQ(second.app->frame(), nullptr);
    EXPECT_TRUE(processEventsUntil([&] { return !first.app->frame()->isMinimized(); }));

    AppStart beside(folderB.path(), runtime.path());
    EXPECT_EQ(beside.app->start(), CVeldrinApp::StartResult::Running)
        << beside.app->failureText().toStdString();
    EXPECT_TRUE(beside.prompts.messages.empty());
}

TEST(VeldrinApp, AFolderLockedByAnotherProcessIsRefusedAndLeftAlone) {
    TempDir runtime;
    TempDir folder;
    testing::writeFile(folder.file("main.ini"), "[Drive ID]\nMaxID=0\n");
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        DataDirectoryLock lock;
        std::string detail;
        const char ok = lock.acquire(folder.path(), "veldrin-cli watch", detail) ? 1 : 0;
        [[maybe_unused]] ssize_t n = ::write(ready[1], &ok, 1);
        char byte;
        n = ::read(release[0], &byte, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    const auto before = folderContents(folder.path());

    AppStart start(folder.path(), runtime.path());
    EXPECT_EQ(start.app->start(), CVeldrinApp::StartResult::Failed);
    ASSERT_EQ(start.prompts.messages.size(), 1u);
    const QString message = start.prompts.messages[0].text;
    EXPECT_TRUE(message.contains("veldrin-cli watch")) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::number(holder))) << message.toStdString();
    EXPECT_EQ(start.app->frame(), nullptr);
    EXPECT_EQ(folderContents(folder.path()), before);

    ::close(release[1]);
    int status = 0;
    ::waitpid(holder, &status, 0);
    for (int fd : {ready[0], ready[1], release[0]}) {
        ::close(fd);
    }
}

TEST(VeldrinApp, MissingLanguageFilesEndTheStart) {
    TempDir runtime;
    TempDir folder;
    TempDir noResources;
    AppStart start(folder.path(), runtime.path(), noResources.path());
    EXPECT_EQ(start.app->start(), CVeldrinApp::StartResult::Failed);
    ASSERT_EQ(start.prompts.messages.size(), 1u);
    EXPECT_TRUE(start.prompts.messages[0].text.startsWith("Failed to create empty document."));
    EXPECT_EQ(start.app->frame(), nullptr);
}

TEST(VeldrinApp, NewOpenAndSaveNeverChangeStoredData) {
    TempDir runtime;
    TempDir folder;
    TempDir elsewhere;
    testing::writeFile(folder.file("main.ini"), "[Drive ID]\nMaxID=1\nID=0\n");
    testing::writeFile(folder.file("0.dat"), std::string(100, '\x07'));
    testing::writeFile(elsewhere.file("other.vrn"), "not a data file");
    AppStart start(folder.path(), runtime.path());
    ASSERT_EQ(start.app->start(), CVeldrinApp::StartResult::Running);
    const auto before = folderContents(folder.path());

    start.prompts.chosenFile = QString::fromStdString(elsewhere.file("other.vrn"));
    for (const int command : {command_id::kNew, command_id::kOpen, frame_id::kSave}) {
        start.app->frame()->commandAction(command)->trigger();
    }
    ASSERT_EQ(start.prompts.fileRequests.size(), 1u);
    EXPECT_FALSE(start.prompts.fileRequests[0].save);
    EXPECT_TRUE(start.prompts.fileRequests[0].filters.contains("Veldr Files (*.vrn *.dat)"));
    Q_EMIT start.app->frame()->fileDropped(QString::fromStdString(folder.file("0.dat")));
    start.app->openReadOnly(QString::fromStdString(elsewhere.file("missing.vrn")));

    EXPECT_EQ(folderContents(folder.path()), before);
    EXPECT_EQ(testing::readFile(elsewhere.file("other.vrn")), "not a data file");
}

// The Open dialog starts in the user's documents, then where the last file was opened; never in
// the live data folder.
TEST(VeldrinApp, OpenStartsWhereTheLastFileWasOpened) {
    TempDir runtime;
    TempDir folder;
    TempDir config;
    TempDir elsewhere;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
    testing::writeFile(elsewhere.file("other.vrn"), "not a data file");
    for (const bool again : {false, true}) {
        AppStart start(folder.path(), runtime.path());
        ASSERT_EQ(start.app->start(), CVeldrinApp::StartResult::Running);
        start.prompts.chosenFile = QString::fromStdString(elsewhere.file("other.vrn"));
        start.app->frame()->commandAction(command_id::kOpen)->trigger();
        ASSERT_EQ(start.prompts.fileRequests.size(), 1u);
        const QString directory = start.prompts.fileRequests[0].directory;
        EXPECT_NE(QDir(directory), QDir(QString::fromStdString(folder.path())));
        EXPECT_EQ(QDir(directory) == QDir(QString::fromStdString(elsewhere.path())), again);
        start.app->shutdown();
    }
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

TEST(VeldrinApp, TheWindowRemembersItselfInTheUsersSettingsButNoPlaceOffEveryScreen) {
    TempDir runtime;
    TempDir folder;
    TempDir config;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
    const auto combo = [](AppStart& start, int id) {
        return qobject_cast<QComboBox*>(start.app->view()->control(id));
    };
    for (const bool again : {false, true}) {
        AppStart start(folder.path(), runtime.path());
        ASSERT_EQ(start.app->start(), CVeldrinApp::StartResult::Running);
        QHeaderView* header = start.app->view()->findChild<QTableView*>()->horizontalHeader();
        const std::pair<int, int> choices[] = {{control_id::kDisplayCombo, 1},
                                               {control_id::kPeriodCombo, 3}};
        if (!again) {
            EXPECT_EQ(start.app->frame()->size(), QSize(900, 660)); // nothing remembered yet
            start.app->frame()->setGeometry(40, 30, 700, 500);
            for (const auto& [id, position] : choices) {
                combo(start, id)->setCurrentIndex(position);
                Q_EMIT combo(start, id)->activated(position);
            }
            header->resizeSection(2, 222);
        } else {
            EXPECT_EQ(start.app->frame()->geometry(), QRect(40, 30, 700, 500));
            for (const auto& [id, position] : choices) {
                EXPECT_EQ(combo(start, id)->currentIndex(), position) << id;
            }
            EXPECT_TRUE(start.app->view()->displayArea().showsList());
            EXPECT_EQ(header->sectionSize(2), 222);
        }
        start.app->shutdown();
    }
    EXPECT_EQ(testing::readFile(folder.file("main.ini")).find("window"), std::string::npos);
    QSettings(CVeldrinApp::userSettingsPath(), QSettings::IniFormat)
        .setValue("window/position", QPoint(-30000, -30000));
    AppStart offScreen(folder.path(), runtime.path());
    ASSERT_EQ(offScreen.app->start(), CVeldrinApp::StartResult::Running);
    EXPECT_NE(offScreen.app->frame()->pos(), QPoint(-30000, -30000));
    qputenv("XDG_CONFIG_HOME", savedConfig);
}

TEST(VeldrinApp, TerminationSignalsArriveOnTheWindowThread) {
    TerminationSignals signals;
    ASSERT_TRUE(signals.installed());
    QList<int> received;
    QObject::connect(&signals, &TerminationSignals::terminationRequested,
                     [&received](int number) { received << number; });
    ::raise(SIGTERM);
    ::raise(SIGINT);
    EXPECT_TRUE(processEventsUntil([&received] { return received.size() == 2; }));
    EXPECT_EQ(received, QList<int>({SIGTERM, SIGINT}));
}

} // namespace
} // namespace veldrin
