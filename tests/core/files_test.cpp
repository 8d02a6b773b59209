#include "core/atomic_file.h"
#include "core/paths.h"
#include "support/test_support.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veldrin {
namespace {

TEST(AtomicFile, ReplacesContentAndLeavesNoTemporaryFile) {
    testing::TempDir dir;
    const std::string path = dir.file("main.ini");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "first", error)) << error;
    ASSERT_TRUE(writeFileAtomically(path, "second", error)) << error;
    EXPECT_EQ(testing::readFile(path), "second");
    std::string back;
    ASSERT_TRUE(readWholeFile(path, back, error));
    EXPECT_EQ(back, "second");
    // Only the target remains in the folder.
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(AtomicFile, FailureKeepsTheOldFile) {
    testing::TempDir dir;
    const std::string path = dir.file("3.dat");
    testing::writeFile(path, "history");
    std::string error;
    // A folder that does not exist cannot take the temporary file.
    EXPECT_FALSE(writeFileAtomically(dir.file("missing/3.dat"), "x", error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    // A directory in the way of the rename fails the commit and keeps it.
    ASSERT_EQ(::mkdir(dir.file("4.dat").c_str(), 0755), 0);
    EXPECT_FALSE(writeFileAtomically(dir.file("4.dat"), "x", error));
    EXPECT_EQ(testing::readFile(path), "history");
    std::string back;
    EXPECT_FALSE(readWholeFile(dir.file("none.dat"), back, error));
}

TEST(AtomicFile, NextWriteRemovesOnlyTheTemporariesOfKilledWriters) {
    testing::TempDir dir;
    const std::string path = dir.file("0.dat");
    // Left by writers killed part-way, and a few names that only look alike.
    const std::vector<std::string> abandoned = {"0.dat.tmp-1", "0.dat.tmp-4194303"};
    const std::vector<std::string> unrelated = {"0.dat.tmp-", "0.dat.tmp-12x", "10.dat.tmp-7",
                                                "0.dat.damaged-20261207-101500", "main.ini"};
    for (const auto& name : abandoned) {
        testing::writeFile(dir.file(name), "part of a file");
    }
    for (const auto& name : unrelated) {
        testing::writeFile(dir.file(name), "keep");
    }
    // A writer still at work holds the lock on its temporary file.
    const std::string busy = dir.file("0.dat.tmp-99");
    testing::writeFile(busy, "being written");
    const int busyFd = ::open(busy.c_str(), O_RDONLY);
    ASSERT_GE(busyFd, 0);
    ASSERT_EQ(::flock(busyFd, LOCK_EX), 0);

    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "history", error)) << error;
    for (const auto& name : abandoned) {
        EXPECT_FALSE(fileExists(dir.file(name))) << name;
    }
    for (const auto& name : unrelated) {
        EXPECT_EQ(testing::readFile(dir.file(name)), "keep") << name;
    }
    EXPECT_EQ(testing::readFile(busy), "being written");
    ::close(busyFd);
    EXPECT_EQ(removeAbandonedTemporaries(path), 1);
    EXPECT_EQ(testing::readFile(path), "history");
}

TEST(Paths, DataDirectoryOrderOfChoice) {
    testing::TempDir dir;
    std::string out;
    std::string error;
    ASSERT_TRUE(resolveDataDirectory(dir.file("opt/data"), out, error)) << error;
    EXPECT_EQ(out, dir.file("opt/data"));
    EXPECT_TRUE(fileExists(out));

    ::setenv("VELDRIN_DATA_DIR", dir.file("env").c_str(), 1);
    ASSERT_TRUE(resolveDataDirectory("", out, error));
    EXPECT_EQ(out, dir.file("env"));
    ::unsetenv("VELDRIN_DATA_DIR");

    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedXdg = oldXdg != nullptr ? oldXdg : "";
    ::setenv("XDG_DATA_HOME", dir.file("xdg").c_str(), 1);
    ASSERT_TRUE(resolveDataDirectory("", out, error));
    EXPECT_EQ(out, dir.file("xdg/veldrin"));
    if (oldXdg != nullptr) {
        ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
    // A reader that must change nothing does not create the folder.
    ASSERT_TRUE(resolveDataDirectory(dir.file("not-made"), out, error, false));
    EXPECT_EQ(out, dir.file("not-made"));
    EXPECT_FALSE(fileExists(out));
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
}

// What is wrong with a data folder is said, for the commands that write and those that only read.
TEST(Paths, UnusableDataFoldersAreNamedWithTheirFault) {
    testing::TempDir dir;
    testing::writeFile(dir.file("file"), "");
    ASSERT_EQ(::mkdir(dir.file("locked").c_str(), 0500), 0);
    struct Case {
        std::string folder;
        bool writer;
        const char* fault; // nullptr: usable
    };
    std::vector<Case> cases = {
        {dir.file("file"), true, "is not a folder"},
        {dir.file("file"), false, "is not a folder"},
        {dir.file("file/sub"), true, "cannot be used: Not a directory"},
        {dir.file("file/sub"), false, "cannot be used: Not a directory"},
        {dir.file("new/sub"), true, nullptr},
        {dir.file("missing"), false, nullptr},
    };
    if (::geteuid() != 0) { // permissions do not bind the superuser
        cases.push_back({dir.file("locked"), true, "cannot be written"});
        cases.push_back({dir.file("locked/sub"), true, "cannot be created"});
    }
    for (const Case& c : cases) {
        std::string out;
        std::string error;
        const bool ok = resolveDataDirectory(c.folder, out, error, c.writer);
        EXPECT_EQ(ok, c.fault == nullptr) << c.folder << " " << c.writer << ": " << error;
        if (c.fault != nullptr) {
            EXPECT_NE(error.find(c.folder + " " + c.fault), std::string::npos) << error;
        }
    }
}

} // namespace
} // namespace veldrin
