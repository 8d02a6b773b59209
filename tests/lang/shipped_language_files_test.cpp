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
const std::set<int> kUsedStrings{266, 267, 268, 269, 270, 271, 272, 273, 274, 275, 288, 289,
                                 296, 297, 308, 309, 310, 311, 312, 316, 317, 318, 328};

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
