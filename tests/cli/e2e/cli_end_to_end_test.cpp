// The real programs: veldrin-recorder-sim serving a recorder on a socket, veldrin-cli driving the
// whole acquisition chain across it, checked on the files it leaves. Real time: kept few and
// short.

#include "e2e/programs.h"

#include "analysis/statistics.h"
#include "core/atomic_file.h"
#include "core/date_time.h"
#include "lang/language_table.h"
#include "lang/utf.h"
#include "store/alarm_limits_store.h"
#include "store/data_file.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace veldrin {
namespace {

using testing::BackgroundProgram;
using testing::ProgramRun;

constexpr int32_t kFirstRecordAddress = 256;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

bool contains(const std::vector<std::string>& all, const std::string& line) {
    return std::find(all.begin(), all.end(), line) != all.end();
}

std::string secondText(const DateTime& t) {
    CalendarFields f;
    if (!t.fields(f)) {
        return "?";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    return buffer;
}

DateTime nowLocal() {
    return localDateTimeFromUnix(std::time(nullptr));
}

// Every file of a folder with its content.
std::map<std::string, std::string> folderSnapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = testing::readFile(entry.path().string());
    }
    return files;
}

class CliEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LanguageTable::instance().load(VELDRIN_BIN_DIR, error)) << error;
    }

    static std::string text(int index) {
        return utf16ToUtf8(LanguageTable::instance().fetch(kEnglish, index));
    }

    void startSimulator(std::vector<std::string> options) {
        std::vector<std::string> args = {testing::binaryPath("veldrin-recorder-sim"), "--socket",
                                         socket_};
        args.insert(args.end(), options.begin(), options.end());
        simulatorStart_ = std::chrono::steady_clock::now();
        simulator_ = std::make_unique<BackgroundProgram>(args, dir_.file("sim.out"));
        ASSERT_TRUE(simulator_->waitForOutput("listening on")) << simulator_->output();
    }

    int secondsSinceSimulatorStart() const {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::steady_clock::now() - simulatorStart_)
                                    .count());
    }

    std::vector<std::string> cliArgs(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {testing::binaryPath("veldrin-cli"),
                                        "--data-dir",
                                        data_,
                                        "--device",
                                        "socket:" + socket_,
                                        "--lang",
                                        "0"};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }

    ProgramRun cli(const std::vector<std::string>& args) const {
        return testing::runProgram(cliArgs(args), dir_.path());
    }

    DataFileContent dataFile(int32_t number) const {
        DataFileContent content;
        std::string message;
        const std::string bytes = testing::readFile(dataFilePath(data_, number));
        EXPECT_TRUE(decodeDataFile(bytes, content, message)) << message;
        return content;
    }

    std::string registeredIdentityText() const {
        RecorderIdentity id;
        EXPECT_TRUE(registeredIdentity(IniFile(data_ + "/main.ini"), 0, id));
        EXPECT_TRUE(id.isValid());
        return std::to_string(id.product) + "," + std::to_string(id.high) + "," +
               std::to_string(id.low);
    }

    // A history downloaded in one piece or continued: one record a minute, plausible values,
    // the newest stamped about now.
    static void expectContinuousHistory(const RecordList& records) {
        ASSERT_FALSE(records.empty());
        for (std::size_t i = 0; i < records.size(); ++i) {
            const HistoryRecord& r = records[i];
            EXPECT_EQ(r.interval, 1) << i;
            EXPECT_GE(r.humidity, 1) << i;
            EXPECT_LE(r.humidity, 99) << i;
            EXPECT_GE(r.temperature, -40.0) << i;
            EXPECT_LE(r.temperature, 80.0) << i;
            if (i > 0) {
                EXPECT_EQ(secondsBetween(r.time(), records[i - 1].time()), 60) << i;
            }
        }
        EXPECT_LE(std::llabs(secondsBetween(records.back().time(), nowLocal())), 120);
    }

    testing::TempDir dir_;
    const std::string data_ = dir_.file("data");
    const std::string socket_ = dir_.file("rec.sock");
    std::unique_ptr<BackgroundProgram> simulator_;
    std::chrono::steady_clock::time_point simulatorStart_;
};

TEST_F(CliEndToEnd, SyncRegistersDownloadsSetsTheClockAndASecondSyncContinues) {
    constexpr int kPreloaded = 300;
    // One record a second, so that a few arrive between the two runs.
    startSimulator({"--records", std::to_string(kPreloaded), "--acceleration", "60"});

    const ProgramRun first = cli({"sync"});
    ASSERT_EQ(first.status, 0) << first.err;
    const auto shown = lines(first.out);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), text(67));
    EXPECT_TRUE(contains(shown, text(42))) << first.out;
    EXPECT_TRUE(contains(shown, text(62)));
    EXPECT_TRUE(contains(shown, text(82)));
    EXPECT_TRUE(contains(shown, text(111)));
    EXPECT_EQ(shown.back(), text(65));

    IniFile ini(data_ + "/main.ini");
    EXPECT_EQ(readMaxId(ini), 1);
    EXPECT_EQ(ini.readInt(kRegistrySection, "ID", -1), 0);
    const std::string identity = registeredIdentityText();

    const ProgramRun info = cli({"info"});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_TRUE(contains(lines(info.out), "identity: " + identity + " (valid)")) << info.out;
    EXPECT_TRUE(contains(lines(info.out), "recorder number: 0"));

    const DataFileContent before = dataFile(0);
    const auto count = static_cast<int>(before.records.size());
    EXPECT_GE(count, kPreloaded);
    EXPECT_LE(count, kPreloaded + secondsSinceSimulatorStart() + 1);
    EXPECT_EQ(before.nextAddress, kFirstRecordAddress + 4 * count);
    expectContinuousHistory(before.records);

    std::this_thread::sleep_for(std::chrono::seconds(3));
    const ProgramRun second = cli({"sync"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(contains(lines(second.out), text(120))) << second.out;
    EXPECT_EQ(readMaxId(ini), 1);

    const DataFileContent after = dataFile(0);
    ASSERT_GT(after.records.size(), before.records.size());
    EXPECT_EQ(after.nextAddress,
              kFirstRecordAddress + 4 * static_cast<int32_t>(after.records.size()));
    // The records of the first run are kept as they were (only re-timed when the new ones ran
    // ahead of the PC clock); nothing was fetched twice.
    for (std::size_t i = 0; i < before.records.size(); ++i) {
        EXPECT_EQ(after.records[i].temperature, before.records[i].temperature) << i;
        EXPECT_EQ(after.records[i].humidity, before.records[i].humidity) << i;
        EXPECT_EQ(after.records[i].downloadTimeValue, before.records[i].downloadTimeValue) << i;
    }
    expectContinuousHistory(after.records);
}

// Three recorders attached: each is registered and its whole history lands in its own file.
TEST_F(CliEndToEnd, SyncServesEveryRecorderAttached) {
    std::vector<std::string> args = cliArgs({"sync"});
    args[4] = "sim:3";
    const ProgramRun run = testing::runProgram(args, dir_.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readMaxId(IniFile(data_ + "/main.ini")), 3);
    for (int32_t number = 0; number < 3; ++number) {
        EXPECT_TRUE(contains(lines(run.out), "recorder at sim:" + std::to_string(number) + ":"));
        EXPECT_GE(dataFile(number).records.size(), 3u * 24 * 60) << number;
    }
}

// watch over three recorders in a socket folder: each is registered, downloaded and has its clock
// checked, every line names its recorder, and one that goes is said while the others stay.
TEST_F(CliEndToEnd, WatchServesEveryRecorderInAFolderAndSaysWhichOneWent) {
    const std::string folder = dir_.file("recorders");
    std::filesystem::create_directory(folder);
    std::vector<std::unique_ptr<BackgroundProgram>> recorders;
    for (int k = 0; k < 3; ++k) {
        const std::string path = folder + "/r" + std::to_string(k) + ".sock";
        recorders.push_back(std::make_unique<BackgroundProgram>(
            std::vector<std::string>{testing::binaryPath("veldrin-recorder-sim"), "--socket", path,
                                     "--records", "30"},
            path + ".out"));
        ASSERT_TRUE(recorders.back()->waitForOutput("listening on"));
    }
    std::vector<std::string> args = cliArgs({"watch"});
    args[4] = "socket-dir:" + folder;
    BackgroundProgram watch(args, dir_.file("watch.out"));
    for (int32_t number = 0; number < 3; ++number) {
        ASSERT_TRUE(
            watch.waitForOutput("recorder " + std::to_string(number) + ": " + text(111), 20000))
            << watch.output();
    }
    EXPECT_EQ(recorders[1]->stop(SIGTERM), 0);
    ASSERT_TRUE(watch.waitForOutput(": no longer attached", 5000)) << watch.output();
    EXPECT_EQ(watch.stop(SIGTERM), 0) << watch.output();
    for (const std::string& line : lines(watch.output())) {
        EXPECT_EQ(line.rfind("recorder ", 0), 0u) << line;
    }
    EXPECT_EQ(readMaxId(IniFile(data_ + "/main.ini")), 3);
    for (int32_t number = 0; number < 3; ++number) {
        EXPECT_EQ(dataFile(number).records.size(), 30u) << number;
    }
}

// Two recorders on sockets: info and configure refuse to guess and list what is attached; with
// --recorder they act on the one named, and only on it.
TEST_F(CliEndToEnd, InfoAndConfigureNeedTheRecorderNamedWhenSeveralAreAttached) {
    startSimulator({"--records", "20"});
    const std::string second = dir_.file("second.sock");
    BackgroundProgram other(
        {testing::binaryPath("veldrin-recorder-sim"), "--socket", second, "--records", "20"},
        dir_.file("second.out"));
    ASSERT_TRUE(other.waitForOutput("listening on")) << other.output();
    const auto both = [&](std::vector<std::string> command) {
        std::vector<std::string> args = cliArgs(command);
        args[4] = "socket:" + socket_ + "," + second;
        return testing::runProgram(args, dir_.path());
    };
    ASSERT_EQ(both({"sync"}).status, 0);

    const std::string listed = "0 (" + socket_ + "), 1 (" + second + ")";
    const struct {
        std::vector<std::string> command;
        int status;
        std::string said; // on standard error, or the interval info prints
    } cases[] = {
        {{"configure", "--interval", "5"}, 2, "several recorders are attached: " + listed},
        {{"info", "--recorder", "7"}, 2, "recorder 7 is not attached; attached: " + listed},
        {{"configure", "--recorder", "1", "--interval", "5"}, 0, ""},
        {{"info", "--recorder", "1"}, 0, "interval: 5 min"},
        {{"info", "--recorder", "0"}, 0, "interval: 1 min"},
    };
    for (const auto& c : cases) {
        const ProgramRun run = both(c.command);
        EXPECT_EQ(run.status, c.status) << c.command[0] << run.err;
        const std::string& where = c.status == 0 ? run.out : run.err;
        EXPECT_NE(where.find(c.said), std::string::npos) << c.command[0] << ": " << where;
    }
}

TEST_F(CliEndToEnd, RecorderLostPartWayExitsFourWithTheFilesIntact) {
    // Unplugged in the middle of the first download (the connect command takes 16 frames, the
    // download's header read 8 more, then two frames a unit).
    startSimulator({"--records", "300", "--unplug-frame", "60"});
    const ProgramRun sync = cli({"sync"});
    EXPECT_EQ(sync.status, 4);
    EXPECT_NE(sync.err.find("lost"), std::string::npos) << sync.err;
    EXPECT_EQ(readMaxId(IniFile(data_ + "/main.ini")), 1);
    const DataFileContent content = dataFile(0);
    EXPECT_TRUE(content.records.empty());
    EXPECT_EQ(content.nextAddress, 0);
}

TEST_F(CliEndToEnd, AFailedDownloadSaysSoAndTheCompleteOneAfterItDecides) {
    // The recorder ignores one frame of the first download; the second download reads it all.
    startSimulator({"--records", "3000", "--silent-frame", "60"});
    const ProgramRun sync = cli({"sync"});
    EXPECT_EQ(sync.status, 0) << sync.err;
    const std::vector<std::string> out = lines(sync.out);
    const auto failed = std::find(out.begin(), out.end(), text(95));
    const auto finished = std::find(out.begin(), out.end(), text(65));
    EXPECT_TRUE(failed < finished) << sync.out;
    EXPECT_EQ(std::count(out.begin(), out.end(), text(65)), 1) << sync.out;
    EXPECT_EQ(dataFile(0).records.size(), 3000u);
}

TEST_F(CliEndToEnd, NoRecorderWithinTheWaitExitsThreeAndWritesNothing) {
    const ProgramRun sync = cli({"sync", "--wait", "2"});
    EXPECT_EQ(sync.status, 3);
    EXPECT_NE(sync.err.find("no recorder"), std::string::npos) << sync.err;
    EXPECT_NE(sync.err.find("there is no socket " + socket_), std::string::npos) << sync.err;
    EXPECT_FALSE(std::filesystem::exists(data_ + "/main.ini"));
    EXPECT_EQ(cli({"info", "--wait", "0"}).status, 3);

    // A bad value is named before anything is waited for.
    const ProgramRun configure = cli({"configure", "--interval", "0", "--wait", "30"});
    EXPECT_EQ(configure.status, 2);
    EXPECT_NE(configure.err.find("--interval: 0"), std::string::npos) << configure.err;

    // A path that can never be a recorder's socket is refused at once, without waiting.
    testing::writeFile(socket_, "");
    const ProgramRun file = cli({"watch"});
    EXPECT_EQ(file.status, 2);
    EXPECT_NE(file.err.find("is a file, not a socket"), std::string::npos) << file.err;
}

TEST_F(CliEndToEnd, ListAndExportShowTheHistoryAndChangeNothing) {
    startSimulator({"--records", "20"});
    ASSERT_EQ(cli({"sync"}).status, 0);
    const auto snapshot = folderSnapshot(data_);
    const RecordList records = dataFile(0).records;
    ASSERT_EQ(records.size(), 20u);

    const ProgramRun list = cli({"list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out, "recorder 0: identity " + registeredIdentityText() +
                            ", description \"\", 20 records, " +
                            secondText(records.front().time()) + " to " +
                            secondText(records.back().time()) + "\n");

    const std::string csvPath = dir_.file("history.csv");
    const ProgramRun toFile = cli({"export", "--recorder", "0", "--out", csvPath});
    ASSERT_EQ(toFile.status, 0) << toFile.err;
    const std::string csv = testing::readFile(csvPath);
    const auto rows = lines(csv);
    ASSERT_EQ(rows.size(), 21u);
    EXPECT_EQ(rows[0], text(109) + "," + text(89) + "( C)," + text(45) + "," + text(48) + "," +
                           text(66) + "," + text(70));
    const std::regex dataLine(
        R"("\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{2}",[ -]?\d+\.\d,\d+,1,"\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d{2}","[^"]*")");
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_TRUE(std::regex_match(rows[i], dataLine)) << rows[i];
    }
    EXPECT_EQ(rows.back().substr(rows.back().size() - text(25).size() - 1), text(25) + "\"");
    EXPECT_EQ(csv.back(), '\n');
    EXPECT_EQ(csv.find('\r'), std::string::npos);

    const ProgramRun toStdout = cli({"export", "--recorder", "0"});
    ASSERT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out, csv);

    const ProgramRun throughLink = cli({"export", "--recorder", "0", "--out", "/dev/stdout"});
    ASSERT_EQ(throughLink.status, 0) << throughLink.err;
    EXPECT_EQ(throughLink.out, csv);
    // The data folder's own files are never an export target, however they are named.
    for (const std::string& own : {data_ + "/0.dat", data_ + "/../data/main.ini"}) {
        const ProgramRun refused = cli({"export", "--recorder", "0", "--out", own});
        EXPECT_EQ(refused.status, 2) << own;
        EXPECT_NE(refused.err.find("data folder"), std::string::npos) << refused.err;
    }

    // A minute given as both ends takes in the record of that minute (one a minute here).
    const std::string minute = secondText(records[5].time()).substr(0, 16);
    const ProgramRun oneMinute =
        cli({"export", "--recorder", "0", "--from", minute, "--to", minute});
    ASSERT_EQ(oneMinute.status, 0) << oneMinute.err;
    EXPECT_EQ(lines(oneMinute.out).size(), 2u) << oneMinute.out;

    const ProgramRun late = cli({"export", "--recorder", "0", "--from", "2200-01-01 00:00"});
    EXPECT_EQ(late.status, 0);
    EXPECT_EQ(lines(late.out).size(), 1u);
    EXPECT_EQ(cli({"export", "--recorder", "1"}).status, 2);

    EXPECT_EQ(folderSnapshot(data_), snapshot);
}

// A main.ini whose MaxID disagrees with its entries (or that cannot be read) is said, and neither
// list nor sync ends with 0; sync writes nothing and moves nothing aside, and list still shows
// each recorder whose entry is there as itself.
TEST_F(CliEndToEnd, ADamagedRegistryIsSaidAndLeavesEveryFileAsItWas) {
    startSimulator({"--records", "50", "--identity", "2/2"}); // the identity of ID0000002
    const std::string entries = "ID0000000=1,1,1\nID0000001=9,3,3\nID0000002=4,2,2\n";
    const struct {
        std::string ini;
        const char* said;
        int listed; // recorders listed
    } cases[] = {
        {"[Drive ID]\nMaxID=2\n" + entries, "MaxID says 2 recorders", 3},
        {"[Drive ID]\n" + entries, "it has no MaxID", 3},
        {"[Drive ID]\nMaxID=-1\n" + entries, "MaxID says -1", 3},
        {"[Drive ID]\nMaxID=12000000\n" + entries, "MaxID says 12000000", 3},
        {"[Drive ID]\nMaxID=2\nID0000000=1,1,1\nID0000002=4,2,2\n", "MaxID says 2", 3},
        {"[Drive ID]\nMaxID=3\n" + entries + std::string(kMaxIniFileBytes, ';'),
         "larger than 4 MiB", 0},
    };
    RecorderSettings settings;
    settings.interval = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        std::filesystem::remove_all(data_);
        std::filesystem::create_directories(data_);
        testing::writeFile(data_ + "/main.ini", c.ini);
        for (int n = 0; n < 3; ++n) {
            testing::writeFile(dataFilePath(data_, n), encodeDataFile(settings, RecordList(7), 0));
        }
        const auto before = folderSnapshot(data_);

        const ProgramRun list = cli({"list"});
        EXPECT_EQ(list.status, 2) << list.out;
        EXPECT_NE(list.err.find(c.said), std::string::npos) << list.err;
        EXPECT_EQ(lines(list.out).size(), static_cast<std::size_t>(c.listed)) << list.out;
        if (c.listed == 3) {
            EXPECT_EQ(lines(list.out)[2].substr(0, 31), "recorder 2: identity 4,2,2, des");
        }
        const ProgramRun sync = cli({"sync", "--wait", "2"});
        EXPECT_EQ(sync.status, 2) << sync.out;
        EXPECT_NE(sync.err.find(c.said), std::string::npos) << sync.err;
        EXPECT_EQ(folderSnapshot(data_), before);
    }
}

// A history found where a new recorder's file goes is kept aside, said, and the run fails.
TEST_F(CliEndToEnd, AFileMovedAsideIsSaidAndEndsSyncWithTwo) {
    startSimulator({"--records", "20"});
    std::filesystem::create_directories(data_);
    testing::writeFile(dataFilePath(data_, 0), "a history of another program");
    const ProgramRun sync = cli({"sync"});
    EXPECT_EQ(sync.status, 2) << sync.out;
    EXPECT_NE(sync.err.find("has been kept as " + dataFilePath(data_, 0) + ".orphaned-"),
              std::string::npos)
        << sync.err;
    EXPECT_NE(sync.err.find("moved aside"), std::string::npos) << sync.err;
    EXPECT_EQ(dataFile(0).records.size(), 20u);
}

TEST_F(CliEndToEnd, WatchHoldsTheDataFolderAndEndsCleanlyOnSigterm) {
    startSimulator({"--records", "50"});
    BackgroundProgram watch(cliArgs({"watch"}), dir_.file("watch.out"));
    ASSERT_TRUE(watch.waitForOutput(text(111), 20000)) << watch.output();

    const ProgramRun sync = cli({"sync", "--wait", "1"});
    EXPECT_EQ(sync.status, 2);
    EXPECT_NE(sync.err.find("veldrin-cli watch"), std::string::npos) << sync.err;

    EXPECT_EQ(watch.stop(SIGTERM), 0) << watch.output();
    const DataFileContent content = dataFile(0);
    EXPECT_EQ(content.records.size(), 50u);
    EXPECT_EQ(content.nextAddress, kFirstRecordAddress + 4 * 50);
    EXPECT_EQ(readMaxId(IniFile(data_ + "/main.ini")), 1);
}

// As on a full disk: no file of the program may grow beyond 512 bytes (the shell's limit is
// counted in blocks of 512), so main.ini and an empty data file are written and every data file
// with the history is not. Standard output and error to files are bound by the same limit.
std::vector<std::string> withFilesUpTo512Bytes(const std::vector<std::string>& args) {
    std::vector<std::string> wrapped = {"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 1; exec \"$@\"",
                                        "sh"};
    wrapped.insert(wrapped.end(), args.begin(), args.end());
    return wrapped;
}

TEST_F(CliEndToEnd, AFileThatCannotBeSavedEndsSyncAndWatchWithTwo) {
    startSimulator({"--records", "100"});
    const ProgramRun sync =
        testing::runProgram(withFilesUpTo512Bytes(cliArgs({"sync"})), dir_.path());
    EXPECT_EQ(sync.status, 2) << sync.out;
    EXPECT_NE(sync.err.find("could not be saved"), std::string::npos) << sync.err;

    BackgroundProgram watch(withFilesUpTo512Bytes(cliArgs({"watch"})), dir_.file("watch.out"));
    ASSERT_TRUE(watch.waitForOutput(text(65), 20000)) << watch.output();
    EXPECT_EQ(watch.stop(SIGTERM), 2) << watch.output(); // (its output is cut at 512 bytes too)
    EXPECT_TRUE(dataFile(0).records.empty());
}

TEST_F(CliEndToEnd, ConfigureIsCheckedWrittenReadBackAndStored) {
    startSimulator({"--records", "10"});
    const ProgramRun refused = cli({"configure", "--interval", "0"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("--interval: 0"), std::string::npos) << refused.err;

    const ProgramRun written =
        cli({"configure", "--unit", "F", "--interval", "5", "--description", "Cellar"});
    ASSERT_EQ(written.status, 0) << written.err;
    const auto shown = lines(written.out);
    EXPECT_TRUE(contains(shown, text(82))) << written.out; // the connection ran first
    EXPECT_TRUE(contains(shown, text(65)));
    // Then what the recorder took, as read back.
    EXPECT_TRUE(contains(shown, "  interval: 5 min")) << written.out;
    EXPECT_TRUE(contains(shown, "  description: \"Cellar\""));
    EXPECT_EQ(shown.back(), "  slot 4: not in use");

    const ProgramRun info = cli({"info"});
    EXPECT_TRUE(contains(lines(info.out), "unit: Fahrenheit")) << info.out;
    EXPECT_TRUE(contains(lines(info.out), "interval: 5 min"));

    const DataFileContent content = dataFile(0);
    EXPECT_EQ(content.settings.tempUnit, 1);
    EXPECT_EQ(content.settings.interval, 5);
    // limits takes and shows the recorder's own unit, as stats does; stored to 0.01 C.
    const ProgramRun limits = cli({"limits", "--recorder", "0", "--temp-high", "46.4"});
    ASSERT_EQ(limits.status, 0) << limits.err;
    EXPECT_EQ(lines(limits.out)[0], "temp-high: 46.4 F");
    EXPECT_NE(testing::readFile(data_ + "/main.ini").find("TempHigh=8\n"), std::string::npos);
    EXPECT_EQ(content.settings.description, u"Cellar");
    EXPECT_EQ(content.records.size(), 10u);
    EXPECT_EQ(readMaxId(IniFile(data_ + "/main.ini")), 1);
}

// A write the recorder refuses and a recorder that goes away during the writes are told apart,
// and neither is shown as written. Frames 73 to 77 write the configuration to a new recorder
// with ten records: the second write is refused, or the recorder goes after the third.
TEST_F(CliEndToEnd, AConfigurationNotWhollyWrittenSaysWhatHappened) {
    struct Case {
        std::vector<std::string> fault;
        const char* said;
        const char* heading; // of what the recorder holds, when it could be read back
    };
    for (const Case& c :
         {Case{{"--wrong-ack-frame", "74"},
               "the recorder refused a write",
               "the recorder holds, as read back:"},
          Case{{"--unplug-frame", "75"}, "the recorder stopped answering", nullptr}}) {
        std::vector<std::string> options = {"--records", "10"};
        options.insert(options.end(), c.fault.begin(), c.fault.end());
        startSimulator(options);
        const ProgramRun run = cli({"configure", "--interval", "5"});
        EXPECT_EQ(run.status, 4) << run.out << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        const auto shown = lines(run.out);
        EXPECT_FALSE(contains(shown, "written to the recorder:")) << run.out;
        if (c.heading != nullptr) {
            EXPECT_TRUE(contains(shown, c.heading)) << run.out;
            EXPECT_TRUE(contains(shown, "  interval: 1 min")) << run.out;
        }
        simulator_->stop(SIGTERM);
        std::filesystem::remove_all(data_);
    }
}

// Linear recording with a slot yet to come makes the records the recorder holds unreachable (only
// slot ranges are read from then on): configure writes it only once they are on the PC.
TEST_F(CliEndToEnd, ConfigureDownloadsWhatTheRecorderHoldsBeforeWriting) {
    startSimulator({"--records", "30"});
    const std::time_t now = std::time(nullptr);
    const std::string start = secondText(localDateTimeFromUnix(now + 3600)).substr(0, 16);
    const std::string end = secondText(localDateTimeFromUnix(now + 7200)).substr(0, 16);
    const ProgramRun written = cli({"configure", "--circular", "off", "--slot", "1", start, end});
    ASSERT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(contains(lines(cli({"info"}).out), "slots in use: 1"));
    EXPECT_EQ(dataFile(0).records.size(), 30u);
}

// The recorder goes away while watch is idle (frame 74 ends the first 15-second download) and is
// back 2.5 s later: it is identified and downloaded once more, and from then on the presence
// checks say nothing.
TEST_F(CliEndToEnd, WatchConnectsARecorderPluggedInAgainOnce) {
    startSimulator({"--identity", "1000/2000", "--records", "20", "--unplug-frame", "74",
                    "--replug-after-ms", "2500"});
    BackgroundProgram watch(cliArgs({"watch"}), dir_.file("watch.out"));
    // The shown lines without the progress counts.
    const auto statusLines = [&] {
        std::vector<std::string> out;
        for (const std::string& line : lines(watch.output())) {
            if (line.find(text(121)) == std::string::npos) {
                out.push_back(line);
            }
        }
        return out;
    };
    const auto connections = [&] {
        const auto shown = statusLines();
        return std::count(shown.begin(), shown.end(), text(67));
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (!(connections() == 2 && statusLines().back() == text(65)) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::seconds(3)); // three more presence polls
    EXPECT_EQ(watch.stop(SIGTERM), 0);

    const auto shown = statusLines();
    const auto second =
        std::find(std::find(shown.begin(), shown.end(), text(67)) + 1, shown.end(), text(67));
    ASSERT_NE(second, shown.end()) << watch.output();
    // Recognised again without a clock check (done since start), downloaded, then quiet.
    EXPECT_EQ(std::vector<std::string>(second, shown.end()),
              (std::vector<std::string>{text(67), text(120), text(62), text(65)}))
        << watch.output();
    const DataFileContent content = dataFile(0);
    EXPECT_EQ(content.records.size(), 20u);
    EXPECT_EQ(content.nextAddress, kFirstRecordAddress + 4 * 20);
}

std::string jsonNumber(double value) {
    char buffer[64];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

TEST_F(CliEndToEnd, LimitsAreStoredAndStatsGiveTheWindowsFiguresAndEvents) {
    startSimulator({"--records", "60"});
    ASSERT_EQ(cli({"sync"}).status, 0);
    const RecordList records = dataFile(0).records;
    const std::string ini = data_ + "/main.ini";

    EXPECT_EQ(cli({"limits", "--recorder", "0"}).out,
              "temp-high: off\ntemp-low: off\nhum-high: off\nhum-low: off\ndelay: 0 min\n");
    // The median temperature as the high limit, given in Fahrenheit: some runs lie above it.
    std::vector<double> sorted;
    for (const HistoryRecord& r : records) {
        sorted.push_back(r.temperature);
    }
    std::sort(sorted.begin(), sorted.end());
    const double high = sorted[sorted.size() / 2];
    const ProgramRun set = cli({"limits", "--recorder", "0", "--unit", "F", "--temp-high",
                                jsonNumber(high * 1.8 + 32), "--delay", "2", "--hum-low", "5"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(lines(set.out)[0].substr(0, 11), "temp-high: ");
    EXPECT_EQ(lines(set.out)[0].back(), 'F');
    EXPECT_EQ(lines(set.out)[4], "delay: 2 min");
    const StoredAlarmLimits stored = readAlarmLimits(IniSnapshot::load(ini), 0);
    ASSERT_TRUE(stored.limits.tempHigh);
    EXPECT_NEAR(*stored.limits.tempHigh, high, 1e-9);

    // Refused whole: crossed limits, an option and its --off, a recorder not registered.
    const std::string before = testing::readFile(ini);
    EXPECT_EQ(cli({"limits", "--recorder", "0", "--hum-high", "1"}).status, 2);
    EXPECT_EQ(cli({"limits", "--recorder", "0", "--off", "hum-low", "--hum-low", "3"}).status, 1);
    EXPECT_EQ(cli({"limits", "--recorder", "0", "--temp-low", "1,5"}).status, 2);
    EXPECT_EQ(cli({"stats", "--recorder", "3"}).status, 2);
    EXPECT_EQ(testing::readFile(ini), before);

    const WindowStatistics expected =
        computeStatistics(records, DateTime::fromFields(100, 1, 1),
                          DateTime::fromFields(9999, 1, 1), false, stored.limits);
    ASSERT_FALSE(expected.events.empty());
    const ProgramRun json = cli({"stats", "--recorder", "0", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"records\": 60,"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"unit\": \"C\""), std::string::npos);
    EXPECT_NE(json.out.find("\"mkt\": " + jsonNumber(*expected.meanKineticTemperature)),
              std::string::npos);
    EXPECT_NE(json.out.find("\"stddev\": " + jsonNumber(expected.temperature->stddev)),
              std::string::npos);
    EXPECT_NE(json.out.find("\"delay_minutes\": 2"), std::string::npos);
    // The fingerprint a report of the same period prints.
    EXPECT_NE(json.out.find("\"fingerprint\": \"" +
                            recordFingerprint(records, DateTime::fromFields(100, 1, 1),
                                              DateTime::fromFields(9999, 1, 1)) +
                            "\""),
              std::string::npos);
    EXPECT_EQ(occurrences(json.out, "\"limit\": \"temp-high\""), expected.events.size());
    EXPECT_NE(
        json.out.find("\"start\": \"" + secondText(expected.events[0].start).replace(10, 1, "T")),
        std::string::npos);

    // A hand-damaged limit is said once and switched off; the window takes whole minutes.
    std::string damaged = before;
    const std::string section = "[Alarm Limits 0]\n";
    ASSERT_NE(damaged.find(section), std::string::npos) << damaged;
    testing::writeFile(ini,
                       damaged.insert(damaged.find(section) + section.size(), "TempLow=abc\n"));
    const std::string minute = secondText(records[10].time()).substr(0, 16);
    const ProgramRun text = cli({"stats", "--recorder", "0", "--from", minute, "--to", minute});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(lines(text.out)[0], "recorder 0: 1 record, " +
                                      secondText(records[10].time()).replace(10, 1, "T") + " to " +
                                      secondText(records[10].time()).replace(10, 1, "T"));
    ASSERT_EQ(lines(text.err).size(), 1u) << text.err;
    EXPECT_NE(text.err.find("TempLow \"abc\" is not a number"), std::string::npos);
}

TEST_F(CliEndToEnd, WatchRunsTheAlarmProgramForAnEventInProgress) {
    startSimulator({"--records", "20"});
    ASSERT_EQ(cli({"sync"}).status, 0);
    ASSERT_EQ(cli({"limits", "--recorder", "0", "--temp-high", "-50"}).status, 0);
    const std::string envFile = dir_.file("alarm.env");
    const std::string program = dir_.file("alarm");
    testing::writeFile(program, "#!/bin/sh\nenv | grep ^VELDRIN_ | sort > " + envFile + "\n");
    EXPECT_EQ(cli({"watch", "--on-alarm", program}).status, 2); // not executable yet
    ::chmod(program.c_str(), 0755);

    BackgroundProgram watch(cliArgs({"watch", "--on-alarm", program}), dir_.file("watch.out"));
    ASSERT_TRUE(watch.waitForOutput("alarm: recorder 0 temp-high begin at ", 20000))
        << watch.output();
    EXPECT_EQ(watch.stop(SIGTERM), 0) << watch.output();
    const auto env = lines(testing::readFile(envFile));
    ASSERT_EQ(env.size(), 7u) << testing::readFile(envFile);
    EXPECT_EQ(env[0], "VELDRIN_IDENTITY=" + registeredIdentityText());
    EXPECT_EQ(env[1], "VELDRIN_LIMIT=temp-high");
    EXPECT_EQ(env[2], "VELDRIN_RECORDER=0");
    EXPECT_EQ(env[3], "VELDRIN_STATE=begin");
    EXPECT_EQ(env[4],
              "VELDRIN_TIME=" + secondText(dataFile(0).records[0].time()).replace(10, 1, "T"));
    EXPECT_EQ(env[5], "VELDRIN_UNIT=C");
}

} // namespace
} // namespace veldrin
