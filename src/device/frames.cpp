#include "device/frames.h"

#include <algorithm>

namespace veldrin {

Frame commandFrame(RecorderCommand command, uint16_t address, uint8_t value) {
    const auto code = static_cast<uint8_t>(command);
    return Frame{code,
                 static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address & 0xFF),
                 0x20,
                 code,
                 command == RecorderCommand::writeByte ? value : uint8_t{0},
                 0x00,
                 0x20};
}

bool isAcknowledgement(const Frame& frame) {
    return std::all_of(frame.begin(), frame.end(), [](uint8_t b) { return b == kAckByte; });
}

} // namespace veldrin
