#include "store/data_store.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veldrin {
namespace {

using testing::readFile;
using testing::ScopedTimeZone;
using testing::TempDir;

struct Listener : DataStoreListener {
    int refills = 0;
    std::vector<int32_t> intervals;
    std::vector<std::string> problems;
    void listNeedsRefill() override { ++refills; }
    void intervalChanged(int32_t minutes) override { intervals.push_back(minutes); }
    void problem(const std::string& message) override { problems.push_back(message); }
};

struct StoreTest : ::testing::Test {
    ScopedTimeZone tz{"UTC0"};
    TempDir dir;
    IniFile ini{dir.file("main.ini")};
    ManualClock clock;
    Listener listener;
    DataStore store{dir.path(), ini, clock};

    void SetUp() override {
        store.setListener(&listener);
        setNow(12, 0);
    }
    void setNow(int hour, int minute) {
        std::time_t t = 0;
        ASSERT_TRUE(unixFromLocalFields(CalendarFields{2026, 12, 7, hour, minute, 0, 0}, t));
        clock.setUnixSeconds(t);
    }
    static DateTime at(int hour, int minute) {
        return DateTime::fromFields(2026, 12, 7, hour, minute);
    }
    static HeaderImage header(uint8_t interval = 10) {
        HeaderImage h{};
        h[0] = 0xFF; // Celsius
        h[1] = interval;
        h[2] = 1;
        return h;
    }
    static DownloadedBatch batch(std::vector<int> intervals, bool continues, int32_t next) {
        DownloadedBatch b;
        for (int minutes : intervals) {
            b.records.push_back(RawRecord{650, 50, minutes}); // raw 650: 25.0 degrees
        }
        b.continues = continues;
        b.newNextAddress = next;
        return b;
    }
    static DownloadedBatch slotBatch(std::vector<int> intervals, bool atStart, DateTime start) {
        DownloadedBatch b = batch(std::move(intervals), false, 512);
        b.mode = DownloadedBatch::Mode::slot;
        b.beganAtSlotStart = atStart;
        b.slotStart = start;
        return b;
    }
    // A recorder just registered with this number, its header refreshed.
    void connectNew(int32_t number) {
        ini.writeInt(kRegistrySection, "MaxID", number + 1);
        ini.writeString(kRegistrySection, registryKey(number), "1,1,1");
        ASSERT_EQ(store.startNewRecorder(number), 1);
        ASSERT_EQ(store.refreshFromHeader(header(), number), 1);
    }
    RecordList connected() {
        return store.withConnected([](const RecorderSettings&, const RecordList& r) { return r; });
    }
    RecordList displayed() {
        const auto view = store.displayed();
        return view.records();
    }
    static void expectTimes(const RecordList& list, std::vector<DateTime> want) {
        ASSERT_EQ(list.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(list[i].time(), want[i]) << "record " << i;
        }
    }
};

TEST_F(StoreTest, FirstDownloadEndsNowAndIsSavedScaled) {
    connectNew(0);
    ASSERT_EQ(store.appendDownloaded(batch({10, 10, 5}, false, 268)), 1);
    const RecordList list = connected();
    expectTimes(list, {at(11, 45), at(11, 55), at(12, 0)});
    EXPECT_DOUBLE_EQ(list[0].temperature, 25.0);
    EXPECT_EQ(list[0].downloadTime(), at(12, 0));
    EXPECT_EQ(store.nextAddress(), 268);
    expectTimes(displayed(), {at(11, 45), at(11, 55), at(12, 0)});
    EXPECT_EQ(readFile(store.dataFilePath(0)).size(), datafile::fileSize(0, 3));

    DataStore again(dir.path(), ini, clock);
    EXPECT_EQ(again.loadAtStartUp(), 0);
    EXPECT_EQ(again.nextAddress(), 268);
    EXPECT_EQ(again.connectedCount(), 3u);
}

TEST_F(StoreTest, ContinuingDownloadFollowsTheNewestStoredTime) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10, 5}, false, 268));
    setNow(12, 30);
    store.appendDownloaded(batch({10, 10}, true, 276));
    expectTimes(connected(), {at(11, 45), at(11, 55), at(12, 0), at(12, 10), at(12, 20)});
}

TEST_F(StoreTest, NewestRecordInTheFutureShiftsTheWholeHistoryToNow) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10, 5}, false, 268));
    setNow(12, 15);
    ASSERT_EQ(store.appendDownloaded(batch({10, 10}, true, 276)), 1);
    const std::vector<DateTime> want{at(11, 40), at(11, 50), at(11, 55), at(12, 5), at(12, 15)};
    expectTimes(connected(), want);
    expectTimes(displayed(), want);
    DataStore again(dir.path(), ini, clock);
    again.loadAtStartUp();
    expectTimes(again.withDisplayed([](auto&, const RecordList& r) { return r; }), want);
}

TEST_F(StoreTest, SlotModeStampsFromTheSlotStartAndIsNeverShifted) {
    connectNew(0);
    store.appendDownloaded(slotBatch({15, 15, 15}, true, at(8, 0)));
    store.appendDownloaded(slotBatch({15, 15}, false, at(8, 0)));
    expectTimes(connected(), {at(8, 0), at(8, 15), at(8, 30), at(8, 45), at(9, 0)});
    // A slot whose records would end after now keeps its times.
    store.appendDownloaded(slotBatch({15, 15}, true, at(11, 50)));
    EXPECT_EQ(connected().back().time(), at(12, 5));
}

TEST_F(StoreTest, SlotBatchNotAtItsStartWithNothingStoredEndsNow) {
    connectNew(0);
    store.appendDownloaded(slotBatch({15, 30}, false, at(8, 0)));
    expectTimes(connected(), {at(11, 30), at(12, 0)});
}

TEST_F(StoreTest, EmptyBatchWritesNothing) {
    connectNew(0);
    store.appendDownloaded(batch({10}, false, 260));
    const std::string before = readFile(store.dataFilePath(0));
    const int refills = listener.refills;
    EXPECT_EQ(store.appendDownloaded(batch({}, true, 300)), 1);
    EXPECT_EQ(store.nextAddress(), 260);
    EXPECT_EQ(readFile(store.dataFilePath(0)), before);
    EXPECT_EQ(listener.refills, refills);
}

TEST_F(StoreTest, DownloadLeavesAnotherDisplayedRecorderAlone) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10}, false, 264));
    connectNew(1);
    ASSERT_EQ(store.loadDisplayedSet(0), 1);
    store.appendDownloaded(batch({5}, false, 260));
    EXPECT_EQ(store.displayedCount(), 2u);
    EXPECT_EQ(store.connectedCount(), 1u);
    EXPECT_EQ(readFile(store.dataFilePath(1)).size(), datafile::fileSize(0, 1));
}

TEST_F(StoreTest, RefreshWritesNothingBeforeAnyRegistration) {
    EXPECT_EQ(store.refreshFromHeader(header(), 0), 1);
    EXPECT_FALSE(std::filesystem::exists(store.dataFilePath(0)));
}

TEST_F(StoreTest, RefreshKeepsTheDescriptionAndFollowsIntoTheDisplayedSet) {
    connectNew(0);
    RecorderSettings edited = store.connectedSettings();
    edited.description = u"cellar";
    store.setConnectedSettings(edited);
    ASSERT_EQ(store.refreshFromHeader(header(30), 0), 1);
    EXPECT_EQ(store.connectedSettings().interval, 30);
    EXPECT_EQ(store.displayedSettings().description, u"cellar");
    EXPECT_EQ(listener.intervals.back(), 30);
    EXPECT_EQ(readFile(store.dataFilePath(0)).size(), datafile::fileSize(6, 0));
}

TEST_F(StoreTest, StartUpLoadsTheNewestRecorderWithRoomForOneDownload) {
    connectNew(2);
    store.appendDownloaded(batch({10, 10, 10}, false, 268));
    DataStore fresh(dir.path(), ini, clock);
    EXPECT_EQ(fresh.loadAtStartUp(), 2);
    EXPECT_EQ(fresh.currentRecorder(), 2);
    EXPECT_EQ(fresh.nextAddress(), 268);
    const std::size_t room = 3u + datafile::kAppendHeadroom;
    fresh.withConnected([&](auto&, const RecordList& r) { EXPECT_EQ(r.capacity(), room); });
    fresh.withDisplayed([&](auto&, const RecordList& r) { EXPECT_EQ(r.capacity(), room); });
}

// A store whose displayed set nobody reads holds each record once: neither a load, a header
// refresh, a download nor a re-timed history copies into it, and its file is saved as always.
TEST_F(StoreTest, DisplayedSetThatDoesNotFollowTheConnectedOneStaysEmpty) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10, 10}, false, 268));
    DataStore chain(dir.path(), ini, clock);
    chain.setDisplayFollowsConnected(false);
    ASSERT_EQ(chain.loadAtStartUp(), 0);
    ASSERT_EQ(chain.refreshFromHeader(header(), 0), 1);
    // Continues after 12:00 into the future: the whole history is re-timed to end now.
    ASSERT_EQ(chain.appendDownloaded(batch({10, 10}, true, 276)), 1);
    EXPECT_EQ(chain.connectedCount(), 5u);
    EXPECT_EQ(chain.displayedCount(), 0u);
    EXPECT_EQ(readFile(store.dataFilePath(0)).size(), datafile::fileSize(0, 5));
}

TEST_F(StoreTest, StartUpWithADamagedMaxIdSaysSoOnceAndLoadsTheLastEntry) {
    connectNew(1);
    ini.writeInt(kRegistrySection, "MaxID", 12000000);
    DataStore fresh(dir.path(), ini, clock);
    Listener heard;
    fresh.setListener(&heard);
    EXPECT_EQ(fresh.loadAtStartUp(), 1);
    ASSERT_EQ(heard.problems.size(), 1u);
    EXPECT_NE(heard.problems[0].find("MaxID says 12000000"), std::string::npos);
}

TEST_F(StoreTest, ClearingTheConnectedRecorderKeepsItsSettings) {
    connectNew(0);
    RecorderSettings s = store.connectedSettings();
    s.description = u"ab";
    store.setConnectedSettings(s);
    std::vector<int> intervals(500, 1);
    store.appendDownloaded(batch(intervals, false, 2256));
    ASSERT_EQ(store.clearRecorder(0), 1);
    EXPECT_EQ(readFile(store.dataFilePath(0)).size(), 160u);
    EXPECT_EQ(store.connectedCount(), 0u);
    EXPECT_EQ(store.displayedCount(), 0u);
    EXPECT_EQ(store.nextAddress(), 0);
    RecorderSettings back;
    ASSERT_EQ(store.readFileSettings(0, back), 1);
    EXPECT_EQ(back.description, u"ab");
}

TEST_F(StoreTest, ClearingAnotherRecorderLeavesTheConnectedOne) {
    connectNew(0);
    RecorderSettings s = store.connectedSettings();
    s.description = u"old";
    store.setConnectedSettings(s);
    store.appendDownloaded(batch({10, 10}, false, 264));
    connectNew(1);
    store.appendDownloaded(batch({10}, false, 260));
    const std::string connectedFile = readFile(store.dataFilePath(1));
    ASSERT_EQ(store.clearRecorder(0), 1);
    EXPECT_EQ(readFile(store.dataFilePath(0)).size(), datafile::fileSize(3, 0));
    EXPECT_EQ(readFile(store.dataFilePath(1)), connectedFile);
    EXPECT_EQ(store.connectedCount(), 1u);
    EXPECT_EQ(store.displayedCount(), 1u); // recorder 1, shown since it was registered
    EXPECT_EQ(store.clearRecorder(2), 0);  // not registered
}

TEST_F(StoreTest, RecognisedRecorderResetsOrLoadsItsSets) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10}, false, 264));
    connectNew(1);
    ASSERT_EQ(store.adoptRecognisedRecorder(0, 1, false), 1);
    EXPECT_EQ(store.connectedCount(), 2u);
    EXPECT_EQ(store.displayedCount(), 2u);
    EXPECT_EQ(store.nextAddress(), 264);
    ASSERT_EQ(store.adoptRecognisedRecorder(2, 0, true), 1);
    EXPECT_EQ(store.connectedCount(), 0u);
    EXPECT_EQ(store.nextAddress(), 0);
    EXPECT_EQ(store.displayedSettings().recorderNumber, 2);
    EXPECT_EQ(readFile(store.dataFilePath(2)).size(), datafile::kFixedSize);
}

TEST_F(StoreTest, DamagedFileIsKeptAsideAndTheUserTold) {
    connectNew(0);
    store.appendDownloaded(batch({10, 10}, false, 264));
    std::string bytes = readFile(store.dataFilePath(0));
    bytes.pop_back();
    testing::writeFile(store.dataFilePath(0), bytes);

    DataStore restarted(dir.path(), ini, clock);
    restarted.setListener(&listener);
    listener.problems.clear();
    restarted.loadAtStartUp();
    ASSERT_EQ(listener.problems.size(), 1u);
    EXPECT_EQ(listener.problems[0], "Unexpected file format.");
    ASSERT_EQ(restarted.refreshFromHeader(header(), 0), 1);
    const std::string aside = store.dataFilePath(0) + ".damaged-20261207-120000";
    EXPECT_EQ(readFile(aside), bytes);
    ASSERT_EQ(listener.problems.size(), 2u);
    EXPECT_NE(listener.problems[1].find(aside), std::string::npos);
}

TEST_F(StoreTest, FailedSaveKeepsTheDownloadInMemory) {
    connectNew(0);
    std::filesystem::remove(store.dataFilePath(0));
    std::filesystem::create_directory(store.dataFilePath(0)); // nothing can replace it
    EXPECT_EQ(store.appendDownloaded(batch({10, 10}, false, 264)), 0);
    EXPECT_EQ(store.connectedCount(), 2u);
    EXPECT_EQ(store.nextAddress(), 264);
    ASSERT_FALSE(listener.problems.empty());
    EXPECT_NE(listener.problems.back().find(store.dataFilePath(0)), std::string::npos);
}

// Ways a save fails on a working system. Each makes the next save of the folder fail until the
// object goes; `skipReason` is set when this system cannot bring the fault about.
class WriteFault {
public:
    virtual ~WriteFault() = default;
    std::string skipReason;
};

#ifdef _WIN32
class FileSizeLimit final : public WriteFault {
public:
    explicit FileSizeLimit(unsigned long) {
        skipReason = "Windows has no file-size limit to stand for a full disk";
    }
};

class ReadOnlyFolder final : public WriteFault {
public:
    explicit ReadOnlyFolder(const std::string&) {
        skipReason = "Windows folders are protected by access lists, not permission bits";
    }
};
#else
// A full disk: a file-size limit fails the write as a full disk does, also for root.
class FileSizeLimit final : public WriteFault {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old_;
        small.rlim_cur = bytes;
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
            skipReason = "the file-size limit cannot be set";
        }
    }
    ~FileSizeLimit() override {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// A folder without write permission. Root passes permission checks, so this thread then works
// under another user's file-system identity (which also drops root's override of permissions).
class ReadOnlyFolder final : public WriteFault {
public:
    explicit ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
        ::chmod(folder_.c_str(), 0555);
        if (::geteuid() == 0) {
            ::setfsuid(kNobody);
            switched_ = true;
        }
        const std::string probe = folder_ + "/probe";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            skipReason = "a folder without write permission can still be written here";
        }
    }
    ~ReadOnlyFolder() override {
        if (switched_) {
            ::setfsuid(0);
        }
        ::chmod(folder_.c_str(), 0755);
    }

private:
    static constexpr uid_t kNobody = 65534;
    std::string folder_;
    bool switched_ = false;
};
#endif

TEST_F(StoreTest, FailedSaveKeepsTheOldFileAndTheNextSaveWritesEverything) {
    using MakeFault = std::function<std::unique_ptr<WriteFault>(const std::string& folder)>;
    const std::vector<MakeFault> faults = {
        [](const std::string&) { return std::make_unique<FileSizeLimit>(1024); },
        [](const std::string& folder) { return std::make_unique<ReadOnlyFolder>(folder); },
    };
    for (std::size_t k = 0; k < faults.size(); ++k) {
        SCOPED_TRACE("fault " + std::to_string(k));
        TempDir folder;
        IniFile ini2(folder.file("main.ini"));
        DataStore store2(folder.path(), ini2, clock);
        Listener heard;
        store2.setListener(&heard);
        ini2.writeInt(kRegistrySection, "MaxID", 1);
        ini2.writeString(kRegistrySection, registryKey(0), "1,1,1");
        ASSERT_EQ(store2.startNewRecorder(0), 1);
        ASSERT_EQ(store2.refreshFromHeader(header(), 0), 1);
        ASSERT_EQ(store2.appendDownloaded(batch({10, 10, 10}, false, 268)), 1);
        const std::string path = store2.dataFilePath(0);
        const std::string before = readFile(path);
        {
            std::unique_ptr<WriteFault> fault = faults[k](folder.path());
            if (!fault->skipReason.empty()) {
                std::printf("fault %zu not tried: %s\n", k, fault->skipReason.c_str());
                continue;
            }
            // 40 records more make a file beyond the size limit.
            EXPECT_EQ(store2.appendDownloaded(batch(std::vector<int>(40, 10), true, 428)), 0);
        }
        EXPECT_EQ(readFile(path), before);
        ASSERT_FALSE(heard.problems.empty());
        EXPECT_NE(heard.problems.back().find(path), std::string::npos) << heard.problems.back();
        EXPECT_EQ(store2.connectedCount(), 43u);
        EXPECT_EQ(store2.displayedCount(), 43u);
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder.path())) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"0.dat", "main.ini"}));

        // The next save that succeeds writes the records kept in memory as well.
        ASSERT_EQ(store2.appendDownloaded(batch({10, 10}, true, 436)), 1);
        DataFileContent content;
        std::string message;
        ASSERT_TRUE(decodeDataFile(readFile(path), content, message)) << message;
        const RecordList inMemory =
            store2.withConnected([](const RecorderSettings&, const RecordList& r) { return r; });
        ASSERT_EQ(content.records.size(), 45u);
        for (std::size_t i = 0; i < inMemory.size(); ++i) {
            EXPECT_EQ(content.records[i].time(), inMemory[i].time()) << i;
            EXPECT_EQ(content.records[i].temperature, inMemory[i].temperature) << i;
        }
        EXPECT_EQ(content.nextAddress, 436);
    }
}

} // namespace
} // namespace veldrin
