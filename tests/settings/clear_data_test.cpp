// Clear PC Data: the dialog's list and description, and the command on the connected recorder,
// on another one, on one whose file is damaged, and where nothing may be cleared.

#include "acquisition/chain_rig.h"
#include "settings/recorder_commands.h"
#include "settings/recording_prompts.h"
#include "store/registry.h"

#include <QComboBox>
#include <QLabel>
#include <gtest/gtest.h>

#include <filesystem>

namespace veldrin {
namespace {

using testing::ChainRig;
using testing::lang;

DataFileContent readData(const std::string& path) {
    DataFileContent content;
    std::string message;
    EXPECT_TRUE(decodeDataFile(testing::readFile(path), content, message)) << path << message;
    return content;
}

bool anyFileStartsWith(const std::string& folder, const std::string& prefix) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0) {
            return true;
        }
    }
    return false;
}

// The connected recorder 0 with its history downloaded, and recorder 1 known from an earlier day.
class ClearDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.poll();
        rig.takeCodes();
        ASSERT_GT(rig.store->connectedCount(), 0u);
        RecorderSettings other;
        other.recorderNumber = 1;
        other.interval = 5;
        other.description = u"attic %s 100%d";
        RecordList records(3);
        testing::writeFile(rig.dataFile(1), encodeDataFile(other, records, 4096));
        rig.ini->writeString(kRegistrySection, registryKey(1), "6,2,3");
        writeMaxId(*rig.ini, 2);
    }
    // Picks `number` in the list (as the user would) and answers OK, or Cancel.
    ClearOutcome clear(int number, bool ok = true) {
        return runClearPcData(*rig.acquisition, prompts, nullptr, [&](ClearDataDialog& d) {
            d.recorderList()->setCurrentIndex(number);
            shownDescription = d.descriptionLabel()->text();
            return ok;
        });
    }

    ChainRig rig;
    testing::RecordingPrompts prompts;
    QString shownDescription;
};

TEST_F(ClearDataTest, TheListIsFixedAndShowsEachRecordersDescriptionVerbatim) {
    ClearDataDialog dialog(*rig.store, 2, 7, nullptr);
    EXPECT_FALSE(dialog.recorderList()->isEditable());
    EXPECT_EQ(dialog.recorderList()->count(), 2);
    EXPECT_EQ(dialog.chosenRecorder(), 0); // a preset outside the list falls back to 0
    dialog.recorderList()->setCurrentIndex(1);
    EXPECT_EQ(dialog.chosenRecorder(), 1);
    EXPECT_EQ(dialog.descriptionLabel()->text(), lang(30) + "attic %s 100%d");
    EXPECT_EQ(dialog.descriptionLabel()->textFormat(), Qt::PlainText);

    ClearDataDialog huge(*rig.store, 2000000000, 0, nullptr);
    EXPECT_EQ(huge.recorderList()->count(), kMaxRegisteredRecorders);
}

TEST_F(ClearDataTest, ClearingTheConnectedRecorderDownloadsItAgainFromTheStart) {
    const std::size_t before = rig.store->connectedCount();
    EXPECT_EQ(clear(0), ClearOutcome::cleared);
    const DataFileContent data = readData(rig.dataFile(0));
    EXPECT_TRUE(data.records.empty());
    EXPECT_EQ(data.nextAddress, 0);
    EXPECT_EQ(std::filesystem::file_size(rig.dataFile(0)),
              datafile::fileSize(data.settings.description.size(), 0));
    EXPECT_EQ(rig.store->connectedCount(), 0u);
    EXPECT_EQ(rig.store->displayedCount(), 0u);
    EXPECT_EQ(readData(rig.dataFile(1)).records.size(), 3u);

    // The very next tick downloads the whole memory again.
    EXPECT_EQ(rig.acquisition->tickCounter(), 14);
    rig.acquisition->periodicStep();
    EXPECT_TRUE(rig.acquisition->workerBusy());
    rig.drain();
    EXPECT_EQ(rig.store->connectedCount(), before);
}

TEST_F(ClearDataTest, ClearingAnotherRecorderLeavesTheConnectedOneAlone) {
    const std::string connectedFile = testing::readFile(rig.dataFile(0));
    const std::size_t connected = rig.store->connectedCount();
    EXPECT_EQ(clear(1), ClearOutcome::cleared);
    EXPECT_EQ(shownDescription, lang(30) + "attic %s 100%d");
    const DataFileContent data = readData(rig.dataFile(1));
    EXPECT_TRUE(data.records.empty());
    EXPECT_EQ(data.nextAddress, 0);
    EXPECT_EQ(data.settings.description, u"attic %s 100%d");
    EXPECT_EQ(data.settings.interval, 5);
    EXPECT_TRUE(testing::readFile(rig.dataFile(0)) == connectedFile);
    EXPECT_EQ(rig.store->connectedCount(), connected);
    EXPECT_EQ(rig.store->displayedCount(), connected); // recorder 0, on screen, stays there
    EXPECT_TRUE(prompts.take().isEmpty());
}

TEST_F(ClearDataTest, ADamagedFileIsKeptAsideAndNeverGetsAnotherRecordersSettings) {
    testing::writeFile(rig.dataFile(1), "not a data file");
    const std::string connectedFile = testing::readFile(rig.dataFile(0));
    EXPECT_EQ(clear(1), ClearOutcome::cleared);
    EXPECT_EQ(shownDescription, lang(30));
    const DataFileContent data = readData(rig.dataFile(1));
    EXPECT_TRUE(data.records.empty());
    EXPECT_EQ(data.settings.recorderNumber, 1);
    EXPECT_TRUE(data.settings.description.empty());
    EXPECT_TRUE(anyFileStartsWith(rig.dir.path(), "1.dat.damaged-"));
    EXPECT_TRUE(testing::readFile(rig.dataFile(0)) == connectedFile);
}

TEST_F(ClearDataTest, NothingIsClearedOnCancelWithoutRecordersOrWhileTheHistoryIsLoading) {
    const std::string files =
        testing::readFile(rig.dataFile(0)) + testing::readFile(rig.dataFile(1));
    const std::size_t connected = rig.store->connectedCount();
    const auto unchanged = [&] {
        EXPECT_TRUE(testing::readFile(rig.dataFile(0)) + testing::readFile(rig.dataFile(1)) ==
                    files);
        EXPECT_EQ(rig.store->connectedCount(), connected);
    };

    EXPECT_EQ(clear(0, false), ClearOutcome::cancelled);
    unchanged();
    EXPECT_NE(rig.acquisition->tickCounter(), 14);

    rig.acquisition->shared().workerBusy.store(1);
    EXPECT_EQ(clear(0), ClearOutcome::busy);
    EXPECT_EQ(prompts.take(), QStringList{lang(100)});
    unchanged();
    rig.acquisition->shared().workerBusy.store(0);

    testing::writeFile(rig.ini->path(), "[Drive ID]\nMaxID=0\n");
    EXPECT_EQ(clear(0), ClearOutcome::noRecorder);
    EXPECT_EQ(prompts.take(), QStringList{lang(57)});
    unchanged();
}

} // namespace
} // namespace veldrin
