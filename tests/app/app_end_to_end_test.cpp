// The program itself: against veldrin-recorder-sim on the offscreen platform, where it must leave
// the same files as veldrin-cli sync; and once under a real X server, seen and closed from outside.
// Real time: kept few and short.

#include "e2e/programs.h"

#include "core/date_time.h"
#include "sim/sim_registration.h"
#include "store/data_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <thread>
#include <unistd.h>

namespace veldrin {
namespace {

using testing::BackgroundProgram;
using testing::ProgramRun;
using testing::runProgram;

constexpr auto kPollStep = std::chrono::milliseconds(200);

// Polls `done` in real time until it holds or `seconds` have passed.
bool within(int seconds, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return done();
}

bool readDataFile(const std::string& path, DataFileContent& out) {
    std::string message;
    return std::filesystem::exists(path) && decodeDataFile(testing::readFile(path), out, message);
}

// main.ini with the identity values (made from the clock) blanked.
std::string iniShape(const std::string& path) {
    return std::regex_replace(testing::readFile(path), std::regex("(ID\\d{7}=)[0-9,]+"), "$1*");
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { had_ ? (void)::setenv(name_, old_.c_str(), 1) : (void)::unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class AppEndToEnd : public ::testing::Test {
protected:
    std::unique_ptr<BackgroundProgram> simulator(const std::string& socket) {
        auto sim = std::make_unique<BackgroundProgram>(
            std::vector<std::string>{testing::binaryPath("veldrin-recorder-sim"), "--socket",
                                     socket, "--records", "200", "--series", "counting",
                                     "--clock-offset", "-3600"},
            socket + ".out");
        EXPECT_TRUE(sim->waitForOutput("listening on")) << sim->output();
        return sim;
    }

    // The recorder's clock, as veldrin-cli info reads it, within a few seconds of the PC's.
    bool recorderClockIsSet(const std::string& socket) {
        const ProgramRun info =
            runProgram({testing::binaryPath("veldrin-cli"), "--data-dir", dir_.file("info"),
                        "--device", "socket:" + socket, "info"},
                       dir_.path(), 20000);
        std::smatch m;
        if (info.status != 0 ||
            !std::regex_search(
                info.out, m,
                std::regex("recorder clock: (\\d+)-(\\d+)-(\\d+) (\\d+):(\\d+):(\\d+)"))) {
            return false;
        }
        const DateTime clock =
            DateTime::fromFields(std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                                 std::stoi(m[5]), std::stoi(m[6]));
        return std::llabs(secondsBetween(clock, localDateTimeFromUnix(std::time(nullptr)))) <= 5 &&
               info.out.find("(valid)") != std::string::npos;
    }

    testing::TempDir dir_;
};

TEST_F(AppEndToEnd,
       ABlankRecorderIsRegisteredDownloadedAndClockSetAsSyncDoesAndSigtermEndsWithZero) {
    const std::string cliData = dir_.file("cli");
    const std::string appData = dir_.file("app");
    auto forCli = simulator(dir_.file("cli.sock"));
    auto forApp = simulator(dir_.file("app.sock"));

    const ProgramRun sync =
        runProgram({testing::binaryPath("veldrin-cli"), "--data-dir", cliData, "--device",
                    "socket:" + dir_.file("cli.sock"), "--lang", "0", "sync"},
                   dir_.path());
    ASSERT_EQ(sync.status, 0) << sync.err;
    ASSERT_TRUE(recorderClockIsSet(dir_.file("cli.sock")));

    BackgroundProgram app({testing::binaryPath("veldrin"), "--data-dir", appData, "--device",
                           "socket:" + dir_.file("app.sock"), "--lang", "0"},
                          dir_.file("app.out"));
    DataFileContent fromApp;
    ASSERT_TRUE(within(20, [&] {
        return readDataFile(appData + "/0.dat", fromApp) && fromApp.records.size() >= 200;
    })) << app.output();
    EXPECT_TRUE(within(15, [&] { return recorderClockIsSet(dir_.file("app.sock")); }));
    EXPECT_EQ(app.stop(SIGTERM), 0) << app.output();

    DataFileContent fromCli;
    ASSERT_TRUE(readDataFile(cliData + "/0.dat", fromCli));
    ASSERT_TRUE(readDataFile(appData + "/0.dat", fromApp));
    EXPECT_EQ(iniShape(appData + "/main.ini"), iniShape(cliData + "/main.ini"));
    EXPECT_EQ(fromApp.nextAddress, fromCli.nextAddress);
    // The slots of a recorder that never had any carry the time they were read at; the rest of
    // the settings must agree.
    RecorderSettings appSettings = fromApp.settings;
    RecorderSettings cliSettings = fromCli.settings;
    appSettings.slots = cliSettings.slots = {};
    EXPECT_EQ(encodeDataFile(appSettings, {}, 0), encodeDataFile(cliSettings, {}, 0));
    ASSERT_EQ(fromApp.records.size(), fromCli.records.size());
    for (std::size_t i = 0; i < fromApp.records.size(); ++i) {
        const HistoryRecord& a = fromApp.records[i];
        const HistoryRecord& c = fromCli.records[i];
        EXPECT_EQ(a.temperature, c.temperature) << i;
        EXPECT_EQ(a.humidity, c.humidity) << i;
        EXPECT_EQ(a.interval, c.interval) << i;
        // The two recorders were started a moment apart.
        EXPECT_LE(std::llabs(secondsBetween(a.time(), c.time())), 30) << i;
    }
}

// Three software recorders attached at once: each registered and downloaded into its own file.
TEST_F(AppEndToEnd, ThreeRecordersAttachedAtOnceAreEachServed) {
    const std::string data = dir_.file("data");
    // The window's remembered size stays with this run, not with the tests after it.
    const ScopedEnv config("XDG_CONFIG_HOME", dir_.file("config"));
    BackgroundProgram app(
        {testing::binaryPath("veldrin"), "--data-dir", data, "--device", "sim:3", "--lang", "0"},
        dir_.file("app.out"));
    const auto downloaded = [&](int number) {
        DataFileContent content;
        return readDataFile(data + "/" + std::to_string(number) + ".dat", content) &&
               content.records.size() >= sim::kDemoHistoryRecords;
    };
    EXPECT_TRUE(within(30, [&] { return downloaded(0) && downloaded(1) && downloaded(2); }))
        << app.output();
    EXPECT_NE(testing::readFile(data + "/main.ini").find("MaxID=3"), std::string::npos);
    EXPECT_EQ(app.stop(SIGTERM), 0) << app.output();
}

TEST_F(AppEndToEnd, AFolderWatchedByTheCommandLineToolIsRefusedWithItsHolderNamed) {
    const std::string data = dir_.file("data");
    BackgroundProgram watch({testing::binaryPath("veldrin-cli"), "--data-dir", data, "--device",
                             "socket:" + dir_.file("none.sock"), "watch"},
                            dir_.file("watch.out"));
    ASSERT_TRUE(within(10, [&] { return std::filesystem::exists(data + "/veldrin.lock"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the lock is taken after the file
    BackgroundProgram app({testing::binaryPath("veldrin"), "--data-dir", data, "--device", "sim"},
                          dir_.file("app.out"));
    // The refusal is printed, and shown in a message box that a signal also closes.
    ASSERT_TRUE(app.waitForOutput("veldrin-cli watch", 15000)) << app.output();
    EXPECT_EQ(app.stop(SIGTERM), 2) << app.output();
    EXPECT_FALSE(std::filesystem::exists(data + "/main.ini"));
    EXPECT_EQ(watch.stop(SIGTERM), 0) << watch.output();
}

TEST_F(AppEndToEnd, HelpAndVersionNeedNoDisplayAndWithoutOneItSaysWhy) {
    ScopedEnv noDisplay("DISPLAY", "");
    ScopedEnv noWayland("WAYLAND_DISPLAY", "");
    ScopedEnv noPlatform("QT_QPA_PLATFORM", "");
    const ProgramRun version =
        runProgram({testing::binaryPath("veldrin"), "--version"}, dir_.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "veldrin " VELDRIN_VERSION "\n");
    const ProgramRun help = runProgram({testing::binaryPath("veldrin"), "--help"}, dir_.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--device"), std::string::npos);
    const ProgramRun plain = runProgram(
        {testing::binaryPath("veldrin"), "--device", "sim", "--data-dir", dir_.file("data")},
        dir_.path());
    EXPECT_EQ(plain.status, 1);
    EXPECT_NE(plain.err.find("no display"), std::string::npos) << plain.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.file("data")));
}

// ----- under a real X server -------------------------------------------------------------------

bool programAvailable(const std::string& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

// ":N" for the first line of Xvfb's output that is a display number alone; empty before it.
std::string displayNamePrinted(const std::string& output) {
    std::size_t begin = 0;
    while (begin < output.size()) {
        const std::size_t end = output.find('\n', begin);
        if (end == std::string::npos) {
            break; // the number counts only once its line is complete
        }
        const std::string line = output.substr(begin, end - begin);
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) {
            return ":" + line;
        }
        begin = end + 1;
    }
    return std::string();
}

// Distinct pixel values inside a rectangle of the screen image that Xvfb keeps in an XWD file.
int distinctColours(const std::string& xwdPath, int x0, int y0, int width, int height) {
    const std::string bytes = testing::readFile(xwdPath);
    auto card32 = [&bytes](std::size_t field) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + 4 * field;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    };
    if (bytes.size() < 100) {
        return 0;
    }
    const uint32_t headerSize = card32(0);
    const uint32_t screenWidth = card32(4);
    const uint32_t screenHeight = card32(5);
    const uint32_t bitsPerPixel = card32(11);
    const uint32_t bytesPerLine = card32(12);
    const uint32_t colours = card32(19);
    const std::size_t pixels = headerSize + std::size_t{colours} * 12;
    if (bitsPerPixel != 32 || x0 < 0 || y0 < 0 || x0 + width > static_cast<int>(screenWidth) ||
        y0 + height > static_cast<int>(screenHeight) ||
        bytes.size() < pixels + std::size_t{bytesPerLine} * screenHeight) {
        return 0;
    }
    std::set<uint32_t> seen;
    for (int y = y0; y < y0 + height; ++y) {
        for (int x = x0; x < x0 + width; ++x) {
            uint32_t value = 0;
            std::memcpy(&value, bytes.data() + pixels + std::size_t(y) * bytesPerLine + 4 * x, 4);
            seen.insert(value & 0xFFFFFF);
        }
    }
    return static_cast<int>(seen.size());
}

TEST(AppRealDisplay, SimWindowMapsAt900x660ShowsContentsAndClosesFromTheKeyboard) {
    const std::string xvfb = "/usr/bin/Xvfb";
    const std::string xdotool = "/usr/bin/xdotool";
    if (!programAvailable(xvfb) || !programAvailable(xdotool)) {
        GTEST_SKIP()
            << "needs Xvfb and xdotool (packages xvfb and xdotool, see scripts/install-deps)";
    }
    testing::TempDir dir;
    // Xvfb picks a free display itself and prints its number once it takes connections, so the
    // socket of a server killed earlier is never taken for this one.
    BackgroundProgram server({xvfb, "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten",
                              "tcp", "-fbdir", dir.path()},
                             dir.file("xvfb.out"));
    std::string name;
    if (!within(10, [&] { return !(name = displayNamePrinted(server.output())).empty(); })) {
        GTEST_SKIP() << "Xvfb did not start: " << server.output();
    }

    ScopedEnv displayEnv("DISPLAY", name);
    ScopedEnv platformEnv("QT_QPA_PLATFORM", "xcb");
    ScopedEnv leakEnv("LSAN_OPTIONS", "suppressions=" + testing::sourcePath("tests/app/lsan.supp"));
    const std::string data = dir.file("data");
    BackgroundProgram app(
        {testing::binaryPath("veldrin"), "--data-dir", data, "--device", "sim", "--lang", "0"},
        dir.file("app.out"));
    const ProgramRun search = runProgram(
        {xdotool, "search", "--sync", "--onlyvisible", "--name", "^Veldrin$"}, dir.path(), 20000);
    ASSERT_EQ(search.status, 0) << search.err << app.output();
    const std::string window = search.out.substr(0, search.out.find('\n'));

    const ProgramRun geometry =
        runProgram({xdotool, "getwindowgeometry", "--shell", window}, dir.path(), 5000);
    ASSERT_EQ(geometry.status, 0) << geometry.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(
        geometry.out, m, std::regex("X=(-?\\d+)\\s+Y=(-?\\d+)\\s+WIDTH=(\\d+)\\s+HEIGHT=(\\d+)")))
        << geometry.out;
    EXPECT_EQ(m[3], "900");
    EXPECT_EQ(m[4], "660");
    const int x = std::stoi(m[1]);
    const int y = std::stoi(m[2]);

    // Menu, toolbar, controls and status bar: far more than a blank window's colour or two.
    int colours = 0;
    EXPECT_TRUE(within(10,
                       [&] {
                           colours = distinctColours(dir.file("Xvfb_screen0"), x, y, 900, 660);
                           return colours >= 16;
                       }))
        << colours << " colours";

    // Wait for the history to be downloaded, then close with the keyboard.
    DataFileContent content;
    EXPECT_TRUE(within(20, [&] {
        std::string message;
        return std::filesystem::exists(data + "/0.dat") &&
               decodeDataFile(testing::readFile(data + "/0.dat"), content, message) &&
               content.records.size() >= sim::kDemoHistoryRecords;
    })) << app.output();
    const ProgramRun key =
        runProgram({xdotool, "windowfocus", "--sync", window, "key", "--clearmodifiers", "ctrl+q"},
                   dir.path(), 10000);
    EXPECT_EQ(key.status, 0) << key.err;
    EXPECT_EQ(app.stop(0, 15000), 0) << app.output();

    for (const auto& entry : std::filesystem::directory_iterator(data)) {
        const std::string file = entry.path().filename().string();
        EXPECT_TRUE(file == "main.ini" || file == "0.dat" || file == "veldrin.lock")
            << "left behind: " << file;
    }
    EXPECT_NE(testing::readFile(data + "/main.ini").find("MaxID=1"), std::string::npos);
    server.stop(SIGTERM, 5000); // a server ended this way removes its socket and lock
}

} // namespace
} // namespace veldrin
