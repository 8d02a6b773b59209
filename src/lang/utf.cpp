#include "lang/utf.h"

#include <cstdint>

namespace veldrin {

namespace {

bool isHighSurrogate(char32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool isLowSurrogate(char32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

// Length of the sequence a lead byte opens and the allowed range of its second byte, which rules
// out overlong forms, encoded surrogates and values above U+10FFFF. Length 0: not a lead byte.
struct LeadByte {
    int length;
    std::uint8_t low;
    std::uint8_t high;
};

LeadByte classifyLead(std::uint8_t b) {
    if (b >= 0xC2 && b <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (b == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if (b == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (b >= 0xE1 && b <= 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (b == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (b >= 0xF1 && b <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (b == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

char32_t leadBits(std::uint8_t b, int length) {
    switch (length) {
    case 2:
        return b & 0x1F;
    case 3:
        return b & 0x0F;
    default:
        return b & 0x07;
    }
}

} // namespace

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t low = text[++i];
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, kReplacementCharacter);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        const LeadByte kind = classifyLead(lead);
        if (kind.length == 0) {
            appendUtf16(out, kReplacementCharacter);
            ++i;
            continue;
        }
        // A broken sequence is replaced as a whole up to the first byte that does not fit, and
        // decoding resumes at that byte.
        char32_t c = leadBits(lead, kind.length);
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 1; k < kind.length; ++k, ++j) {
            const std::uint8_t low = k == 1 ? kind.low : 0x80;
            const std::uint8_t high = k == 1 ? kind.high : 0xBF;
            if (j >= text.size() || static_cast<std::uint8_t>(text[j]) < low ||
                static_cast<std::uint8_t>(text[j]) > high) {
                complete = false;
                break;
            }
            c = (c << 6) | (static_cast<std::uint8_t>(text[j]) & 0x3F);
        }
        appendUtf16(out, complete ? c : kReplacementCharacter);
        i = j;
    }
    return out;
}

} // namespace veldrin
