#pragma once
// Shared value types of the recorder's data: identity, settings, time slots and history records.

#include "core/date_time.h"

#include <array>
#include <cstdint>
#include <string>

namespace veldrin {

// Identity the PC writes into a recorder's header (bytes 8 to 15).
struct RecorderIdentity {
    uint32_t product = 0;
    uint16_t high = 0;
    uint16_t low = 0;

    // Given by this system: product not 0 and equal to high x low in 32-bit arithmetic.
    bool isValid() const {
        return product != 0 && product == static_cast<uint32_t>(uint32_t{high} * uint32_t{low});
    }
    // Made from the PC clock: the Unix time's high and low 16 bits.
    static RecorderIdentity fromUnixTime(int64_t unixSeconds) {
        const auto t = static_cast<uint32_t>(unixSeconds);
        RecorderIdentity id;
        id.low = static_cast<uint16_t>(t & 0xFFFFu);
        id.high = static_cast<uint16_t>(t >> 16);
        id.product = static_cast<uint32_t>(uint32_t{id.low} * uint32_t{id.high});
        return id;
    }
    friend bool operator==(const RecorderIdentity&, const RecorderIdentity&) = default;
};

struct TimeSlot {
    DateTime start;
    DateTime end;
    int32_t inUse = 0;
    int32_t firstBlock = 0;
    int32_t lastBlock = 0;
};

constexpr int kSlotCount = 4;
constexpr int kDescriptionCapacity = 256; // UTF-16 units including the terminator

struct RecorderSettings {
    int32_t tempUnit = 0;       // field 0: 0 Celsius, 1 Fahrenheit
    int32_t dateOrder = 0;      // field 1: 0 month-day, 1 day-month
    int32_t interval = 0;       // field 2: minutes
    int32_t lastBlock = 0;      // field 3
    int32_t wrapMarker = 0;     // field 4
    int32_t versionMajor = 0;   // field 5
    int32_t versionMinor = 0;   // field 6
    int32_t recorderNumber = 0; // field 7
    int32_t circularMode = 0;   // field 8: 0 linear, 1 circular, above 2 no circular mode
    int32_t slotsInUse = 0;     // field 9
    std::u16string description; // at most kDescriptionCapacity - 1 units
    std::array<TimeSlot, kSlotCount> slots{};
};

// One measurement. Kept compact (32 bytes) because histories of a million records are held twice
// in memory; the date-time statuses are narrowed to a byte here and widened again on disk.
struct HistoryRecord {
    double temperature = 0.0; // degrees Celsius, always
    double timeValue = 0.0;
    double downloadTimeValue = 0.0;
    int32_t interval = 0; // minutes since the previous record
    int8_t humidity = 0;  // percent
    uint8_t timeStatus = 0;
    uint8_t downloadTimeStatus = 0;

    DateTime time() const { return DateTime{timeValue, static_cast<DateTimeStatus>(timeStatus)}; }
    DateTime downloadTime() const {
        return DateTime{downloadTimeValue, static_cast<DateTimeStatus>(downloadTimeStatus)};
    }
    void setTime(const DateTime& t) {
        timeValue = t.value;
        timeStatus = static_cast<uint8_t>(t.status);
    }
    void setDownloadTime(const DateTime& t) {
        downloadTimeValue = t.value;
        downloadTimeStatus = static_cast<uint8_t>(t.status);
    }
};
static_assert(sizeof(HistoryRecord) == 32);

// A record as a download reads it from the recorder, before the store gives it its times.
struct RawRecord {
    int raw = 0; // raw temperature; degrees Celsius = raw x 0.1 - 40
    int humidity = 0;
    int interval = 0;
};

} // namespace veldrin
