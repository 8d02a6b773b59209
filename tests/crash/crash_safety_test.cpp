// A process that saves is killed at random moments, hundreds of times: after every kill the file
// loads and holds either the generation before the interrupted save or the one it was writing,
// and the only other file ever found is the killed writer's temporary, which the next save of the
// same file removes.

#include "core/atomic_file.h"
#include "core/paths.h"
#include "generations.h"
#include "store/data_file.h"
#include "store/ini_file.h"
#include "support/test_support.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace veldrin {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kKills = 200;

// The save loop in a child process, its output read through a pipe.
class SaveLoop {
public:
    SaveLoop(const std::string& kind, const std::string& folder, int32_t first, long saves = -1) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        const std::string program = testing::binaryPath("crash_save_loop");
        std::vector<std::string> args = {program, kind, folder, std::to_string(first)};
        if (saves >= 0) {
            args.push_back(std::to_string(saves));
        }
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~SaveLoop() {
        if (pid_ > 0) {
            kill();
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    pid_t pid() const { return pid_; }

    // The next line, or "" at the end of the output or after the time-out.
    std::string line(int timeoutMs = 20000) {
        for (;;) {
            if (const auto eol = pending_.find('\n'); eol != std::string::npos) {
                std::string l = pending_.substr(0, eol);
                pending_.erase(0, eol + 1);
                return l;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0) {
                return "";
            }
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                return "";
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    // Kills the loop and returns the last generation it reported as saved (0: none).
    int32_t kill() {
        ::kill(pid_, SIGKILL);
        return finish();
    }
    // Waits for the end; the last generation reported.
    int32_t finish() {
        int32_t last = 0;
        for (std::string l = line(); !l.empty(); l = line()) {
            if (l != "ready") {
                last = std::stoi(l);
            }
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
        return last;
    }
    int exitStatus() const { return exitStatus_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    int exitStatus_ = -1;
    std::string pending_;
};

// What the save loop writes, and how a kill left the folder.
struct Subject {
    const char* kind;
    const char* file;
    // The generation the file holds when it is exactly one the loop writes; -1 otherwise.
    std::function<int32_t(const std::string& path)> generationOnDisk;
    std::function<void(const std::string& folder)> prepare;
};

// Named by its kind in test output.
void PrintTo(const Subject& subject, std::ostream* out) {
    *out << subject.kind;
}

// Byte for byte one generation of the data file. Equal bytes decode equally, and generation 0 is
// checked once to load, so this also says that the file loads. The file is compared where it lies
// (mapped), without reading it into memory.
int32_t dataGeneration(const std::string& path) {
    static const std::string generationZero = [] {
        std::string bytes = encodeDataFile(crash::settingsOf(0), crash::baseRecords(), 0);
        DataFileContent content;
        std::string message;
        EXPECT_TRUE(decodeDataFile(bytes, content, message)) << message;
        return bytes;
    }();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 ||
        static_cast<std::size_t>(st.st_size) != generationZero.size()) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const std::size_t size = generationZero.size();
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED) {
        return -1;
    }
    const auto* bytes = static_cast<const char*>(map);
    int32_t generation = 0;
    std::memcpy(&generation, bytes + size - 4, 4); // little-endian, as on disk
    const std::string expected = crash::dataFileOf(generationZero, generation);
    const bool same = std::memcmp(bytes, expected.data(), size) == 0;
    ::munmap(map, size);
    return same ? generation : -1;
}

std::string iniText(int32_t generation) {
    std::string text = "[Drive ID]\nMaxID=40\nID=" + std::to_string(generation) + "\n";
    for (int i = 0; i < 40; ++i) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "ID%07d=%d,%d,%d\n", i, 1000 * (i + 1), 1000, i + 1);
        text += entry;
    }
    return text + "[Language Current]\nLang=1\n";
}

int32_t iniGeneration(const std::string& path) {
    const std::string text = testing::readFile(path);
    const int32_t generation = IniSnapshot::parse(text).readInt("Drive ID", "ID", -1);
    return text == iniText(generation) ? generation : -1;
}

// Files in the folder other than the subject's own file.
std::vector<std::string> strangers(const std::string& folder, const std::string& own) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename() != own) {
            names.push_back(entry.path().filename());
        }
    }
    return names;
}

class CrashSafety : public ::testing::TestWithParam<Subject> {};

TEST_P(CrashSafety, KilledSaveLeavesTheOldOrTheNewFile) {
    const Subject& subject = GetParam();
    testing::TempDir dir;
    const std::string path = dir.file(subject.file);
    subject.prepare(dir.path());

    // Two whole saves tell how long one takes here.
    SaveLoop calibration(subject.kind, dir.path(), 1, 2);
    ASSERT_EQ(calibration.line(), "ready");
    const auto saving = Clock::now();
    int32_t generation = calibration.finish();
    ASSERT_EQ(calibration.exitStatus(), 0);
    ASSERT_EQ(generation, 2);
    const auto saveTime =
        std::max<Clock::duration>((Clock::now() - saving) / 2, std::chrono::microseconds(200));

    std::mt19937 random(20261207);
    // The loop saves without a break, so any delay lands in some save; one save's length covers
    // every phase of it (creating, writing, syncing, renaming).
    std::uniform_int_distribution<int64_t> delay(0, saveTime.count());
    int midWrite = 0;
    std::vector<pid_t> killedPids;
    for (int kill = 0; kill < kKills; ++kill) {
        SaveLoop loop(subject.kind, dir.path(), generation + 1);
        ASSERT_GT(loop.pid(), 0);
        ASSERT_EQ(loop.line(), "ready");
        std::this_thread::sleep_for(Clock::duration(delay(random)));
        const pid_t killed = loop.pid();
        const int32_t reported = std::max(loop.kill(), generation);

        const int32_t onDisk = subject.generationOnDisk(path);
        ASSERT_TRUE(onDisk == reported || onDisk == reported + 1)
            << "kill " << kill << ": the file holds generation " << onDisk << " after " << reported
            << " was saved";
        generation = onDisk;
        // Besides the file, at most one killed writer's temporary: a writer removes those of
        // the writers before it before it makes its own.
        killedPids.push_back(killed);
        const auto others = strangers(dir.path(), subject.file);
        ASSERT_LE(others.size(), 1u) << "kill " << kill;
        if (!others.empty()) {
            const auto isTemporaryOf = [&](pid_t pid) {
                return others[0] == std::string(subject.file) + ".tmp-" + std::to_string(pid);
            };
            ASSERT_TRUE(std::any_of(killedPids.begin(), killedPids.end(), isTemporaryOf))
                << others[0];
            midWrite += isTemporaryOf(killed) ? 1 : 0;
        }
    }
    // A run to its end cleans up after the last kill.
    SaveLoop last(subject.kind, dir.path(), generation + 1, 1);
    EXPECT_EQ(last.finish(), generation + 1);
    EXPECT_EQ(subject.generationOnDisk(path), generation + 1);
    EXPECT_TRUE(strangers(dir.path(), subject.file).empty());
    // Not a test of luck: many kills must have hit a save in the middle.
    EXPECT_GE(midWrite, kKills / 10);
    RecordProperty("kills", kKills);
    RecordProperty("kills_during_a_write", midWrite);
    std::printf("%s: %d kills, %d during a write, one save %.1f ms\n", subject.kind, kKills,
                midWrite, std::chrono::duration<double, std::milli>(saveTime).count());
}

INSTANTIATE_TEST_SUITE_P(Files, CrashSafety,
                         ::testing::Values(Subject{"data", "0.dat", dataGeneration,
                                                   [](const std::string&) {}},
                                           Subject{"ini", "main.ini", iniGeneration,
                                                   [](const std::string& folder) {
                                                       testing::writeFile(folder + "/main.ini",
                                                                          iniText(0));
                                                   }}),
                         [](const auto& info) { return std::string(info.param.kind); });

} // namespace
} // namespace veldrin
