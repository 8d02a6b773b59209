#include "lang/language_table.h"
#include "lang/safe_format.h"
#include "lang/utf.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace veldrin {
namespace {

// Every language string number that the program shows somewhere.
const std::set<int> kUsedStrings{
    0,   1,   2,   3,   4,   5,   6,   7,   8,   10,  11,  13,  14,  17,  19,  23,  25,  26,
    27,  28,  30,  31,  32,  34,  36,  40,  42,  44,  45,  46,  48,  49,  50,  51,  52,  53,
    54,  55,  56,  57,  58,  59,  62,  63,  65,  66,  67,  70,  74,  75,  76,  78,  81,  82,
    84,  89,  90,  91,  92,  93,  94,  95,  96,  98,  99,  100, 101, 102, 103, 104, 105, 106,
    107, 108, 109, 110, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124,
    125, 126, 127, 140, 141, 142, 143, 144, 145, 146, 170, 171, 172, 173, 174, 175, 176, 177,
    178, 179, 180, 181, 182, 183, 184, 185, 186, 187, 188, 189, 190, 191, 192, 193, 194, 195,
    196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 207, 208, 209, 210, 220, 230, 231,
    232, 233, 260, 261, 262, 263, 264, 265, 266, 267, 268, 269, 270, 271, 272, 273, 274, 275,
    288, 289, 296, 297, 308, 309, 310, 311, 312, 316, 317, 318, 328};

// Strings used as formats, with the number of integers the program passes them.
const std::map<int, std::size_t> kFormatStrings{{25, 0},  {49, 0},  {50, 0},  {53, 0}, {75, 2},
                                                {114, 1}, {144, 2}, {145, 1}, {311, 1}};

std::string shippedPath(int language) {
    return testing::sourcePath(std::string("resources/lang/") + languageFileName(language));
}

std::u16string decode(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return units;
}

class ShippedLanguageFiles : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(readLanguageFile(shippedPath(GetParam()), strings, error)) << error;
        table.setStrings(GetParam(), strings);
    }
    std::u16string text(int index) const { return table.fetch(GetParam(), index); }

    LanguageStrings strings;
    LanguageTable table;
};

TEST_P(ShippedLanguageFiles, HaveHeadingAnd128LinesEachEndingInLineFeed) {
    const std::string bytes = testing::readFile(shippedPath(GetParam()));
    ASSERT_EQ(bytes.size() % 2, 0u);
    const std::u16string units = decode(bytes);
    ASSERT_FALSE(units.empty());
    EXPECT_EQ(units.front(), u'\uFEFF');
    EXPECT_EQ(units.back(), u'\n');
    // The heading, the classic 128 texts, then the later ones up to the highest in use.
    const int lines = 1 + std::max(kClassicLanguageStringCount, *kUsedStrings.rbegin() + 1);
    EXPECT_EQ(std::count(units.begin(), units.end(), u'\n'), lines);
    // One line-end convention throughout: no carriage returns at all.
    EXPECT_EQ(units.find(u'\r'), std::u16string::npos);
}

TEST_P(ShippedLanguageFiles, UsedStringsAreFilledAndUnusedOnesEmpty) {
    for (int index = 0; index < kLanguageStringCount; ++index) {
        if (kUsedStrings.count(index) != 0) {
            EXPECT_FALSE(text(index).empty()) << "string " << index;
            EXPECT_EQ(text(index), strings[static_cast<std::size_t>(index)])
                << "string " << index << " has trailing white space";
        } else {
            EXPECT_TRUE(strings[static_cast<std::size_t>(index)].empty()) << "string " << index;
        }
    }
}

TEST_P(ShippedLanguageFiles, ProgramTitleIsExactlyVeldrin) {
    EXPECT_EQ(text(115), u"Veldrin");
}

TEST_P(ShippedLanguageFiles, FormatStringsTakeExactlyTheirIntegers) {
    for (const auto& [index, count] : kFormatStrings) {
        EXPECT_TRUE(formatTakesIntegers(text(index), count))
            << "string " << index << ": " << utf16ToUtf8(text(index));
    }
    // The numbers land where the text says, not shown literally.
    const std::u16string slots = formatLanguageText(text(75), {3, 2});
    EXPECT_NE(slots.find(u'3'), std::u16string::npos);
    EXPECT_LT(slots.find(u'3'), slots.find(u'2'));
    EXPECT_EQ(slots.find(u'%'), std::u16string::npos);
    EXPECT_NE(formatLanguageText(text(114), {1234}).find(u"1234"), std::u16string::npos);
}

TEST_P(ShippedLanguageFiles, ComposedTextsReadAsWordsNotSentences) {
    // These are joined with a number or a unit; a closing full stop would break the result.
    for (int index : {30, 74, 89, 121}) {
        EXPECT_NE(text(index).back(), u'.') << "string " << index;
    }
    // The period combo parses its slot entries back with string 74 followed by a number.
    EXPECT_EQ(text(74).find_first_of(u"%0123456789"), std::u16string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, ShippedLanguageFiles,
                         ::testing::Values(kEnglish, kGerman, kFrench));

TEST(ShippedLanguageFilesTogether, LoadFromTheirFolderWithDistinctLanguageNames) {
    LanguageTable table;
    std::string error;
    ASSERT_TRUE(table.load(testing::sourcePath("resources/lang"), error)) << error;
    // The Language dialog lists strings 1, 2 and 3; in one language they must differ.
    for (int language = 0; language < kLanguageCount; ++language) {
        const std::set<std::u16string> names{table.fetch(language, 1), table.fetch(language, 2),
                                             table.fetch(language, 3)};
        EXPECT_EQ(names.size(), 3u) << "language " << language;
    }
    // Each file holds its own language, not a copy of another.
    EXPECT_NE(table.fetch(kEnglish, 0), table.fetch(kGerman, 0));
    EXPECT_NE(table.fetch(kEnglish, 0), table.fetch(kFrench, 0));
    EXPECT_NE(table.fetch(kGerman, 0), table.fetch(kFrench, 0));
}

} // namespace
} // namespace veldrin
