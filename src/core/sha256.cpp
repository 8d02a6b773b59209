#include "core/sha256.h"

namespace veldrin {

std::string hexText(const unsigned char* digest, std::size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    constexpr unsigned kNibble = 4;
    constexpr unsigned kLowNibble = 0x0F;
    std::string text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[digest[i] >> kNibble];
        text += kDigits[digest[i] & kLowNibble];
    }
    return text;
}

} // namespace veldrin
