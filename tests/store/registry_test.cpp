#include "device/logger_header.h"
#include "store/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

using testing::TempDir;

// 0xC350C350: high = low = 50000, product 2,500,000,000 (top bit set).
constexpr int64_t kTopBitSeconds = 0xC350C350LL;

RecorderIdentity identity(uint16_t high, uint16_t low) {
    return RecorderIdentity{static_cast<uint32_t>(uint32_t{high} * low), high, low};
}

struct RegistryTest : ::testing::Test {
    TempDir dir;
    IniFile ini{dir.file("main.ini")};
    std::string entry(int n) { return ini.readString(kRegistrySection, registryKey(n), ""); }
};

TEST_F(RegistryTest, FirstRecorderEverIsNumberZeroWrittenSigned) {
    const RegistryOutcome out = registerNewRecorder(ini, kTopBitSeconds);
    EXPECT_EQ(out.number, 0);
    EXPECT_TRUE(out.isNew);
    EXPECT_TRUE(out.error.empty());
    EXPECT_EQ(out.identity, identity(50000, 50000));
    EXPECT_EQ(readMaxId(ini), 1);
    EXPECT_EQ(ini.readInt(kRegistrySection, "ID", -1), 0);
    EXPECT_EQ(registryKey(3), "ID0000003");
    EXPECT_EQ(entry(0), "-1794967296,50000,50000");
}

TEST_F(RegistryTest, SecondConnectionIsRecognisedAndRewrittenUnsigned) {
    const RecorderIdentity id = registerNewRecorder(ini, kTopBitSeconds).identity;
    const RegistryOutcome again = recognizeRecorder(ini, id);
    EXPECT_EQ(again.number, 0);
    EXPECT_FALSE(again.isNew);
    EXPECT_EQ(readMaxId(ini), 1);
    EXPECT_EQ(entry(0), "2500000000,50000,50000");
    RecorderIdentity stored;
    ASSERT_TRUE(registeredIdentity(ini, 0, stored));
    EXPECT_EQ(stored, id);
}

TEST_F(RegistryTest, UnknownIdentityGetsTheNextNumber) {
    registerNewRecorder(ini, kTopBitSeconds);
    const RegistryOutcome other = recognizeRecorder(ini, identity(7, 9));
    EXPECT_EQ(other.number, 1);
    EXPECT_TRUE(other.isNew);
    EXPECT_EQ(readMaxId(ini), 2);
    EXPECT_EQ(ini.readInt(kRegistrySection, "ID", -1), 1);
    EXPECT_EQ(entry(1), "63,7,9");
}

TEST_F(RegistryTest, EmptiedOrMissingEntryIsTakenOver) {
    for (uint16_t i = 0; i < 5; ++i) {
        recognizeRecorder(ini, identity(100, static_cast<uint16_t>(i + 1)));
    }
    ini.writeString(kRegistrySection, registryKey(2), "");
    const RegistryOutcome out = recognizeRecorder(ini, identity(5, 5));
    EXPECT_EQ(out.number, 2);
    EXPECT_FALSE(out.isNew);
    EXPECT_EQ(readMaxId(ini), 5); // MaxID only grows
    EXPECT_EQ(entry(2), "25,5,5");

    // MaxID beyond the entries is damage: a known recorder is still itself, nobody is added.
    ini.writeInt(kRegistrySection, "MaxID", 7);
    EXPECT_EQ(recognizeRecorder(ini, identity(6, 6)).number, -1);
    EXPECT_EQ(recognizeRecorder(ini, identity(5, 5)).number, 2);
    EXPECT_EQ(ini.readInt(kRegistrySection, "MaxID", 0), 7);
}

TEST_F(RegistryTest, UnparsableEntryMatchesNothingAndTheSearchGoesOn) {
    ini.writeInt(kRegistrySection, "MaxID", 2);
    ini.writeString(kRegistrySection, registryKey(0), "garbage");
    ini.writeString(kRegistrySection, registryKey(1), "6, 2, 3");
    EXPECT_EQ(recognizeRecorder(ini, identity(2, 3)).number, 1);
}

TEST_F(RegistryTest, ProductZeroHeaderIsUnknownAndRegisteredAgain) {
    const RecorderIdentity first = registerNewRecorder(ini, 1'765'000'000).identity;
    HeaderImage header{};
    storeIdentity(header, first);
    header[8] = header[9] = header[10] = header[11] = 0;
    EXPECT_FALSE(identityFromHeader(header).isValid());
    EXPECT_EQ(registerNewRecorder(ini, 1'765'000'100).number, 1);
}

// Within one second: the next free second whose identity is valid (0x20000 has low half 0), and
// never a second this program has used, even when its registry write failed.
TEST_F(RegistryTest, SameSecondGivesEachRecorderItsOwnIdentity) {
    IssuedIdentities issued;
    IniFile unwritable(dir.file("missing/main.ini"));
    const RegistryOutcome unwritten = registerNewRecorder(unwritable, 0x1FFFF, issued);
    EXPECT_FALSE(unwritten.error.empty());
    EXPECT_EQ(unwritten.number, -1); // no data is kept under a number main.ini does not hold
    EXPECT_EQ(registerNewRecorder(ini, 0x1FFFF, issued).identity, identity(2, 1));
    EXPECT_EQ(registerNewRecorder(ini, 0x20001).identity, identity(2, 2)); // another run
    EXPECT_EQ(readMaxId(ini), 2);
}

TEST_F(RegistryTest, NegativeMaxIdCountsAsNone) {
    ini.writeInt(kRegistrySection, "MaxID", -3);
    EXPECT_EQ(recognizeRecorder(ini, identity(1, 1)).number, 0);
    EXPECT_EQ(readMaxId(ini), 1);
}

// MaxID is believed only when it agrees with the entries present; otherwise the registry is
// damaged, and what may be read is every entry present.
TEST(RegistryCountTest, MaxIdDisagreeingWithTheEntriesIsDamage) {
    const struct {
        const char* ini;
        int32_t count;
        const char* damage; // part of the message; nullptr: none
    } cases[] = {
        {"MaxID=3\nID0000000=1,1,1\nID0000001=\nID0000002=4,2,2", 3, nullptr},
        {"MaxID=4\nID0000000=1,1,1\nid0000003=1,1,1", 4, nullptr}, // a hole, any letter case
        {"MaxID=-3", 0, nullptr},
        {"MaxID=1\nID0000000=1,1,1\nID0000001=", 1, nullptr}, // an emptied entry holds nobody
        {"MaxID=12000000\nID0000000=1,1,1\nID0000001=4,2,2", 2, "end at ID0000001"},
        {"MaxID=2\nID3=1\nID00000001=1\nIDX=1\nID=0", 0, "holds no recorder entry"},
        {"MaxID=2147483647\nID0010000=1,1,1", kMaxRegisteredRecorders, "no more than 10000"},
        {"MaxID=12000000", 0, "going on with none"},
        // MaxID below the entries: a damaged digit, a lost line, a sign, a wrapped number.
        {"MaxID=2\nID0000000=1,1,1\nID0000001=2,2,2\nID0000002=4,2,2", 3, "MaxID says 2"},
        {"MaxID=1\nID0000005=1,1,1", 6, "holds the entry ID0000005"},
        {"ID0000000=1,1,1\nID0000001=2,2,2", 2, "it has no MaxID"},
        {"MaxID=\nID0000000=1,1,1", 1, "it has no MaxID"},
        {"MaxID=0\nID0000000=1,1,1", 1, "MaxID says 0"},
        {"MaxID=-3\nID0000000=1,1,1", 1, "MaxID says -3"},
        {"MaxID=4294967297\nID0000000=1,1,1\nID0000001=2,2,2", 2, "MaxID says 1"},
    };
    for (const auto& c : cases) {
        const RegistryCount got =
            registeredCount(IniSnapshot::parse(std::string("[Drive ID]\n") + c.ini + "\n"));
        EXPECT_EQ(got.count, c.count) << c.ini;
        if (c.damage == nullptr) {
            EXPECT_EQ(got.damage, "") << c.ini;
        } else {
            EXPECT_NE(got.damage.find(c.damage), std::string::npos) << c.ini << ": " << got.damage;
        }
    }
}

} // namespace
} // namespace veldrin
