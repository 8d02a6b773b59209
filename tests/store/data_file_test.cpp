#include "core/sha256.h"
#include "store/allocation_probe.h"
#include "store/data_file.h"
#include "support/test_support.h"

#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace veldrin {
namespace {

using testing::readFile;
using testing::ScopedTimeZone;
using testing::TempDir;
using testing::writeFile;

RecorderSettings sampleSettings() {
    RecorderSettings s;
    s.tempUnit = 1;
    s.dateOrder = 1;
    s.interval = 10;
    s.lastBlock = 3;
    s.wrapMarker = 255;
    s.versionMajor = 2;
    s.versionMinor = 7;
    s.recorderNumber = 4;
    s.circularMode = 1;
    s.slotsInUse = 2;
    s.description = u"ab";
    for (int k = 0; k < kSlotCount; ++k) {
        TimeSlot& slot = s.slots[static_cast<std::size_t>(k)];
        slot.start = DateTime::fromFields(2026, 12, 1 + k, 8, 0);
        slot.end = DateTime::fromFields(2026, 12, 1 + k, 17, 30);
        slot.inUse = k % 2;
        slot.firstBlock = k + 1;
        slot.lastBlock = k + 2;
    }
    return s;
}

HistoryRecord sampleRecord(int i) {
    HistoryRecord r;
    r.temperature = 21.5 + i * 0.1;
    r.humidity = static_cast<int8_t>(40 + i % 50);
    r.interval = 1 + i % 240;
    r.setTime(DateTime::fromFields(2026, 12, 7, 12, 0).plusMinutes(i));
    r.setDownloadTime(DateTime::fromFields(2026, 12, 7, 13, 0));
    return r;
}

RecordList sampleRecords(int n) {
    RecordList list;
    for (int i = 0; i < n; ++i) {
        list.push_back(sampleRecord(i));
    }
    return list;
}

void putInt(std::string& bytes, std::size_t at, int32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
    }
}

bool sameRecord(const HistoryRecord& a, const HistoryRecord& b) {
    return a.temperature == b.temperature && a.humidity == b.humidity && a.interval == b.interval &&
           a.time() == b.time() && a.downloadTime() == b.downloadTime();
}

// The fingerprint is the digest of the window's entries exactly as the file stores them, in file
// order: anyone can compute it from the file's bytes alone.
TEST(RecordFingerprint, IsTheDigestOfTheWindowsEntriesAsStored) {
    // Long enough for the entries to be hashed in several pieces: two of 4096 and one left over.
    const RecordList records = sampleRecords(2 * 4096 + 1);
    const std::string file = encodeDataFile(sampleSettings(), records, 0);
    // The entries end 4 bytes (the next address) before the file does.
    const std::size_t firstEntry = file.size() - 4 - records.size() * datafile::kRecordOnDisk;
    const auto entries = [&](std::size_t first, std::size_t count) {
        Sha256 digest;
        digest.update(std::string_view(file).substr(firstEntry + first * datafile::kRecordOnDisk,
                                                    count * datafile::kRecordOnDisk));
        return digest.hexDigest();
    };
    const struct {
        DateTime from, to;
        std::size_t first, count;
    } cases[] = {
        {records.front().time(), records.back().time(), 0, records.size()},
        {records[1].time(), records[4096].time(), 1, 4096},
        {records[3].time(), records[5].time().plusSeconds(59), 3, 3},
        {records.back().time().plusMinutes(1), records.back().time().plusMinutes(9), 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string fingerprint = recordFingerprint(records, c.from, c.to);
        EXPECT_EQ(fingerprint.size(), 64u);
        EXPECT_EQ(fingerprint, entries(c.first, c.count));
    }
}

TEST(DataFileLayout, EmptyFileIs156BytesAndOneRecordWithAbIs197) {
    RecorderSettings s;
    EXPECT_EQ(encodeDataFile(s, {}, 0).size(), 156u);

    s = sampleSettings();
    const RecordList one = sampleRecords(1);
    const std::string bytes = encodeDataFile(s, one, 1234);
    ASSERT_EQ(bytes.size(), 197u);
    EXPECT_EQ(bytes.substr(32, 8), std::string("\x02\0\0\0a\0b\0", 8));
    // Slot 0 start: status before value.
    EXPECT_EQ(bytes.substr(40, 4), std::string(4, '\0'));
    double value = 0;
    std::memcpy(&value, bytes.data() + 44, 8);
    EXPECT_EQ(value, s.slots[0].start.value);
    EXPECT_EQ(bytes.substr(152, 4), std::string("\x01\0\0\0", 4));
    // The record at 156: temperature, humidity, interval, time status then value.
    std::memcpy(&value, bytes.data() + 156, 8);
    EXPECT_EQ(value, one[0].temperature);
    EXPECT_EQ(static_cast<int8_t>(bytes[164]), one[0].humidity);
    EXPECT_EQ(bytes.substr(165, 4), std::string("\x01\0\0\0", 4));
    EXPECT_EQ(bytes.substr(169, 4), std::string(4, '\0'));
    std::memcpy(&value, bytes.data() + 173, 8);
    EXPECT_EQ(value, one[0].timeValue);
    EXPECT_EQ(bytes.substr(193, 4), std::string("\xD2\x04\0\0", 4));
}

TEST(DataFileLayout, DescriptionIsCutAtItsTerminatorAnd255Units) {
    RecorderSettings s;
    s.description = u"ab";
    s.description.push_back(u'\0');
    s.description += u"hidden";
    EXPECT_EQ(encodeDataFile(s, {}, 0).size(), 160u);
    s.description = std::u16string(300, u'x');
    EXPECT_EQ(encodeDataFile(s, {}, 0).size(), 156u + 2 * 255);
}

TEST(DataFileDocument, SaveAndOpenRoundTrip) {
    TempDir dir;
    ManualClock clock;
    const std::string path = dir.file("4.dat");
    RecordList records = sampleRecords(300);
    records[5].setTime(DateTime::invalidValue());
    CVeldrinDoc writer(clock);
    writer.settings = sampleSettings();
    writer.nextAddress = 4096;
    writer.setTarget(&records);
    ASSERT_EQ(writer.save(path), 1) << writer.errorMessage();
    EXPECT_EQ(readFile(path).size(), datafile::fileSize(2, 300));

    CVeldrinDoc reader(clock);
    reader.settings.circularMode = 9; // not in the file: kept from the document's image
    reader.settings.slotsInUse = 8;
    reader.settings.slots[1].firstBlock = 77;
    RecordList back = sampleRecords(3);
    reader.setTarget(&back);
    ASSERT_EQ(reader.open(path), 1) << reader.errorMessage();
    const RecorderSettings& s = reader.settings;
    const RecorderSettings want = sampleSettings();
    EXPECT_EQ(s.tempUnit, 1);
    EXPECT_EQ(s.interval, 10);
    EXPECT_EQ(s.wrapMarker, 255);
    EXPECT_EQ(s.versionMinor, 7);
    EXPECT_EQ(s.recorderNumber, 4);
    EXPECT_EQ(s.description, u"ab");
    EXPECT_EQ(s.circularMode, 9);
    EXPECT_EQ(s.slotsInUse, 8);
    EXPECT_EQ(s.slots[1].firstBlock, 77);
    for (int k = 0; k < kSlotCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        EXPECT_EQ(s.slots[i].start, want.slots[i].start);
        EXPECT_EQ(s.slots[i].end, want.slots[i].end);
        EXPECT_EQ(s.slots[i].inUse, want.slots[i].inUse);
    }
    EXPECT_EQ(reader.nextAddress, 4096);
    ASSERT_EQ(back.size(), records.size());
    EXPECT_EQ(back.capacity(), back.size() + datafile::kAppendHeadroom); // room for one download
    for (std::size_t i = 0; i < back.size(); ++i) {
        ASSERT_TRUE(sameRecord(back[i], records[i])) << i;
    }
}

TEST(DataFileDecode, EveryTruncationIsRejectedAndChangesNothing) {
    const std::string bytes = encodeDataFile(sampleSettings(), sampleRecords(3), 512);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        DataFileContent out;
        out.records = sampleRecords(2);
        out.nextAddress = 77;
        std::string message;
        ASSERT_FALSE(decodeDataFile(std::string_view(bytes).substr(0, n), out, message)) << n;
        EXPECT_EQ(message, "Unexpected file format.");
        EXPECT_EQ(out.records.size(), 2u);
        EXPECT_EQ(out.nextAddress, 77);
    }
}

TEST(DataFileDecode, UntrustedCountsAreRejectedBeforeAnyLargeAllocation) {
    const std::string good = encodeDataFile(sampleSettings(), sampleRecords(2), 0);
    const std::size_t rAt = 148 + 4; // N = 2
    struct Case {
        std::size_t at;
        int32_t value;
    };
    for (const Case c : {Case{32, 256}, Case{32, -1}, Case{32, INT_MAX}, Case{rAt, -1},
                         Case{rAt, INT_MAX}, Case{rAt, 3}, Case{rAt + 4 + 13, 3}, Case{40, 7}}) {
        std::string bytes = good;
        putInt(bytes, c.at, c.value);
        DataFileContent out;
        std::string message;
        AllocationProbe probe;
        const bool ok = decodeDataFile(bytes, out, message);
        const std::size_t largest = probe.largest();
        EXPECT_FALSE(ok) << c.at << "=" << c.value;
        EXPECT_LT(largest, std::size_t{1} << 20) << c.at << "=" << c.value;
    }
    DataFileContent out;
    std::string message;
    EXPECT_FALSE(decodeDataFile(good + "x", out, message)); // trailing bytes
    EXPECT_TRUE(decodeDataFile(good, out, message));

    // The same through a file on disk.
    TempDir dir;
    ManualClock clock;
    CVeldrinDoc doc(clock);
    RecordList list;
    doc.setTarget(&list);
    std::string huge = good;
    putInt(huge, rAt, INT_MAX);
    writeFile(dir.file("1.dat"), huge);
    AllocationProbe probe;
    const int opened = doc.open(dir.file("1.dat"));
    const std::size_t largest = probe.largest();
    EXPECT_EQ(opened, 0);
    EXPECT_LT(largest, std::size_t{1} << 20);
    EXPECT_TRUE(doc.isKnownDamaged(dir.file("1.dat")));
}

TEST(DataFileDocument, MissingAndEmptyFilesFailWithTheirMessages) {
    TempDir dir;
    ManualClock clock;
    CVeldrinDoc doc(clock);
    RecordList list;
    doc.setTarget(&list);
    const std::string missing = dir.file("9.dat");
    EXPECT_EQ(doc.open(missing), 0);
    EXPECT_EQ(doc.errorMessage(), missing + " was not found.");
    EXPECT_EQ(doc.lastOpenFailure(), OpenFailure::notFound);

    // Earlier versions left a 0-byte file at registration.
    const std::string empty = dir.file("0.dat");
    writeFile(empty, "");
    EXPECT_EQ(doc.open(empty), 0);
    EXPECT_EQ(doc.errorMessage(), "Unexpected file format.");
    EXPECT_EQ(doc.lastOpenFailure(), OpenFailure::empty);
    EXPECT_FALSE(doc.isKnownDamaged(empty));
    EXPECT_TRUE(list.empty());
}

struct SaveFailureTest : ::testing::Test {
    TempDir dir;
    ManualClock clock;
    CVeldrinDoc doc{clock};
    std::string path = dir.file("3.dat");
    RecordList records = sampleRecords(4);
    std::string before;

    void SetUp() override {
        doc.settings = sampleSettings();
        doc.setTarget(&records);
        ASSERT_EQ(doc.save(path), 1);
        before = readFile(path);
        records = sampleRecords(20000);
    }
    void expectOldFileKept() {
        EXPECT_EQ(readFile(path), before);
        EXPECT_EQ(records.size(), 20000u);
        EXPECT_NE(doc.errorMessage().find(path), std::string::npos) << doc.errorMessage();
        int entries = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
            entries += e.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(entries, 1); // no temporary file left behind
    }
};

TEST_F(SaveFailureTest, FullDiskLeavesTheOldFileByteForByte) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit to stand for a full disk";
#else
    // A file-size limit fails the write the way a full disk does, also for root.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = doc.save(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    expectOldFileKept();
#endif
}

TEST_F(SaveFailureTest, ReadOnlyFolderLeavesTheOldFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows folders are protected by access lists, not permission bits";
#else
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
#endif
    std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(doc.save(path), 0);
    expectOldFileKept();
}

TEST_F(SaveFailureTest, MissingFolderIsReportedWithThePath) {
    const std::string elsewhere = dir.file("gone/3.dat");
    EXPECT_EQ(doc.save(elsewhere), 0);
    EXPECT_NE(doc.errorMessage().find(elsewhere), std::string::npos);
}

TEST(DataFileDamaged, IsMovedAsideBeforeTheFirstSaveAndNeverOverwritten) {
    ScopedTimeZone tz("UTC0");
    TempDir dir;
    ManualClock clock;
    std::time_t t = 0;
    ASSERT_TRUE(unixFromLocalFields(CalendarFields{2026, 12, 7, 10, 15, 0, 0}, t));
    clock.setUnixSeconds(t);
    const std::string path = dir.file("3.dat");
    std::string damaged = encodeDataFile(sampleSettings(), sampleRecords(10), 0);
    damaged.resize(damaged.size() - 20);
    writeFile(path, damaged);

    CVeldrinDoc doc(clock);
    RecordList list;
    doc.setTarget(&list);
    EXPECT_EQ(doc.open(path), 0);
    EXPECT_EQ(doc.lastOpenFailure(), OpenFailure::malformed);
    EXPECT_TRUE(doc.isKnownDamaged(path));
    ASSERT_EQ(doc.save(path), 1) << doc.errorMessage();
    const std::string aside = path + ".damaged-20261207-101500";
    EXPECT_EQ(readFile(aside), damaged);
    EXPECT_NE(doc.noticeMessage().find(aside), std::string::npos);
    EXPECT_EQ(readFile(path).size(), datafile::fileSize(0, 0));

    // Once kept, later saves write the path normally.
    ASSERT_EQ(doc.save(path), 1);
    EXPECT_TRUE(doc.noticeMessage().empty());
    EXPECT_EQ(readFile(aside), damaged);

    // A second damaged file in the same second does not replace the first one kept.
    writeFile(path, "junk");
    EXPECT_EQ(doc.open(path), 0);
    ASSERT_EQ(doc.save(path), 1);
    EXPECT_EQ(readFile(aside + "-2"), "junk");
    EXPECT_EQ(readFile(aside), damaged);
}

TEST(DataFileDamaged, CreatingAnEmptyFileKeepsHistoryFoundThere) {
    TempDir dir;
    ManualClock clock;
    CVeldrinDoc doc(clock);
    const std::string path = dir.file("0.dat");
    const std::string history = encodeDataFile(sampleSettings(), sampleRecords(5), 0);
    writeFile(path, history);
    ASSERT_EQ(doc.createEmpty(path, RecorderSettings{}), 1);
    EXPECT_EQ(readFile(path).size(), datafile::kFixedSize); // no records, readable at once
    EXPECT_EQ(doc.open(path), 1);
    bool kept = false;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        kept = kept || (e.path().filename().string().rfind("0.dat.orphaned-", 0) == 0 &&
                        readFile(e.path().string()) == history);
    }
    EXPECT_TRUE(kept);
    EXPECT_FALSE(doc.noticeMessage().empty());
}

} // namespace
} // namespace veldrin
