// The recorder's header and records as a recorder (or a damaged one) may hand them over: the
// first 256 bytes are the header, the rest are 4-byte records.

#include "core/date_time.h"
#include "device/frames.h"
#include "device/logger_header.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

using namespace veldrin;

void checkHeader(const HeaderImage& h) {
    const DateTime now = DateTime::fromFields(2026, 12, 7, 12, 0, 0);
    RecorderSettings s;
    decodeSettings(h, 3, now, s);
    FUZZ_REQUIRE(s.recorderNumber == 3);
    FUZZ_REQUIRE(s.lastBlock >= 0 && s.lastBlock <= 255 && s.wrapMarker >= 0 &&
                 s.wrapMarker <= 255);
    FUZZ_REQUIRE(circularModeByte(s.circularMode) ==
                 circularModeByte(decodeCircularMode(circularModeByte(s.circularMode))));

    const RecorderIdentity id = identityFromHeader(h);
    HeaderImage copy{};
    storeIdentity(copy, id);
    FUZZ_REQUIRE(std::equal(h.begin() + 8, h.begin() + 16, copy.begin() + 8));

    for (int k = 0; k < kSlotCount; ++k) {
        const TimeSlot& slot = s.slots[static_cast<std::size_t>(k)];
        const uint8_t* block = h.data() + header::slotOffset(k);
        const std::array<uint8_t, 32> image = slotImage(slot, block + 14);
        FUZZ_REQUIRE(image[12] == block[12] && image[13] == block[13]);
        FUZZ_REQUIRE(std::equal(block + 14, block + 32, image.begin() + 14));
        if (slot.inUse == 1) {
            FUZZ_REQUIRE(slot.start.isValid() && slot.end.isValid());
            // A slot in use is written back as it was read.
            FUZZ_REQUIRE(dateTimeFromFiveBytes(image.data()) == slot.start);
            FUZZ_REQUIRE(dateTimeFromFiveBytes(image.data() + 5) == slot.end);
        } else {
            FUZZ_REQUIRE(slot.start == now && slot.end == now);
            FUZZ_REQUIRE(std::all_of(image.begin(), image.begin() + 12,
                                     [](uint8_t b) { return b == 0xFF; }));
        }
    }

    const DateTime clock = dateTimeFromBytes(h.data() + header::clock);
    uint8_t six[6];
    if (clock.isValid()) {
        FUZZ_REQUIRE(bytesFromDateTime(clock, six));
        FUZZ_REQUIRE(std::equal(six, six + 6, h.data() + header::clock));
    }

    const int end = endAddress(s.lastBlock);
    const int start = completeDownloadStart(s.lastBlock, s.wrapMarker);
    FUZZ_REQUIRE(start >= kRecordAreaStart && start <= kMemorySize);
    FUZZ_REQUIRE(end >= kBlockSize && end <= kMemorySize);
    const int threshold = restartThreshold(s.lastBlock, s.wrapMarker);
    FUZZ_REQUIRE(threshold % kBlockSize == 0 && threshold <= kMemorySize);
    FUZZ_REQUIRE(wrapAddress(kMemorySize) == kRecordAreaStart);

    const uint16_t address = static_cast<uint16_t>(h[0] << 8 | h[1]);
    const Frame frame = commandFrame(RecorderCommand::writeByte, address, h[2]);
    FUZZ_REQUIRE(frame[1] == h[0] && frame[2] == h[1] && frame[5] == h[2]);
    FUZZ_REQUIRE(!isAcknowledgement(frame));
}

void checkRecord(const uint8_t* four) {
    const DeviceRecord r = decodeRecord(four);
    FUZZ_REQUIRE(r.raw >= 800 - 4095 && r.raw <= 65535);
    if (!r.plausible) {
        return;
    }
    FUZZ_REQUIRE(r.raw <= 1200 && r.humidity >= 1 && r.humidity <= 99 && r.interval >= 1 &&
                 r.interval <= 240);
    FUZZ_REQUIRE(r.celsius() <= 80.0 && r.celsius() >= -369.5 - 1e-9);
    // The plain form (no sign flag, unused bits clear) is what the encoder writes.
    if ((four[0] & 0xF0) == 0 && r.raw >= 0) {
        const std::array<uint8_t, 4> again = encodeRecord(r.raw, r.humidity, r.interval);
        FUZZ_REQUIRE(std::equal(again.begin(), again.end(), four));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HeaderImage h;
    h.fill(0xFF);
    std::copy(data, data + std::min<std::size_t>(size, kHeaderSize), h.begin());
    checkHeader(h);
    for (std::size_t at = kHeaderSize; at + kRecordSize <= size; at += kRecordSize) {
        checkRecord(data + at);
    }
    return 0;
}
