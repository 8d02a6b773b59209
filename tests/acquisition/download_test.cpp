// The history download over a recorder memory laid out by hand: ranges, wrapping, partial units,
// filtering, the slot download and disagreeing reads.

#include "acquisition/history_download.h"
#include "device/logger_header.h"
#include "device/logger_link.h"
#include "support/fake_hid.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace veldrin {
namespace {

using testing::FakeBackend;
using testing::Report;

// A recorder that answers read commands from a plain memory image.
struct MemoryDevice {
    std::vector<uint8_t> memory = std::vector<uint8_t>(kMemorySize, 0xFF);
    std::vector<int> readAddresses;
    int disagreeingReads = 0; // the next reads answer with one byte altered
    int failReadAt = -1;      // the n-th read command (0-based) gets no answer

    void attach(testing::FakeInterfaceState& state) {
        state.onWrite = [this](testing::FakeInterfaceState& s, const Report& r) {
            if (r[1] != 0xA1) {
                return;
            }
            const int address = r[2] * 256 + r[3];
            const int index = static_cast<int>(readAddresses.size());
            readAddresses.push_back(address);
            if (index == failReadAt) {
                return;
            }
            for (int part = 0; part < 4; ++part) {
                std::vector<uint8_t> report(9, 0);
                for (int i = 0; i < 8; ++i) {
                    report[1 + i] = memory[(address + part * 8 + i) % kMemorySize];
                }
                if (disagreeingReads > 0 && part == 0) {
                    report[1] ^= static_cast<uint8_t>(index + 1);
                }
                s.answers.push_back(report);
            }
            if (disagreeingReads > 0) {
                --disagreeingReads;
            }
        };
    }

    void putRecord(int address, int raw, int humidity, int interval) {
        const auto bytes = encodeRecord(raw, humidity, interval);
        std::copy(bytes.begin(), bytes.end(), memory.begin() + address);
    }
    // Plausible records from `from` up to `to`, raw value = record index for checking order.
    void fill(int from, int to) {
        for (int a = from; a < to; a += 4) {
            putRecord(a, (a / 4) % 1200, 50, 10);
        }
    }
};

struct Collected final : DownloadTarget {
    std::vector<int> counts;
    std::vector<DownloadedBatch> batches;
    void progress(int count) override { counts.push_back(count); }
    void handOver(const DownloadedBatch& batch) override { batches.push_back(batch); }
};

class Download : public ::testing::Test {
protected:
    Download() {
        state = backend.add("r");
        device.attach(*state);
        link = std::make_unique<LoggerLink>(backend);
    }
    RecorderSettings settings(int lastBlock, int wrapMarker) {
        RecorderSettings s;
        s.lastBlock = lastBlock;
        s.wrapMarker = wrapMarker;
        s.circularMode = 1;
        return s;
    }
    int run(const RecorderSettings& s, int32_t d) {
        return DownloadHistory(*link, s, d, now, collected);
    }

    FakeBackend backend;
    std::shared_ptr<testing::FakeInterfaceState> state;
    MemoryDevice device;
    std::unique_ptr<LoggerLink> link;
    Collected collected;
    DateTime now = DateTime::fromFields(2011, 6, 15, 12, 0, 0);
};

TEST_F(Download, NothingNewWhenTheStoredAddressIsTheEnd) {
    EXPECT_EQ(run(settings(5, 5), endAddress(5)), 1);
    EXPECT_TRUE(device.readAddresses.empty());
    EXPECT_TRUE(collected.counts.empty());
    EXPECT_TRUE(collected.batches.empty());
}

TEST_F(Download, FirstDownloadOfOneBlockReadsEveryUnitTwice) {
    device.fill(256, 512);
    ASSERT_EQ(run(settings(1, 0), 0), 1);
    EXPECT_EQ(device.readAddresses.size(), 16u);
    EXPECT_EQ(device.readAddresses.front(), 256);
    EXPECT_EQ(device.readAddresses.back(), 480);
    EXPECT_EQ(collected.counts, (std::vector<int>{8, 16, 24, 32, 40, 48, 56, 64}));
    ASSERT_EQ(collected.batches.size(), 1u);
    const DownloadedBatch& b = collected.batches[0];
    EXPECT_FALSE(b.continues);
    EXPECT_EQ(b.records.size(), 64u);
    EXPECT_EQ(b.records.front().raw, 64); // oldest first: address 256
    EXPECT_EQ(b.records.back().raw, 127);
    EXPECT_EQ(b.newNextAddress, 512);
}

TEST_F(Download, WrappedMemoryIsReadOnceRoundFromTheEnd) {
    device.fill(256, kMemorySize);
    ASSERT_EQ(run(settings(3, 0xFF), 0), 1);
    EXPECT_EQ(device.readAddresses.size(), 2u * 2040u);
    EXPECT_EQ(device.readAddresses.front(), 1024);
    EXPECT_EQ(device.readAddresses[2 * (252 * 8) - 1], 65504); // last unit before the wrap
    EXPECT_EQ(device.readAddresses[2 * (252 * 8)], 256);
    EXPECT_EQ(device.readAddresses.back(), 992);
    EXPECT_EQ(collected.counts.back(), kRecordCapacity);
    ASSERT_EQ(collected.batches.size(), 1u);
    EXPECT_EQ(collected.batches[0].records.size(), static_cast<std::size_t>(kRecordCapacity));
    EXPECT_EQ(collected.batches[0].records.front().raw, 1024 / 4);
    EXPECT_EQ(collected.batches[0].newNextAddress, 1024);
}

TEST_F(Download, ContinuingFromAnUnalignedAddressUsesThePartialUnit) {
    device.fill(256, endAddress(5));
    // T = 256 (the software recorder keeps byte 3 at lastBlock): 1000 continues.
    ASSERT_EQ(run(settings(5, 5), 1000), 1);
    ASSERT_GE(device.readAddresses.size(), 4u);
    EXPECT_EQ(device.readAddresses[0], 1000);
    EXPECT_EQ(device.readAddresses[2], 1024);
    EXPECT_EQ(device.readAddresses[4], 1056);
    EXPECT_EQ(device.readAddresses.back(), endAddress(5) - 32);
    ASSERT_EQ(collected.batches.size(), 1u);
    const DownloadedBatch& b = collected.batches[0];
    EXPECT_TRUE(b.continues);
    EXPECT_EQ(b.records.size(), 6u + (endAddress(5) - 1024) / 4);
    EXPECT_EQ(b.records.front().raw, 1000 / 4);
    // The partial unit posts no progress; the first report counts its 6 records and 8 more.
    EXPECT_EQ(collected.counts.front(), 14);
}

TEST_F(Download, StoredAddressBelowTheThresholdStartsOver) {
    device.fill(256, endAddress(5));
    ASSERT_EQ(run(settings(5, 1), 1000), 1); // T = 1280
    EXPECT_EQ(device.readAddresses.front(), 256);
    EXPECT_FALSE(collected.batches[0].continues);
}

TEST_F(Download, StoredAddressFromADamagedFileCountsAsNothing) {
    device.fill(256, endAddress(2));
    for (int32_t bogus : {-1000, 100, 1001, 70000}) {
        collected = Collected{};
        device.readAddresses.clear();
        ASSERT_EQ(run(settings(2, 2), bogus), 1) << bogus;
        EXPECT_EQ(device.readAddresses.front(), 256) << bogus;
        EXPECT_FALSE(collected.batches[0].continues);
    }
}

TEST_F(Download, ErasedTailLowersTheNextAddress) {
    device.fill(256, endAddress(2) - 54 * 4);
    ASSERT_EQ(run(settings(2, 2), 0), 1);
    ASSERT_EQ(collected.batches.size(), 1u);
    EXPECT_EQ(collected.batches[0].records.size(), 128u - 54u);
    EXPECT_EQ(collected.batches[0].newNextAddress, endAddress(2) - 216);
}

TEST_F(Download, AllImplausibleHandsNothingOver) {
    for (int a = 256; a < 512; a += 4) {
        device.putRecord(a, 500, 0, 10); // humidity 0
    }
    ASSERT_EQ(run(settings(1, 1), 0), 1);
    EXPECT_TRUE(collected.batches.empty());
    EXPECT_EQ(collected.counts.back(), 64);
}

TEST_F(Download, FailedReadDiscardsTheBatch) {
    device.fill(256, endAddress(3));
    device.failReadAt = 7;
    EXPECT_EQ(run(settings(3, 3), 0), 0);
    EXPECT_TRUE(collected.batches.empty());
}

TEST_F(Download, DisagreeingReadsAreRepeatedThenBounded) {
    device.fill(256, 512);
    device.disagreeingReads = 3;
    ASSERT_EQ(run(settings(1, 1), 0), 1);
    EXPECT_EQ(collected.batches.at(0).records.size(), 64u);
    EXPECT_GT(device.readAddresses.size(), 16u);

    collected = Collected{};
    device.readAddresses.clear();
    device.disagreeingReads = 1000000;
    EXPECT_EQ(run(settings(1, 1), 0), 0);
    EXPECT_TRUE(collected.batches.empty());
    EXPECT_EQ(device.readAddresses.size(), 2u * (kMaxDisagreeingRereads + 1));
}

TEST_F(Download, HeaderWithoutARecordAreaReadsNothing) {
    EXPECT_EQ(run(settings(0, 0), 0), 1);
    EXPECT_TRUE(device.readAddresses.empty());
}

class SlotDownload : public Download {
protected:
    RecorderSettings slotted() {
        RecorderSettings s = settings(9, 9);
        s.circularMode = 0;
        s.slotsInUse = 2;
        TimeSlot& a = s.slots[0];
        a.inUse = 1;
        a.start = DateTime::fromFields(2011, 6, 14, 8, 0, 0);
        a.end = DateTime::fromFields(2011, 6, 14, 18, 0, 0);
        a.firstBlock = 1;
        a.lastBlock = 3;
        TimeSlot& b = s.slots[1];
        b.inUse = 1;
        b.start = DateTime::fromFields(2011, 6, 15, 8, 0, 0);
        b.end = DateTime::fromFields(2011, 6, 15, 18, 0, 0);
        b.firstBlock = 4;
        b.lastBlock = 0;
        return s;
    }
};

TEST_F(SlotDownload, EachSlotIsItsOwnBatch) {
    device.fill(256, endAddress(9));
    ASSERT_EQ(run(slotted(), 0), 1);
    ASSERT_EQ(collected.batches.size(), 2u);
    const DownloadedBatch& first = collected.batches[0];
    EXPECT_TRUE(first.mode == DownloadedBatch::Mode::slot);
    EXPECT_TRUE(first.beganAtSlotStart);
    EXPECT_EQ(first.slotStart, DateTime::fromFields(2011, 6, 14, 8, 0, 0));
    EXPECT_EQ(first.records.size(), 3u * 64u);
    EXPECT_EQ(first.newNextAddress, endAddress(3));
    const DownloadedBatch& second = collected.batches[1];
    EXPECT_TRUE(second.beganAtSlotStart);
    EXPECT_EQ(second.records.size(), 6u * 64u);
    EXPECT_EQ(second.records.front().raw, 1024 / 4);
    EXPECT_EQ(second.newNextAddress, endAddress(9));
    EXPECT_EQ(collected.counts.back(), 9 * 64); // the count runs on across the slots
}

TEST_F(SlotDownload, CompleteSlotIsSkippedAndTheRunningOneContinues) {
    device.fill(256, endAddress(9));
    ASSERT_EQ(run(slotted(), 1536), 1);
    ASSERT_EQ(collected.batches.size(), 1u);
    EXPECT_EQ(device.readAddresses.front(), 1536);
    EXPECT_FALSE(collected.batches[0].beganAtSlotStart);
    EXPECT_EQ(collected.batches[0].records.size(), (endAddress(9) - 1536) / 4u);
}

TEST_F(SlotDownload, SlotStartingLaterStopsTheDownload) {
    device.fill(256, endAddress(9));
    RecorderSettings s = slotted();
    s.slots[1].start = DateTime::fromFields(2011, 6, 16, 8, 0, 0); // tomorrow
    ASSERT_EQ(run(s, 0), 1);
    ASSERT_EQ(collected.batches.size(), 1u);
    EXPECT_EQ(device.readAddresses.back(), endAddress(3) - 32);
}

// A slot that has begun by the PC's clock but in which the recorder has not recorded yet has no
// first block (0). It holds nothing: the walk stops there, block 0 (the header) is never read as
// records, and the slot before it is not read a second time under the later slot's name.
TEST_F(SlotDownload, SlotWithoutAFirstBlockHoldsNothingYet) {
    device.fill(256, endAddress(9));
    struct Case {
        const char* name;
        int slot0First, slot0Last, slot1First;
        int lastBlock;
        int32_t stored;
        std::size_t records;
    };
    const Case cases[] = {
        {"first slot not begun, nothing stored", 0, 0, 0, 1, 0, 0},
        {"first slot not begun, address stored", 0, 0, 0, 2, 512, 0},
        {"second slot not begun", 1, 3, 0, 3, 0, 3 * 64},
        {"second slot not begun, first read in part", 1, 3, 0, 3, 768, 64},
    };
    for (const Case& c : cases) {
        collected = Collected{};
        device.readAddresses.clear();
        RecorderSettings s = slotted();
        s.lastBlock = s.wrapMarker = c.lastBlock;
        s.slots[0].firstBlock = c.slot0First;
        s.slots[0].lastBlock = c.slot0Last;
        s.slots[1].firstBlock = c.slot1First;
        ASSERT_EQ(run(s, c.stored), 1) << c.name;
        std::size_t records = 0;
        for (const DownloadedBatch& b : collected.batches) {
            records += b.records.size();
        }
        EXPECT_EQ(records, c.records) << c.name;
        EXPECT_EQ(device.readAddresses.size(), 2 * c.records / 8) << c.name;
        for (int address : device.readAddresses) {
            EXPECT_GE(address, kRecordAreaStart) << c.name;
        }
    }
}

} // namespace
} // namespace veldrin
