// Header and record codecs and the address arithmetic of the record area.

#include "device/frames.h"
#include "device/logger_header.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

DeviceRecord record(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    return decodeRecord(bytes);
}

TEST(RecordCodec, TemperatureForms) {
    DeviceRecord r = record(0x01, 0xF4, 0x32, 0x0A);
    EXPECT_EQ(r.raw, 500);
    EXPECT_DOUBLE_EQ(r.celsius(), 10.0);
    EXPECT_EQ(r.humidity, 50);
    EXPECT_EQ(r.interval, 10);
    EXPECT_TRUE(r.plausible);

    EXPECT_EQ(record(0x81, 0xF4, 0x32, 0x0A).raw, 300);
    EXPECT_NEAR(record(0x81, 0xF4, 0x32, 0x0A).celsius(), -10.0, 1e-9);
    EXPECT_NEAR(record(0x80, 0x00, 0x32, 0x0A).celsius(), 40.0, 1e-9);
    EXPECT_NEAR(record(0x00, 0x00, 0x32, 0x0A).celsius(), -40.0, 1e-9);
    EXPECT_EQ(record(0x01, 0xFF, 0x32, 0x0A).raw, 511); // 0xFF in byte 1: no masking
    EXPECT_NEAR(record(0x01, 0xFF, 0x32, 0x0A).celsius(), 11.1, 1e-9);
    EXPECT_EQ(record(0x71, 0xF4, 0x32, 0x0A).raw, 500); // bits 4-6 are not part of the value
}

TEST(RecordCodec, Plausibility) {
    EXPECT_FALSE(record(0x04, 0xB1, 0x32, 0x0A).plausible);   // 1201
    const DeviceRecord cold = record(0x84, 0xB0, 0x32, 0x0A); // 800 - 1200
    EXPECT_EQ(cold.raw, -400);
    EXPECT_NEAR(cold.celsius(), -80.0, 1e-9);
    EXPECT_TRUE(cold.plausible);
    const DeviceRecord erased = record(0xFF, 0xFF, 0xFF, 0xFF);
    EXPECT_EQ(erased.raw, 65535);
    EXPECT_FALSE(erased.plausible);
    for (uint8_t h : {0x00, 0x64, 0x80, 0xFF}) {
        EXPECT_FALSE(record(0x01, 0xF4, h, 0x0A).plausible) << int(h);
    }
    EXPECT_TRUE(record(0x01, 0xF4, 1, 1).plausible);
    EXPECT_TRUE(record(0x01, 0xF4, 99, 240).plausible);
    EXPECT_FALSE(record(0x01, 0xF4, 0x32, 0).plausible);
    EXPECT_FALSE(record(0x01, 0xF4, 0x32, 241).plausible);
}

TEST(RecordCodec, EncodingRoundTrips) {
    for (int raw : {0, 1, 255, 256, 399, 400, 511, 800, 1023, 1200}) {
        const auto bytes = encodeRecord(raw, 45, 10);
        const DeviceRecord r = decodeRecord(bytes.data());
        EXPECT_EQ(r.raw, raw);
        EXPECT_TRUE(r.plausible);
    }
}

TEST(HeaderCodec, IdentityRule) {
    HeaderImage h{};
    const uint8_t id[8] = {0x00, 0x01, 0x86, 0xA0, 0x00, 0x0A, 0x27, 0x10};
    std::copy(id, id + 8, h.begin() + 8);
    const RecorderIdentity valid = identityFromHeader(h);
    EXPECT_EQ(valid.product, 100000u);
    EXPECT_EQ(valid.high, 10);
    EXPECT_EQ(valid.low, 10000);
    EXPECT_TRUE(valid.isValid());

    h.fill(0xFF);
    EXPECT_FALSE(identityFromHeader(h).isValid()); // 0xFFFFFFFF != 65535 * 65535 mod 2^32
    h.fill(0x00);
    EXPECT_FALSE(identityFromHeader(h).isValid());
    // Product 0 never counts, even when the halves multiply to 0.
    h[12] = 0x12;
    EXPECT_FALSE(identityFromHeader(h).isValid());
}

TEST(HeaderCodec, IdentityWritesAreBigEndianInAddressOrder) {
    const RecorderIdentity id = RecorderIdentity::fromUnixTime(0x4DF8C134);
    EXPECT_EQ(id.high, 0x4DF8);
    EXPECT_EQ(id.low, 0xC134);
    EXPECT_EQ(id.product, uint32_t{0x4DF8} * 0xC134u);
    EXPECT_TRUE(id.isValid());
    const auto writes = identityWrites(id);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(writes[i].first, 8 + i);
    }
    HeaderImage h{};
    storeIdentity(h, id);
    EXPECT_EQ(identityFromHeader(h), id);
    EXPECT_EQ(h[12], 0x4D);
    EXPECT_EQ(h[15], 0x34);
}

TEST(HeaderCodec, DecodesSettingsAndSlots) {
    HeaderImage h{};
    h.fill(0xFF);
    h[header::tempUnit] = 0x00;
    h[header::interval] = 10;
    h[header::lastBlock] = 5;
    h[header::wrapMarker] = 1;
    h[header::slotsInUse] = 1;
    h[header::dateOrder] = 0x00;
    h[header::versionMajor] = 2;
    h[header::versionMinor] = 3;
    h[header::circularMode] = 0x02;
    const uint8_t slot0[] = {0x0B, 0x03, 0x1F, 0x17, 0x3B, 0x0C, 0x01,
                             0x01, 0x00, 0x00, 0xFF, 0xFF, 0x07, 0x00};
    std::copy(std::begin(slot0), std::end(slot0), h.begin() + 48);
    const uint8_t slot1[] = {0x0B, 0x02, 0x1E, 0x00, 0x00, 0x0B, 0x03, 0x01, 0x00, 0x00};
    std::copy(std::begin(slot1), std::end(slot1), h.begin() + 64);

    const DateTime now = DateTime::fromFields(2011, 6, 15, 14, 30, 12);
    RecorderSettings s;
    s.description = u"kept";
    decodeSettings(h, 7, now, s);
    EXPECT_EQ(s.tempUnit, 1);
    EXPECT_EQ(s.dateOrder, 0);
    EXPECT_EQ(s.interval, 10);
    EXPECT_EQ(s.lastBlock, 5);
    EXPECT_EQ(s.wrapMarker, 1);
    EXPECT_EQ(s.versionMajor, 2);
    EXPECT_EQ(s.versionMinor, 3);
    EXPECT_EQ(s.recorderNumber, 7);
    EXPECT_EQ(s.circularMode, 1);
    EXPECT_EQ(s.slotsInUse, 1);
    EXPECT_EQ(s.description, u"kept");
    EXPECT_EQ(s.slots[0].inUse, 1);
    EXPECT_EQ(s.slots[0].start, DateTime::fromFields(2011, 3, 31, 23, 59, 0));
    EXPECT_EQ(s.slots[0].end, DateTime::fromFields(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(s.slots[0].firstBlock, 7);
    EXPECT_EQ(s.slots[0].lastBlock, 0);
    EXPECT_EQ(s.slots[1].inUse, 0); // 30 February
    EXPECT_EQ(s.slots[1].start, now);
    EXPECT_EQ(s.slots[2].inUse, 0); // erased
    EXPECT_EQ(s.slots[2].end, now);
    EXPECT_EQ(s.slots[2].firstBlock, 0xFF);

    h[header::tempUnit] = 0xFF;
    h[header::dateOrder] = 0xFF;
    decodeSettings(h, 0, now, s);
    EXPECT_EQ(s.tempUnit, 0);
    EXPECT_EQ(s.dateOrder, 1);
}

TEST(HeaderCodec, CircularModeBothWays) {
    EXPECT_EQ(decodeCircularMode(0x00), 0);
    EXPECT_EQ(decodeCircularMode(0x01), 0);
    EXPECT_EQ(decodeCircularMode(0x02), 1);
    EXPECT_EQ(decodeCircularMode(0x03), 3);
    EXPECT_EQ(decodeCircularMode(0xFF), 255);
    EXPECT_EQ(circularModeByte(0), 0x00);
    EXPECT_EQ(circularModeByte(1), 0x02);
    EXPECT_EQ(circularModeByte(2), 0x02);
    EXPECT_EQ(circularModeByte(255), 0xFF);
    EXPECT_EQ(tempUnitByte(0), 0xFF);
    EXPECT_EQ(tempUnitByte(1), 0x00);
    EXPECT_EQ(dateOrderByte(1), 0xFF);
    EXPECT_EQ(dateOrderByte(0), 0x00);
}

TEST(HeaderCodec, SlotImages) {
    TimeSlot used;
    used.inUse = 1;
    used.start = DateTime::fromFields(2011, 7, 1, 8, 0, 0);
    used.end = DateTime::fromFields(2011, 7, 1, 18, 30, 0);
    used.firstBlock = 3;
    used.lastBlock = 9;
    uint8_t rest[18];
    for (int i = 0; i < 18; ++i) {
        rest[i] = static_cast<uint8_t>(0xC0 + i);
    }
    const auto image = slotImage(used, rest);
    const uint8_t expected[] = {0x0B, 0x07, 0x01, 0x08, 0x00, 0x0B, 0x07,
                                0x01, 0x12, 0x1E, 0xFF, 0xFF, 3,    9};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), image.begin()));
    EXPECT_EQ(image[14], 0xC0);
    EXPECT_EQ(image[31], 0xC0 + 17);

    TimeSlot unused = used;
    unused.inUse = 0;
    const auto off = slotImage(unused, rest);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(off[i], 0xFF) << i;
    }
    EXPECT_EQ(off[12], 3);
    unused.inUse = 2; // only exactly 1 counts as in use
    EXPECT_EQ(slotImage(unused, rest)[0], 0xFF);
}

TEST(HeaderCodec, ClockBytes) {
    const uint8_t bytes[6] = {0x0B, 0x06, 0x0F, 0x0E, 0x1E, 0x0C};
    EXPECT_EQ(dateTimeFromBytes(bytes), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
    uint8_t back[6];
    ASSERT_TRUE(bytesFromDateTime(DateTime::fromFields(2011, 6, 15, 14, 30, 12), back));
    EXPECT_TRUE(std::equal(back, back + 6, bytes));
    EXPECT_FALSE(bytesFromDateTime(DateTime::fromFields(1999, 12, 31), back));
    const uint8_t erased[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(dateTimeFromBytes(erased).isValid());
}

TEST(AddressArithmetic, EndThresholdAndWrap) {
    EXPECT_EQ(endAddress(1), 512);
    EXPECT_EQ(endAddress(255), 65536);
    EXPECT_EQ(restartThreshold(5, 1), 1280);
    EXPECT_EQ(restartThreshold(5, 0xFF), (-250 + 1) * 256);
    EXPECT_LT(restartThreshold(5, 0xFF), 0);
    EXPECT_EQ(restartThreshold(5, 5), 256);
    EXPECT_EQ(restartThreshold(5, 0), endAddress(5));
    EXPECT_EQ(completeDownloadStart(3, 0), 256);
    EXPECT_EQ(completeDownloadStart(3, 0xFF), 1024);
    EXPECT_EQ(wrapAddress(65535), 65535);
    EXPECT_EQ(wrapAddress(65536), 256);
    EXPECT_EQ(wrapAddress(65568), 288);
    EXPECT_EQ(kRecordCapacity, 16320);
}

TEST(Frames, GoldenCommandFrames) {
    EXPECT_EQ(commandFrame(RecorderCommand::read32, 0x1234),
              (Frame{0xA1, 0x12, 0x34, 0x20, 0xA1, 0x00, 0x00, 0x20}));
    EXPECT_EQ(commandFrame(RecorderCommand::writeByte, 16, 0x55),
              (Frame{0xA2, 0x00, 0x10, 0x20, 0xA2, 0x55, 0x00, 0x20}));
    EXPECT_EQ(commandFrame(RecorderCommand::write32, 48),
              (Frame{0xA0, 0x00, 0x30, 0x20, 0xA0, 0x00, 0x00, 0x20}));
    EXPECT_EQ(commandFrame(RecorderCommand::read32, 0xFFE0),
              (Frame{0xA1, 0xFF, 0xE0, 0x20, 0xA1, 0x00, 0x00, 0x20}));
    EXPECT_TRUE(isAcknowledgement(Frame{0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5}));
    EXPECT_FALSE(isAcknowledgement(Frame{0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0x00}));
}

} // namespace
} // namespace veldrin
