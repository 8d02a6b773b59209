#pragma once
// The wire layout of a received input report, for every backend that reads from a HID stack:
// byte 0 the report ID (0, the recorder numbers none), bytes 1 to 8 the frame. Stacks differ in
// whether they hand the report ID over; what is missing stays 0, what is too long is cut.

#include "device/hid_backend.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace veldrin {

enum class ReportIdByte { included, stripped };

inline void placeInputReport(const uint8_t* received, std::size_t count, ReportIdByte idByte,
                             uint8_t (&report)[kReportSize]) {
    const std::size_t offset = idByte == ReportIdByte::included ? 0 : 1;
    std::copy_n(received, std::min(count, kReportSize - offset), report + offset);
    report[0] = 0;
}

} // namespace veldrin
