// A language file as a user may have edited it: the loader fed whole, in pieces and from a file,
// every entry fetched, converted and used as a format with the checks that guard the formats.

#include "core/atomic_file.h"
#include "fuzz_support.h"
#include "lang/language_table.h"
#include "lang/safe_format.h"
#include "lang/utf.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

using namespace veldrin;

bool hasLoneSurrogate(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                return true;
            }
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

void useAsFormats(const std::u16string& entry) {
    for (std::size_t count = 0; count <= 2; ++count) {
        const bool fits = formatTakesIntegers(entry, count);
        std::u16string out;
        if (count == 0) {
            out = formatLanguageText(entry);
        } else if (count == 1) {
            out = formatLanguageText(entry, {-2147483648LL});
        } else {
            out = formatLanguageText(entry, {-9223372036854775807LL - 1, 42});
        }
        if (!fits) {
            FUZZ_REQUIRE(out == entry);
        } else {
            // Each conversion gives at most the widest field or a sign and 19 digits.
            FUZZ_REQUIRE(out.size() <= entry.size() + count * (kMaxFormatWidth + 20));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    LanguageStrings whole;
    parseLanguageFile(std::string_view(bytes, size), whole);

    // The same bytes in pieces whose sizes come from the bytes themselves.
    LanguageStrings pieces;
    {
        LanguageFileParser parser(pieces);
        std::size_t at = 0;
        bool more = true;
        while (more && at < size) {
            const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 7);
            more = parser.feed(bytes + at, n);
            at += n;
        }
        parser.finish();
    }
    FUZZ_REQUIRE(pieces == whole);

    const std::string path = fuzz::scratch().file("StdEnglish.txt");
    std::string error;
    FUZZ_REQUIRE(writeFileAtomically(path, std::string(bytes, size), error));
    LanguageStrings fromFile;
    FUZZ_REQUIRE(readLanguageFile(path, fromFile, error));
    FUZZ_REQUIRE(fromFile == whole);

    for (const std::u16string& raw : whole) {
        const std::u16string entry = trimTrailingWhitespace(raw);
        FUZZ_REQUIRE(entry.size() <= raw.size());
        const std::string utf8 = utf16ToUtf8(entry);
        if (!hasLoneSurrogate(entry)) {
            FUZZ_REQUIRE(utf8ToUtf16(utf8) == entry);
        }
        useAsFormats(entry);
    }
    LanguageTable table;
    table.setStrings(kGerman, whole);
    for (int index = -1; index <= kLanguageStringCount; ++index) {
        table.fetch(kGerman, index);
    }
    return 0;
}
