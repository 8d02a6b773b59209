#include "store/ini_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace veldrin {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

TEST(IniRead, SectionsAndKeysIgnoreCaseAndBlanks) {
    const auto ini = IniSnapshot::parse("; comment\n[Drive ID]\n  maxid =  3  \n"
                                        "[  website ]\ninternet = \"http://x.test/a b\"\n");
    EXPECT_EQ(ini.readInt("DRIVE id", "MaxID", 0), 3);
    EXPECT_EQ(ini.readString("Website", "INTERNET", ""), "http://x.test/a b");
    EXPECT_EQ(ini.readString("Website", "other", "fallback"), "fallback");
    EXPECT_EQ(ini.readInt("Missing", "MaxID", 7), 7);
}

TEST(IniRead, ProfileIntegerRule) {
    const auto ini = IniSnapshot::parse("[s]\na=12abc\nb=-3\nc=abc\nd=\ne= 7\nf=4294967297\n"
                                        "g=-\nh=+5\n");
    EXPECT_EQ(ini.readInt("s", "a", 99), 12);
    EXPECT_EQ(ini.readInt("s", "b", 99), -3);
    EXPECT_EQ(ini.readInt("s", "c", 99), 0);  // present without digits: 0, not the default
    EXPECT_EQ(ini.readInt("s", "d", 99), 99); // an empty value reads like a missing one
    EXPECT_EQ(ini.readInt("s", "e", 99), 7);
    EXPECT_EQ(ini.readInt("s", "f", 99), 1); // 32-bit accumulation wraps
    EXPECT_EQ(ini.readInt("s", "g", 99), 0);
    EXPECT_EQ(ini.readInt("s", "h", 99), 0); // only a minus sign is taken
    EXPECT_EQ(ini.readInt("s", "absent", 99), 99);
}

TEST(IniRead, MalformedLinesAreSkippedAndFirstDuplicateWins) {
    const auto ini = IniSnapshot::parse("orphan=1\n[s]\ngarbage line\n=novalue\n[broken\n"
                                        "k=first\nk=second\n[S]\nk=third\nonlyLater=x\n");
    EXPECT_EQ(ini.readString("s", "k", ""), "first");
    // Writes go to the first section of a name, so reads look nowhere else.
    EXPECT_EQ(ini.readString("s", "onlyLater", "none"), "none");
    EXPECT_EQ(ini.readString("s", "orphan", "none"), "none"); // keys before any section
    EXPECT_EQ(ini.readString("broken", "k", "none"), "none");
}

TEST(IniRead, LengthLimitCountsCharactersNotBytes) {
    const auto ini = IniSnapshot::parse("[s]\nk=\xC3\xA4\xC3\xB6\xC3\xBC"
                                        "abc\n");
    EXPECT_EQ(ini.readString("s", "k", "", 2), "\xC3\xA4\xC3\xB6");
    EXPECT_EQ(ini.readString("s", "k", "", 255), "\xC3\xA4\xC3\xB6\xC3\xBC"
                                                 "abc");
}

TEST(IniFile, MissingFileReadsAsDefaultsAndFirstWriteCreatesIt) {
    TempDir dir;
    IniFile ini(dir.file("main.ini"));
    EXPECT_EQ(ini.readInt("Drive ID", "MaxID", 0), 0);
    ASSERT_TRUE(ini.writeInt("Drive ID", "MaxID", 1)) << ini.lastError();
    EXPECT_EQ(readFile(ini.path()), "[Drive ID]\nMaxID=1\n");
    EXPECT_EQ(ini.readInt("drive id", "maxid", 0), 1);
}

TEST(IniFile, WritesKeepEveryOtherLineAsItWas) {
    TempDir dir;
    const std::string path = dir.file("main.ini");
    writeFile(path, "; kept comment\r\n[drive id]\r\nmaxid=2\r\nnot an entry\r\nUnknown=x\r\n\r\n"
                    "[Website]\r\ninternet=http://a.test\r\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.writeInt("Drive ID", "MaxID", 3));
    ASSERT_TRUE(ini.writeString("Drive ID", "ID0000002", "1,2,3"));
    ASSERT_TRUE(ini.writeInt("Language Current", "Lang", 1));
    EXPECT_EQ(readFile(path), "; kept comment\r\n[drive id]\r\nmaxid=3\r\nnot an entry\r\n"
                              "Unknown=x\r\nID0000002=1,2,3\r\n\r\n[Website]\r\n"
                              "internet=http://a.test\r\n\r\n[Language Current]\r\nLang=1\r\n");
}

TEST(IniFile, RefusedWritesLeaveTheFileAndSayWhy) {
    TempDir dir;
    const std::string path = dir.file("main.ini");
    writeFile(path, "[s]\nk=1\n");
    IniFile ini(path);
    EXPECT_FALSE(ini.writeString("s", "k", "two\nlines"));
    EXPECT_FALSE(ini.writeString("s", "a=b", "1"));
    EXPECT_FALSE(ini.writeString("s]", "k", "1"));
    EXPECT_FALSE(ini.lastError().empty());
    EXPECT_EQ(readFile(path), "[s]\nk=1\n");

    IniFile elsewhere(dir.file("no-such-folder/main.ini"));
    EXPECT_FALSE(elsewhere.writeInt("s", "k", 1));
    EXPECT_NE(elsewhere.lastError().find("no-such-folder"), std::string::npos);
}

// A settings file grown beyond any registry (a disk image copied over it, say) is not read into
// memory and not replaced.
TEST(IniFile, OversizedFileReadsAsEmptyAndIsLeftAsItIs) {
    TempDir dir;
    IniFile ini(dir.file("main.ini"));
    writeFile(ini.path(), "[Drive ID]\nMaxID=1\n");
    std::filesystem::resize_file(ini.path(), kMaxIniFileBytes + 1); // sparse: no disk used
    EXPECT_EQ(ini.readInt("Drive ID", "MaxID", 0), 0);
    EXPECT_FALSE(ini.writeInt("Drive ID", "MaxID", 2));
    EXPECT_NE(ini.lastError().find("larger than 4 MiB"), std::string::npos) << ini.lastError();
    EXPECT_EQ(std::filesystem::file_size(ini.path()), kMaxIniFileBytes + 1);
}

} // namespace
} // namespace veldrin
