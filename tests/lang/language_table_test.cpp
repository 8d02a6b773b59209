#include "core/paths.h"
#include "lang/language_table.h"
#include "lang_test_util.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace veldrin {
namespace {

using testing::utf16le;

// A language file as shipped: byte-order mark and heading, then the given body.
std::string languageFile(std::u16string_view body) {
    return utf16le(u"\uFEFFheading\n") + utf16le(body);
}

LanguageStrings parse(const std::string& bytes) {
    LanguageStrings out;
    parseLanguageFile(bytes, out);
    return out;
}

std::u16string numberedLines(int count) {
    std::u16string body;
    for (int i = 0; i < count; ++i) {
        for (char c : "line " + std::to_string(i)) {
            body.push_back(static_cast<char16_t>(c));
        }
        body.push_back(u'\n');
    }
    return body;
}

TEST(LanguageFile, HeadingOnlyGivesEmptyTexts) {
    for (const std::string& bytes :
         {utf16le(u"\uFEFFonly a heading\n"), utf16le(u"\uFEFFno line feed"), std::string()}) {
        const LanguageStrings strings = parse(bytes);
        for (const auto& text : strings) {
            EXPECT_TRUE(text.empty());
        }
    }
}

TEST(LanguageFile, SecondLineIsStringZeroAndLinesBeyondTheTableAreIgnored) {
    const LanguageStrings strings = parse(languageFile(numberedLines(kLanguageStringCount + 50)));
    EXPECT_EQ(strings[0], u"line 0");
    EXPECT_EQ(strings[kLanguageStringCount - 1], u"line 351");

    // The heading is dropped even without a byte-order mark.
    EXPECT_EQ(parse(utf16le(u"x\nfirst\n"))[0], u"first");
}

TEST(LanguageFile, ShortFileLeavesTheRestEmptyAndTakesALastLineWithoutLineFeed) {
    const LanguageStrings strings = parse(languageFile(u"zero\n\none\ntwo"));
    EXPECT_EQ(strings[0], u"zero");
    EXPECT_EQ(strings[1], u"");
    EXPECT_EQ(strings[2], u"one");
    EXPECT_EQ(strings[3], u"two");
    EXPECT_TRUE(strings[4].empty());
}

TEST(LanguageFile, CarriageReturnStaysInTheEntryButNeverShows) {
    LanguageTable table;
    LanguageStrings strings = parse(languageFile(u"Export\r\nHelp \t\v\f\r\n  lead\r\n"));
    EXPECT_EQ(strings[0], u"Export\r");
    table.setStrings(kEnglish, strings);
    EXPECT_EQ(table.fetch(kEnglish, 0), u"Export");
    EXPECT_EQ(table.fetch(kEnglish, 1), u"Help");
    EXPECT_EQ(table.fetch(kEnglish, 2), u"  lead"); // only trailing white space goes
}

TEST(LanguageFile, RawUnitsAreKeptAndAnOddLastByteIsDropped) {
    // Units are taken as they are: a lone surrogate and a non-character survive the load.
    std::string bytes = languageFile(u"\xD800\xFFFF"
                                     u"a\n");
    EXPECT_EQ(parse(bytes)[0], (std::u16string{0xD800, 0xFFFF, u'a'}));
    bytes += utf16le(u"b") + "\x42";
    EXPECT_EQ(parse(bytes)[1], u"b");
}

TEST(LanguageFile, NotUtf16IsReadWithoutFailing) {
    testing::TempDir dir;
    // Plain 8-bit text, odd length: garbled entries, but a successful read.
    testing::writeFile(dir.file("latin.txt"), "Heading\r\nExport\r\nHelp\r\nAbout\r\n!");
    LanguageStrings strings;
    std::string error;
    EXPECT_TRUE(readLanguageFile(dir.file("latin.txt"), strings, error)) << error;
}

TEST(LanguageFile, ChunkedInputGivesTheSameEntries) {
    // A unit split between two reads must join up again.
    const std::string bytes = languageFile(u"Gr\u00FC\u00DFe\nzwei\n");
    LanguageStrings whole;
    parseLanguageFile(bytes, whole);
    LanguageStrings pieces;
    LanguageFileParser parser(pieces);
    for (char byte : bytes) {
        parser.feed(&byte, 1);
    }
    parser.finish();
    EXPECT_EQ(pieces, whole);
}

class LanguageTableLoad : public ::testing::Test {
protected:
    void writeAll() {
        testing::writeFile(dir.file("StdEnglish.txt"), languageFile(u"Language\n"));
        testing::writeFile(dir.file("stdGermen.txt"), languageFile(u"Sprache\n"));
        testing::writeFile(dir.file("StdFrench.txt"), languageFile(u"Langue\n"));
    }
    testing::TempDir dir;
    testing::CurrentLanguageGuard guard;
};

TEST_F(LanguageTableLoad, ReadsTheThreeFilesOfTheGivenFolder) {
    writeAll();
    LanguageTable table;
    std::string error;
    ASSERT_TRUE(table.load(dir.path(), error)) << error;
    EXPECT_EQ(table.fetch(kEnglish, 0), u"Language");
    EXPECT_EQ(table.fetch(kGerman, 0), u"Sprache");
    EXPECT_EQ(table.fetch(kFrench, 0), u"Langue");
    CurrentLanguage::set(kFrench);
    EXPECT_EQ(table.fetch(0), u"Langue");
    EXPECT_EQ(table.fetch(kLanguageStringCount), u"");

    // A later text that a file made for the classic table lacks comes from English; a classic
    // one that is empty stays empty.
    LanguageStrings english = table.strings(kEnglish);
    english[kClassicLanguageStringCount] = u"Later";
    english[1] = u"Classic";
    table.setStrings(kEnglish, english);
    EXPECT_EQ(table.fetch(kFrench, kClassicLanguageStringCount), u"Later");
    EXPECT_EQ(table.fetch(kFrench, 1), u"");
    EXPECT_EQ(table.fetch(-1), u"");
}

TEST_F(LanguageTableLoad, MissingFileIsNamedAndLeavesTheTableAsItWas) {
    writeAll();
    std::filesystem::remove(dir.file("stdGermen.txt"));
#ifndef _WIN32 // Windows file names ignore letter case
    // A file named in another letter case does not stand in for it.
    testing::writeFile(dir.file("StdGermen.txt"), languageFile(u"Sprache\n"));
#endif
    LanguageTable table;
    LanguageStrings before;
    before[0] = u"kept";
    table.setStrings(kEnglish, before);
    std::string error;
    EXPECT_FALSE(table.load(dir.path(), error));
    // Named as the system writes paths.
    EXPECT_NE(error.find(joinPath(dir.path(), "stdGermen.txt")), std::string::npos) << error;
    EXPECT_EQ(table.fetch(kEnglish, 0), u"kept");
}

TEST(CurrentLanguageTest, OutOfRangeReadsAsEnglishAndIsStoredBack) {
    testing::CurrentLanguageGuard guard;
    for (int value : {-1, 3, 1000}) {
        CurrentLanguage::set(value);
        EXPECT_EQ(CurrentLanguage::get(), kEnglish) << value;
        EXPECT_EQ(CurrentLanguage::stored(), kEnglish) << value;
    }
    CurrentLanguage::set(kFrench);
    EXPECT_EQ(CurrentLanguage::get(), kFrench);
}

TEST(CurrentLanguageTest, OutOfRangeFetchesEnglish) {
    testing::CurrentLanguageGuard guard;
    LanguageTable table;
    LanguageStrings english;
    LanguageStrings german;
    english[0] = u"Language";
    german[0] = u"Sprache";
    table.setStrings(kEnglish, english);
    table.setStrings(kGerman, german);
    CurrentLanguage::set(7);
    EXPECT_EQ(table.fetch(0), u"Language");
}

} // namespace
} // namespace veldrin
