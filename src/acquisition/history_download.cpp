#include "acquisition/history_download.h"

#include "device/logger_header.h"

#include <cstring>

namespace veldrin {
namespace {

// One pass over the whole record area is 2,040 units; a range never needs more than that plus
// the partial unit it may start with.
constexpr int kMaxUnitsPerRange = (kMemorySize - kRecordAreaStart) / kMemoryUnit + 1;

// The records from n up to (not including) end, wrapping at the end of memory: at most one pass
// over the record area, whatever the header says, so this never asks for more room than the
// recorder's memory holds.
std::size_t recordsInRange(int n, int end) {
    constexpr int kArea = kMemorySize - kRecordAreaStart;
    const int bytes = ((end - n) % kArea + kArea) % kArea;
    return static_cast<std::size_t>(bytes == 0 ? kArea : bytes) / kRecordSize;
}

class RangeReader {
public:
    RangeReader(LoggerLink& link, DownloadTarget& target) : link_(link), target_(target) {}

    // Reads from n up to (not including) end, wrapping at the end of memory. Appends the plausible
    // records to `out` and counts the dropped ones. False when a recorder read failed.
    bool read(int n, int end, std::vector<RawRecord>& out, int& dropped) {
        out.reserve(out.size() + recordsInRange(n, end)); // one allocation, as large as needed
        for (int units = 0; units < kMaxUnitsPerRange; ++units) {
            n = wrapAddress(n);
            uint8_t unit[kMemoryUnit];
            if (!readAgreeing(static_cast<uint16_t>(n), unit)) {
                return false;
            }
            const int used = n % kMemoryUnit == 0 ? kMemoryUnit : kMemoryUnit - n % kMemoryUnit;
            decode(unit, used / kRecordSize, out, dropped);
            n += used;
            if (used == kMemoryUnit) {
                target_.progress(progress_);
            }
            if (n == end) {
                return true;
            }
        }
        return false; // the end was never met: a range that cannot be right
    }

private:
    bool readAgreeing(uint16_t address, uint8_t (&unit)[kMemoryUnit]) {
        for (int attempt = 0; attempt <= kMaxDisagreeingRereads; ++attempt) {
            uint8_t first[kMemoryUnit];
            uint8_t second[kMemoryUnit];
            if (link_.ReadMemory(address, first) == 0 || link_.ReadMemory(address, second) == 0) {
                return false;
            }
            if (std::memcmp(first, second, kMemoryUnit) == 0) {
                std::memcpy(unit, first, kMemoryUnit);
                return true;
            }
        }
        return false;
    }

    void decode(const uint8_t* bytes, int count, std::vector<RawRecord>& out, int& dropped) {
        for (int i = 0; i < count; ++i) {
            const DeviceRecord r = decodeRecord(bytes + i * kRecordSize);
            ++progress_;
            if (r.plausible) {
                out.push_back(RawRecord{r.raw, r.humidity, r.interval});
            } else {
                ++dropped;
            }
        }
    }

    LoggerLink& link_;
    DownloadTarget& target_;
    int progress_ = 0;
};

// A slot's records begin at its first block, which the recorder sets with the slot's first record.
bool hasFirstBlock(const TimeSlot& slot) {
    return slot.firstBlock >= kRecordAreaStart / kBlockSize &&
           slot.firstBlock < kMemorySize / kBlockSize;
}

bool isSlotMode(const RecorderSettings& s) {
    return s.circularMode == 0 && s.slotsInUse != 0;
}

int continuousDownload(RangeReader& reader, const RecorderSettings& s, int32_t d,
                       DownloadTarget& target) {
    const int end = endAddress(s.lastBlock);
    const int threshold = restartThreshold(s.lastBlock, s.wrapMarker);
    bool continued = true;
    if (d < threshold || d == 0) {
        continued = false;
    } else if (d == end) {
        return 1;
    }
    const int start = continued ? d : completeDownloadStart(s.lastBlock, s.wrapMarker);

    DownloadedBatch batch;
    batch.continues = continued;
    int dropped = 0;
    if (!reader.read(start, end, batch.records, dropped)) {
        return 0;
    }
    if (batch.records.empty()) {
        return 1;
    }
    batch.newNextAddress = end - kRecordSize * dropped;
    target.handOver(batch);
    return 1;
}

int slotDownload(RangeReader& reader, const RecorderSettings& s, int32_t d, const DateTime& now,
                 DownloadTarget& target) {
    const int end = endAddress(s.lastBlock);
    if (d < restartThreshold(s.lastBlock, s.wrapMarker)) {
        d = 0;
    } else if (d != 0 && d == end) {
        return 1;
    }
    for (const TimeSlot& slot : s.slots) {
        if (slot.inUse == 0) {
            continue;
        }
        if (slot.start > now) {
            return 1; // later slots are not looked at
        }
        if (!hasFirstBlock(slot)) {
            // Begun by the PC's clock, but the recorder has not recorded in it yet (its clock may
            // lag, and the first record comes one interval in): nothing to read here, nor in the
            // slots after it. Reading from block 0 would take the header for records.
            return 1;
        }
        const int first = slot.firstBlock * kBlockSize;
        if (d < first) {
            d = first;
        }
        const int slotEnd = slot.lastBlock != 0 ? endAddress(slot.lastBlock) : end;
        // Recording with slots never wraps, so a slot whose range is already behind the stored
        // address (or that has no range) holds nothing new.
        if (d >= slotEnd) {
            continue;
        }
        DownloadedBatch batch;
        batch.mode = DownloadedBatch::Mode::slot;
        batch.beganAtSlotStart = d == first;
        batch.slotStart = slot.start;
        int dropped = 0;
        if (!reader.read(d, slotEnd, batch.records, dropped)) {
            return 0;
        }
        if (batch.records.empty()) {
            continue;
        }
        batch.newNextAddress = slotEnd - kRecordSize * dropped;
        target.handOver(batch);
    }
    return 1;
}

} // namespace

int32_t usableNextAddress(int32_t stored) {
    if (stored < kRecordAreaStart || stored > kMemorySize || stored % kRecordSize != 0) {
        return 0;
    }
    return stored;
}

int DownloadHistory(LoggerLink& link, const RecorderSettings& settings, int32_t storedNextAddress,
                    const DateTime& now, DownloadTarget& target) {
    if (settings.lastBlock < 1 || settings.lastBlock > 255) {
        return 1; // no record area to read: block 0 is the header
    }
    RangeReader reader(link, target);
    const int32_t d = usableNextAddress(storedNextAddress);
    if (isSlotMode(settings)) {
        return slotDownload(reader, settings, d, now, target);
    }
    return continuousDownload(reader, settings, d, target);
}

} // namespace veldrin
