#include "lang/safe_format.h"

#include "lang/language_table.h"

#include <optional>

namespace veldrin {

namespace {

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    char16_t signChar = 0; // '+', ' ' or none
    int width = 0;
};

// Reads the conversion whose '%' stands at `pos`; on success `pos` is moved past it. A doubled
// percent sign is reported through `literalPercent`.
std::optional<Conversion> readConversion(std::u16string_view text, std::size_t& pos,
                                         bool& literalPercent) {
    std::size_t i = pos + 1;
    literalPercent = false;
    if (i < text.size() && text[i] == u'%') {
        literalPercent = true;
        pos = i + 1;
        return Conversion{};
    }
    Conversion c;
    for (; i < text.size(); ++i) {
        const char16_t flag = text[i];
        if (flag == u'-') {
            c.leftAlign = true;
        } else if (flag == u'0') {
            c.zeroPad = true;
        } else if (flag == u'+') {
            c.signChar = u'+';
        } else if (flag == u' ') {
            if (c.signChar != u'+') {
                c.signChar = u' ';
            }
        } else {
            break;
        }
    }
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        c.width = c.width * 10 + (text[i] - u'0');
        if (c.width > kMaxFormatWidth) {
            return std::nullopt;
        }
    }
    if (i >= text.size() || (text[i] != u'd' && text[i] != u'i')) {
        return std::nullopt;
    }
    pos = i + 1;
    return c;
}

std::u16string formatInteger(const Conversion& c, long long value) {
    std::u16string digits;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);

    std::u16string sign;
    if (value < 0) {
        sign = u"-";
    } else if (c.signChar != 0) {
        sign = std::u16string(1, c.signChar);
    }
    const std::size_t length = sign.size() + digits.size();
    const std::size_t padding =
        static_cast<std::size_t>(c.width) > length ? static_cast<std::size_t>(c.width) - length : 0;
    if (c.leftAlign) {
        return sign + digits + std::u16string(padding, u' ');
    }
    if (c.zeroPad) {
        return sign + std::u16string(padding, u'0') + digits;
    }
    return std::u16string(padding, u' ') + sign + digits;
}

} // namespace

bool formatTakesIntegers(std::u16string_view format, std::size_t integerCount) {
    std::size_t conversions = 0;
    std::size_t pos = 0;
    while ((pos = format.find(u'%', pos)) != std::u16string_view::npos) {
        bool literalPercent = false;
        if (!readConversion(format, pos, literalPercent)) {
            return false;
        }
        if (!literalPercent) {
            ++conversions;
        }
    }
    return conversions == integerCount;
}

std::u16string formatLanguageText(std::u16string_view format,
                                  std::initializer_list<long long> values) {
    if (!formatTakesIntegers(format, values.size())) {
        return std::u16string(format);
    }
    std::u16string out;
    const long long* next = values.begin();
    std::size_t pos = 0;
    for (;;) {
        const std::size_t percent = format.find(u'%', pos);
        out.append(format.substr(pos, percent - pos));
        if (percent == std::u16string_view::npos) {
            return out;
        }
        pos = percent;
        bool literalPercent = false;
        const std::optional<Conversion> c = readConversion(format, pos, literalPercent);
        if (literalPercent) {
            out.push_back(u'%');
        } else {
            out.append(formatInteger(*c, *next++));
        }
    }
}

std::u16string formattedLanguageString(int index, std::initializer_list<long long> values) {
    return formatLanguageText(languageString(index), values);
}

} // namespace veldrin
