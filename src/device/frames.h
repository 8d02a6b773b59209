#pragma once
// The recorder's three memory commands as 8-byte frames.

#include <array>
#include <cstdint>

namespace veldrin {

using Frame = std::array<uint8_t, 8>;

enum class RecorderCommand : uint8_t { write32 = 0xA0, read32 = 0xA1, writeByte = 0xA2 };

constexpr uint8_t kAckByte = 0xA5;
constexpr int kMemoryUnit = 32;

Frame commandFrame(RecorderCommand command, uint16_t address, uint8_t value = 0);
bool isAcknowledgement(const Frame& frame);

} // namespace veldrin
