#include "lang/safe_format.h"
#include "lang/utf.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

TEST(SafeFormat, FillsIntegersAndPercentSigns) {
    EXPECT_EQ(formatLanguageText(u"Slot %d starts before slot %d ends.", {1, 0}),
              u"Slot 1 starts before slot 0 ends.");
    EXPECT_EQ(formatLanguageText(u"Unknown error (code %d).", {-2147483648LL}),
              u"Unknown error (code -2147483648).");
    EXPECT_EQ(formatLanguageText(u"100%% loaded"), u"100% loaded");
    EXPECT_EQ(formatLanguageText(u"%i%%", {42}), u"42%");
}

TEST(SafeFormat, FlagsAndWidthBehaveAsInPrintf) {
    EXPECT_EQ(formatLanguageText(u"[%5d]", {42}), u"[   42]");
    EXPECT_EQ(formatLanguageText(u"[%-5d]", {42}), u"[42   ]");
    EXPECT_EQ(formatLanguageText(u"[%05d]", {-42}), u"[-0042]");
    EXPECT_EQ(formatLanguageText(u"[%+d]", {7}), u"[+7]");
    EXPECT_EQ(formatLanguageText(u"[% d]", {7}), u"[ 7]");
    EXPECT_EQ(formatLanguageText(u"[%-05d]", {7}), u"[7    ]");
    EXPECT_EQ(formatLanguageText(u"[%2d]", {12345}), u"[12345]");
    EXPECT_EQ(formatLanguageText(u"%d", {-9223372036854775807LL - 1}), u"-9223372036854775808");
}

TEST(SafeFormat, ForeignConversionsAreShownLiterally) {
    for (const std::u16string text :
         {u"%s", u"%n", u"%x", u"%p", u"%ld", u"%lld", u"%hd", u"%.3d", u"%*d", u"%1$d", u"%#d",
          u"%c", u"%f", u"%ls", u"Error %", u"%%%", u"%100d", u"%99999999999999999999d"}) {
        EXPECT_EQ(formatLanguageText(text, {5}), text) << utf16ToUtf8(text);
    }
}

TEST(SafeFormat, ConversionCountMustMatchTheValuesGiven) {
    EXPECT_EQ(formatLanguageText(u"%d and %d", {1}), u"%d and %d");
    EXPECT_EQ(formatLanguageText(u"%d", {1, 2}), u"%d");
    EXPECT_EQ(formatLanguageText(u"%d"), u"%d");
    EXPECT_EQ(formatLanguageText(u"Loading 100%"), u"Loading 100%");
    EXPECT_TRUE(formatTakesIntegers(u"%99d %%", 1));
    EXPECT_FALSE(formatTakesIntegers(u"%d %d %d", 2));
}

TEST(Utf, Utf16AndUtf8RoundTrip) {
    const std::u16string text = u"Temp\u00E9rature \u00B0C \u20AC \U0001F321";
    EXPECT_EQ(utf16ToUtf8(text), "Temp\xC3\xA9rature \xC2\xB0"
                                 "C \xE2\x82\xAC \xF0\x9F\x8C\xA1");
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
}

TEST(Utf, InvalidInputIsReplaced) {
    // Lone surrogates, either order.
    EXPECT_EQ(utf16ToUtf8(std::u16string{u'a', 0xD800, u'b', 0xDC00}), "a\xEF\xBF\xBD"
                                                                       "b\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string{0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // Stray continuation, overlong form, encoded surrogate, above U+10FFFF, cut-off sequence.
    EXPECT_EQ(utf8ToUtf16("\x80"), u"\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("a\xE2\x82"), u"a\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xE2\x82"
                          "b"),
              u"\uFFFD"
              "b");
}

} // namespace
} // namespace veldrin
