// Every reader of a file that a damaged folder or a user may have replaced by something else: a
// FIFO without a writer (would block for ever), a link to /dev/zero (would be read without end)
// and a sparse file of 2 GiB (would be read whole). Each is refused at once, from its kind or its
// size, before anything is read; a hang or an exhausted memory fails the test by its time-out.

#include "e2e/programs.h"

#include "core/atomic_file.h"
#include "core/clock.h"
#include "lang/language_table.h"
#include "store/data_file.h"
#include "store/registry.h"
#include "support/test_support.h"
#if VELDRIN_HAVE_MQTT
#include "publish/published_position.h"
#endif

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

void makeFifo(const std::string& path) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
}
void makeZeroLink(const std::string& path) {
    ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
}
void makeSparse(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, off_t{2} << 30), 0);
    ::close(fd);
}

// True when the reader refused the file at `path` inside `folder`.
using Reader = std::function<bool(const std::string& folder, const std::string& path)>;

bool cliFails(const std::string& folder, const std::vector<std::string>& args) {
    std::vector<std::string> all = {testing::binaryPath("veldrin-cli"), "--data-dir", folder,
                                    "--lang", "0"};
    all.insert(all.end(), args.begin(), args.end());
    const testing::ProgramRun run = testing::runProgram(all, folder, 20000);
    return run.status == 2;
}

TEST(SpecialFiles, EveryReaderRefusesThemWithoutReading) {
    const std::vector<std::pair<const char*, void (*)(const std::string&)>> specials = {
        {"FIFO", makeFifo}, {"link to /dev/zero", makeZeroLink}, {"sparse 2 GiB", makeSparse}};
    const std::string registry = "[Drive ID]\nMaxID=1\nID0000000=4,2,2\n";
    const struct {
        const char* name;
        const char* file;
        Reader refuses;
    } readers[] = {
        {"data file", "0.dat",
         [](const std::string&, const std::string& path) {
             DataFileContent content;
             OpenFailure failure = OpenFailure::none;
             std::string error;
             return !readDataFile(path, content, failure, error) && !error.empty();
         }},
        {"window's data file", "0.dat",
         [](const std::string&, const std::string& path) {
             ManualClock clock;
             CVeldrinDoc doc(clock);
             return doc.open(path) == 0;
         }},
        {"list, export, stats", "0.dat",
         [&](const std::string& folder, const std::string&) {
             testing::writeFile(folder + "/main.ini", registry);
             return cliFails(folder, {"list"}) && cliFails(folder, {"export", "--recorder", "0"}) &&
                    cliFails(folder, {"stats", "--recorder", "0"});
         }},
        {"main.ini", "main.ini",
         [](const std::string& folder, const std::string& path) {
             return registeredCount(IniSnapshot::load(path)).damaged() &&
                    cliFails(folder, {"list"});
         }},
        {"any small file", "password",
         [](const std::string&, const std::string& path) {
             std::string content;
             std::string error;
             return !readWholeFile(path, content, error, 4096) && !error.empty();
         }},
        {"language file", "StdEnglish.txt",
         [](const std::string&, const std::string& path) {
             LanguageStrings strings;
             std::string error;
             return !readLanguageFile(path, strings, error) && !error.empty();
         }},
#if VELDRIN_HAVE_MQTT
        {"published position", "0.dat.published",
         [](const std::string&, const std::string& path) {
             return publish::loadPosition(path).acknowledged == 0;
         }},
#endif
    };
    for (const auto& reader : readers) {
        for (const auto& [kind, make] : specials) {
            SCOPED_TRACE(std::string(reader.name) + ", " + kind);
            testing::TempDir folder;
            const std::string path = folder.file(reader.file);
            make(path);
            EXPECT_TRUE(reader.refuses(folder.path(), path));
        }
    }
}

} // namespace
} // namespace veldrin
