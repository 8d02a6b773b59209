#include "acquisition/configuration_write.h"

namespace veldrin {

ConfigurationEdit editFromSettings(const RecorderSettings& settings) {
    ConfigurationEdit edit;
    edit.tempUnit = settings.tempUnit;
    edit.dateOrder = settings.dateOrder;
    edit.circular = settings.circularMode;
    edit.interval = settings.interval;
    edit.description = settings.description;
    edit.slots = settings.slots;
    return edit;
}

int WriteConfiguration(LoggerLink& link, const ConfigurationEdit& edit,
                       const HeaderImage& lastHeader, RecorderSettings& connected) {
    connected.tempUnit = edit.tempUnit;
    connected.dateOrder = edit.dateOrder;
    connected.circularMode = edit.circular;
    connected.interval = edit.interval;
    int inUse = 0;
    for (int k = 0; k < kSlotCount; ++k) {
        TimeSlot& slot = connected.slots[static_cast<std::size_t>(k)];
        const TimeSlot& edited = edit.slots[static_cast<std::size_t>(k)];
        slot.start = edited.start;
        slot.end = edited.end;
        slot.inUse = edited.inUse;
        if (slot.inUse != 0) {
            ++inUse;
        }
    }
    connected.slotsInUse = inUse;
    connected.description = edit.description;

    // A recorder that stops answering (pulled) would make every further write wait for its
    // acknowledgement in vain, so the writes end at the first one refused.
    const std::pair<int, uint8_t> bytes[] = {
        {header::tempUnit, tempUnitByte(edit.tempUnit)},
        {header::dateOrder, dateOrderByte(edit.dateOrder)},
        {header::circularMode, circularModeByte(edit.circular)},
        {header::interval, static_cast<uint8_t>(edit.interval & 0xFF)},
        {header::slotsInUse, static_cast<uint8_t>(inUse)},
    };
    for (const auto& [address, value] : bytes) {
        if (link.WriteByte(static_cast<uint16_t>(address), value) == 0) {
            return 0;
        }
    }
    for (int k = 0; k < kSlotCount; ++k) {
        const int offset = header::slotOffset(k);
        const auto image = slotImage(connected.slots[static_cast<std::size_t>(k)],
                                     lastHeader.data() + offset + 14);
        uint8_t buffer[kMemoryUnit];
        std::copy(image.begin(), image.end(), buffer);
        if (link.WriteMemory(static_cast<uint16_t>(offset), buffer) == 0) {
            return 0;
        }
    }
    return 1;
}

} // namespace veldrin
