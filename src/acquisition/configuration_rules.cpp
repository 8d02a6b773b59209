#include "acquisition/configuration_rules.h"

#include "acquisition/configuration_write.h"

namespace veldrin::rules {

bool slotYearFits(const DateTime& t) {
    CalendarFields f;
    return t.fields(f) && f.year >= kFirstSlotYear && f.year <= kLastSlotYear;
}

DateTime toMinute(const DateTime& t) {
    CalendarFields f;
    if (!t.fields(f)) {
        return t;
    }
    return DateTime::fromFields(f.year, f.month, f.day, f.hour, f.minute, 0);
}

bool circularClashesWithSlots(const ConfigurationEdit& edit) {
    if (edit.circular != kCircular) {
        return false;
    }
    for (const TimeSlot& slot : edit.slots) {
        if (slot.inUse != 0) {
            return true;
        }
    }
    return false;
}

std::vector<std::pair<int, int>> slotsOutOfOrder(const ConfigurationEdit& edit) {
    std::vector<std::pair<int, int>> out;
    if (edit.circular != kLinear) {
        return out;
    }
    for (int k = 1; k < kSlotCount; ++k) {
        const TimeSlot& earlier = edit.slots[static_cast<std::size_t>(k - 1)];
        const TimeSlot& later = edit.slots[static_cast<std::size_t>(k)];
        if (later.inUse != 0 && earlier.inUse != 0 && later.start < earlier.end) {
            out.emplace_back(k, k - 1);
        }
    }
    return out;
}

} // namespace veldrin::rules
