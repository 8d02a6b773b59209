#include "core/export_file.h"
#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// What an export does to each kind of target: a link's target is written and the link stays, a
// file keeps its permissions, a new file gets the umask's, a folder is refused untouched.
TEST(ExportFile, EachKindOfTargetIsWrittenAsItStands) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    writeFile(dir.file("private.csv"), "old");
    ::chmod(dir.file("private.csv").c_str(), 0600);
    writeFile(dir.file("target.csv"), "old");
    ASSERT_EQ(::symlink("target.csv", dir.file("link.csv").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("made-by-link.csv").c_str(), dir.file("dangling.csv").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);

    struct Case {
        std::string path;    // written
        std::string written; // where the content must arrive
        mode_t mode;
    };
    const Case cases[] = {
        {dir.file("new.csv"), dir.file("new.csv"), 0644},
        {dir.file("private.csv"), dir.file("private.csv"), 0600},
        {dir.file("link.csv"), dir.file("target.csv"), 0644},
        {dir.file("dangling.csv"), dir.file("made-by-link.csv"), 0644},
    };
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(writeExportFile(c.path, "a,b\n", error)) << c.path << ": " << error;
        EXPECT_EQ(readFile(c.written), "a,b\n") << c.path;
        EXPECT_EQ(modeOf(c.written) & 07777, c.mode) << c.path;
    }
    EXPECT_TRUE(isLink(dir.file("link.csv")));
    EXPECT_TRUE(isLink(dir.file("dangling.csv")));

    std::string error;
    EXPECT_FALSE(writeExportFile(dir.file("folder"), "x", error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_TRUE(S_ISDIR(modeOf(dir.file("folder"))));
    ::umask(oldMask);
}

TEST(ExportFile, AFifoIsWrittenInPlace) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    ASSERT_TRUE(writeExportFile(fifo, "through the pipe\n", error)) << error;
    char buffer[64] = {};
    EXPECT_EQ(::read(reader, buffer, sizeof buffer), 17);
    EXPECT_STREQ(buffer, "through the pipe\n");
    ::close(reader);
    EXPECT_TRUE(S_ISFIFO(modeOf(fifo)));
}

TEST(ExportFile, TheDataFolderFilesAreRecognisedByAnySpelling) {
    TempDir dir;
    const std::string data = dir.file("data");
    const std::string other = dir.file("other");
    ASSERT_EQ(::mkdir(data.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
    for (const char* name : {"main.ini", "0.dat", "veldrin.lock"}) {
        writeFile(data + "/" + name, "ours");
    }
    ASSERT_EQ(::symlink((data + "/0.dat").c_str(), (other + "/link.csv").c_str()), 0);
    ASSERT_EQ(::symlink((data + "/7.dat").c_str(), (other + "/dangling.csv").c_str()), 0);
    ASSERT_EQ(::link((data + "/0.dat").c_str(), (other + "/hard.csv").c_str()), 0);
    writeFile(other + "/main.ini", "not ours");

    const std::pair<std::string, bool> cases[] = {
        {data + "/main.ini", true},        {data + "/0.dat", true},
        {data + "/12.dat", true}, // not there yet, still a recorder's name
        {data + "/veldrin.lock", true},    {data + "/3.dat.damaged-20261207", true},
        {data + "/main.ini.tmp-42", true}, {other + "/../data/0.dat", true},
        {data + "//0.dat", true},          {other + "/link.csv", true},
        {other + "/dangling.csv", true},   {other + "/hard.csv", true},
        {data + "/export.csv", false},     {data + "/x0.dat", false},
        {data + "/main.ini2", false},      {other + "/main.ini", false},
        {other + "/0.dat", false},
    };
    for (const auto& [path, ours] : cases) {
        EXPECT_EQ(isDataFolderFile(data, path), ours) << path;
    }
    EXPECT_FALSE(isDataFolderFile(dir.file("no-such-folder"), dir.file("no-such-folder/0.dat")));
}

} // namespace
} // namespace veldrin
