#pragma once
// The recorder's 256-byte header and the 4-byte records of its memory: layout, decoding, encoding
// and the address arithmetic of the record area. Pure functions, no I/O.

#include "core/date_time.h"
#include "core/recorder_types.h"

#include <array>
#include <cstdint>
#include <optional>

namespace veldrin {

namespace header {
constexpr int tempUnit = 0;
constexpr int interval = 1;
constexpr int lastBlock = 2;
constexpr int wrapMarker = 3;
constexpr int slotsInUse = 4;
constexpr int dateOrder = 5;
constexpr int versionMajor = 6;
constexpr int versionMinor = 7;
constexpr int idProduct = 8;
constexpr int idHigh = 12;
constexpr int idLow = 14;
constexpr int clockSetMarker = 16;
constexpr int clockSet = 17;
constexpr int clockLatch = 32;
constexpr int clock = 33;
constexpr int slotBase = 48;
constexpr int slotSize = 16;
constexpr int circularMode = 240;

constexpr uint8_t clockSetMarkerValue = 0x55;
constexpr uint8_t wrapped = 0xFF;

constexpr int slotOffset(int k) {
    return slotBase + slotSize * k;
}
} // namespace header

constexpr int kHeaderSize = 256;
constexpr int kBlockSize = 256;
constexpr int kRecordSize = 4;
constexpr int kMemorySize = 65536;
constexpr int kRecordAreaStart = 256;
constexpr int kRecordCapacity = (kMemorySize - kRecordAreaStart) / kRecordSize; // 16,320

using HeaderImage = std::array<uint8_t, kHeaderSize>;

// Identity in bytes 8 to 15 (big-endian), whether or not it is valid.
RecorderIdentity identityFromHeader(const HeaderImage& h);
// The eight (address, value) pairs that write an identity into a header, in writing order.
std::array<std::pair<uint16_t, uint8_t>, 8> identityWrites(const RecorderIdentity& id);
void storeIdentity(HeaderImage& h, const RecorderIdentity& id);

// Date-time from six bytes (year - 2000, month, day, hour, minute, second); invalid when the bytes
// name no calendar time.
DateTime dateTimeFromBytes(const uint8_t* six);
// Same from five bytes (no second field; second 0).
DateTime dateTimeFromFiveBytes(const uint8_t* five);
// Six bytes of a local time (year - 2000, ...); false when the year lies outside 2000..2255.
bool bytesFromDateTime(const DateTime& t, uint8_t* six);

// Decodes the header into settings. recorderNumber becomes field 7; slots not in use get
// start = end = now. The description is not touched.
void decodeSettings(const HeaderImage& h, int32_t recorderNumber, const DateTime& now,
                    RecorderSettings& out);

// Encoding of the configuration write.
uint8_t tempUnitByte(int32_t unit);         // 0xFF Celsius, 0x00 Fahrenheit
uint8_t dateOrderByte(int32_t order);       // 0xFF day-month, 0x00 month-day
uint8_t circularModeByte(int32_t circular); // 0x00, 0x02 or 0xFF
int32_t decodeCircularMode(uint8_t byte);   // 0 or 1 -> 0, 2 -> 1, above 2 -> the byte
// The 32 bytes written at the slot's address: 14 defined bytes, then `rest` (the 18 bytes the
// recorder held after them, so that the write keeps them as they were).
std::array<uint8_t, 32> slotImage(const TimeSlot& slot, const uint8_t* rest18);

// A 4-byte device record decoded into the raw temperature, humidity and interval.
struct DeviceRecord {
    int raw = 0;
    int humidity = 0; // the byte as unsigned
    int interval = 0;
    bool plausible = false;
    double celsius() const { return raw * 0.1 - 40.0; }
};
DeviceRecord decodeRecord(const uint8_t* four);
// Encodes a measurement as the recorder stores it (raw 0..1200, the sign form for raw < 400 is
// not used by the recorder; plain form only).
std::array<uint8_t, 4> encodeRecord(int raw, int humidity, int interval);

// Address arithmetic of the record area.
constexpr int endAddress(int lastBlock) {
    return (lastBlock + 1) * kBlockSize;
}
// Restart threshold T; the remainder takes the dividend's sign, so T may be negative.
constexpr int restartThreshold(int lastBlock, int wrapMarker) {
    return (((lastBlock - wrapMarker) % 256) + 1) * kBlockSize;
}
constexpr int completeDownloadStart(int lastBlock, int wrapMarker) {
    return wrapMarker == header::wrapped ? endAddress(lastBlock) : kRecordAreaStart;
}
constexpr int wrapAddress(int address) {
    return address >= kMemorySize ? address - 0xFF00 : address;
}

} // namespace veldrin
