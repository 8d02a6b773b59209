#include "core/shown_text.h"

#include <cstdio>

namespace veldrin {
namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

bool startsCharacter(unsigned char byte) {
    return (byte & 0xC0) != 0x80; // UTF-8 continuation bytes belong to the character before
}

} // namespace

std::string shownValue(std::string_view text, std::size_t maxCharacters) {
    std::string out = "\"";
    std::size_t characters = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (startsCharacter(byte) && characters++ == maxCharacters) {
            out += "...";
            break;
        }
        if (isControl(byte)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

} // namespace veldrin
