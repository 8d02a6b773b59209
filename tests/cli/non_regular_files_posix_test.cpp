// Every reader of a file that may have been replaced by something else: a FIFO without a writer
// (would block for ever), a link to /dev/zero (read without end), a sparse file of 2 GiB (read
// whole). Each is refused from its kind or its size before anything is read; a hang or an
// exhausted memory fails by the time-out.

#include "lang/language_table.h"
#include "store/data_file.h"
#include "store/registry.h"
#include "support/test_support.h"
#if VELDRIN_HAVE_MQTT
#include "publish/published_position.h"
#endif

#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

TEST(SpecialFiles, EveryReaderRefusesThemWithoutReading) {
    using Make = int (*)(const char*);
    const Make specials[] = {
        [](const char* p) { return ::mkfifo(p, 0644); },
        [](const char* p) { return ::symlink("/dev/zero", p); },
        [](const char* p) { return ::close(::creat(p, 0644)) + ::truncate(p, off_t{2} << 30); }};
    const struct {
        const char* file;
        std::function<bool(const std::string& path)> refuses;
    } readers[] = {
        {"0.dat",
         [](const std::string& path) {
             DataFileContent content;
             OpenFailure failure = OpenFailure::none;
             std::string error;
             return !readDataFile(path, content, failure, error); // list, export, stats, report
         }},
        {"main.ini",
         [](const std::string& path) {
             return registeredCount(IniSnapshot::load(path)).damaged();
         }},
        {"StdEnglish.txt",
         [](const std::string& path) {
             LanguageStrings strings;
             std::string error;
             return !readLanguageFile(path, strings, error);
         }},
#if VELDRIN_HAVE_MQTT
        {"0.dat.published",
         [](const std::string& path) { return publish::loadPosition(path).acknowledged == 0; }},
#endif
    };
    for (const auto& reader : readers) {
        for (std::size_t kind = 0; kind < std::size(specials); ++kind) {
            SCOPED_TRACE(std::string(reader.file) + ", special file " + std::to_string(kind));
            testing::TempDir folder;
            ASSERT_EQ(specials[kind](folder.file(reader.file).c_str()), 0);
            EXPECT_TRUE(reader.refuses(folder.file(reader.file)));
        }
    }
}

} // namespace
} // namespace veldrin
