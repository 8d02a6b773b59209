#pragma once
// Writing an edited configuration into the recorder's header: unit, date order, circular mode,
// interval, slots in use and the four time slots. The description stays on the PC.

#include "core/recorder_types.h"
#include "device/logger_header.h"
#include "device/logger_link.h"

#include <array>
#include <string>

namespace veldrin {

// What the settings dialog hands back.
struct ConfigurationEdit {
    int32_t tempUnit = 0;  // 0 Celsius, 1 Fahrenheit
    int32_t dateOrder = 0; // 0 month-day, 1 day-month
    int32_t circular = 0;  // 0 linear, 1 circular, above 2: the recorder has no circular mode
    int32_t interval = 1;  // minutes, 1..240
    std::u16string description;
    std::array<TimeSlot, kSlotCount> slots{}; // start, end and inUse are used
};

// The edit as it stands in `settings` (for presetting the dialog or the command line).
ConfigurationEdit editFromSettings(const RecorderSettings& settings);

// Applies the edit to `connected` and writes it into the recorder: five single bytes, then one
// 32-byte write per slot. The 18 bytes of each slot write that the system does not define carry
// what `lastHeader` holds there, so the write leaves them as the recorder had them. 1 when the
// recorder acknowledged every write; the writes stop at the first one it refuses (0).
int WriteConfiguration(LoggerLink& link, const ConfigurationEdit& edit,
                       const HeaderImage& lastHeader, RecorderSettings& connected);

} // namespace veldrin
