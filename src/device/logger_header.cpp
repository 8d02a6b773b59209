#include "device/logger_header.h"

#include <algorithm>

namespace veldrin {
namespace {

uint32_t be32(const HeaderImage& h, int at) {
    return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) |
           uint32_t{h[at + 3]};
}

uint16_t be16(const HeaderImage& h, int at) {
    return static_cast<uint16_t>((h[at] << 8) | h[at + 1]);
}

} // namespace

RecorderIdentity identityFromHeader(const HeaderImage& h) {
    RecorderIdentity id;
    id.product = be32(h, header::idProduct);
    id.high = be16(h, header::idHigh);
    id.low = be16(h, header::idLow);
    return id;
}

std::array<std::pair<uint16_t, uint8_t>, 8> identityWrites(const RecorderIdentity& id) {
    return {{{8, static_cast<uint8_t>(id.product >> 24)},
             {9, static_cast<uint8_t>(id.product >> 16)},
             {10, static_cast<uint8_t>(id.product >> 8)},
             {11, static_cast<uint8_t>(id.product)},
             {12, static_cast<uint8_t>(id.high >> 8)},
             {13, static_cast<uint8_t>(id.high)},
             {14, static_cast<uint8_t>(id.low >> 8)},
             {15, static_cast<uint8_t>(id.low)}}};
}

void storeIdentity(HeaderImage& h, const RecorderIdentity& id) {
    for (const auto& [address, value] : identityWrites(id)) {
        h[address] = value;
    }
}

DateTime dateTimeFromBytes(const uint8_t* six) {
    return DateTime::fromFields(2000 + six[0], six[1], six[2], six[3], six[4], six[5]);
}

DateTime dateTimeFromFiveBytes(const uint8_t* five) {
    return DateTime::fromFields(2000 + five[0], five[1], five[2], five[3], five[4], 0);
}

bool bytesFromDateTime(const DateTime& t, uint8_t* six) {
    CalendarFields f;
    if (!t.fields(f) || f.year < 2000 || f.year > 2255) {
        return false;
    }
    six[0] = static_cast<uint8_t>(f.year - 2000);
    six[1] = static_cast<uint8_t>(f.month);
    six[2] = static_cast<uint8_t>(f.day);
    six[3] = static_cast<uint8_t>(f.hour);
    six[4] = static_cast<uint8_t>(f.minute);
    six[5] = static_cast<uint8_t>(f.second);
    return true;
}

int32_t decodeCircularMode(uint8_t byte) {
    if (byte > 2) {
        return byte;
    }
    return byte == 2 ? 1 : 0;
}

void decodeSettings(const HeaderImage& h, int32_t recorderNumber, const DateTime& now,
                    RecorderSettings& out) {
    out.tempUnit = h[header::tempUnit] != 0xFF ? 1 : 0;
    out.dateOrder = h[header::dateOrder] == 0xFF ? 1 : 0;
    out.interval = h[header::interval];
    out.lastBlock = h[header::lastBlock];
    out.wrapMarker = h[header::wrapMarker];
    out.versionMajor = h[header::versionMajor];
    out.versionMinor = h[header::versionMinor];
    out.recorderNumber = recorderNumber;
    out.circularMode = decodeCircularMode(h[header::circularMode]);
    out.slotsInUse = h[header::slotsInUse];
    for (int k = 0; k < kSlotCount; ++k) {
        const uint8_t* block = h.data() + header::slotOffset(k);
        TimeSlot& slot = out.slots[static_cast<std::size_t>(k)];
        slot.start = dateTimeFromFiveBytes(block);
        slot.end = dateTimeFromFiveBytes(block + 5);
        slot.inUse = slot.start.isValid() && slot.end.isValid() ? 1 : 0;
        if (slot.inUse == 0) {
            slot.start = now;
            slot.end = now;
        }
        slot.firstBlock = block[12];
        slot.lastBlock = block[13];
    }
}

uint8_t tempUnitByte(int32_t unit) {
    return unit == 0 ? 0xFF : 0x00;
}
uint8_t dateOrderByte(int32_t order) {
    return order == 1 ? 0xFF : 0x00;
}

uint8_t circularModeByte(int32_t circular) {
    if (circular > 2) {
        return 0xFF;
    }
    return circular == 0 ? 0x00 : 0x02;
}

std::array<uint8_t, 32> slotImage(const TimeSlot& slot, const uint8_t* rest18) {
    std::array<uint8_t, 32> image{};
    image.fill(0xFF);
    uint8_t start[6];
    uint8_t end[6];
    if (slot.inUse == 1 && bytesFromDateTime(slot.start, start) &&
        bytesFromDateTime(slot.end, end)) {
        std::copy(start, start + 5, image.begin());
        std::copy(end, end + 5, image.begin() + 5);
    }
    image[12] = static_cast<uint8_t>(slot.firstBlock);
    image[13] = static_cast<uint8_t>(slot.lastBlock);
    if (rest18 != nullptr) {
        std::copy(rest18, rest18 + 18, image.begin() + 14);
    }
    return image;
}

DeviceRecord decodeRecord(const uint8_t* four) {
    DeviceRecord r;
    if (four[0] == 0xFF || four[1] == 0xFF) {
        r.raw = four[0] * 256 + four[1];
    } else {
        r.raw = (four[0] & 0x0F) * 256 + four[1];
        if ((four[0] & 0x80) != 0) {
            r.raw = 800 - r.raw;
        }
    }
    r.humidity = four[2];
    r.interval = four[3];
    const auto signedHumidity = static_cast<int8_t>(four[2]);
    r.plausible = signedHumidity >= 1 && signedHumidity <= 99 && r.interval >= 1 &&
                  r.interval <= 240 && r.raw <= 1200;
    return r;
}

std::array<uint8_t, 4> encodeRecord(int raw, int humidity, int interval) {
    raw = std::clamp(raw, 0, 1200);
    return {static_cast<uint8_t>((raw >> 8) & 0x0F), static_cast<uint8_t>(raw & 0xFF),
            static_cast<uint8_t>(humidity), static_cast<uint8_t>(interval)};
}

} // namespace veldrin
