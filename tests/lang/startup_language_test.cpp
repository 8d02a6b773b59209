#include "lang/language_table.h"
#include "lang/startup_language.h"

#include <gtest/gtest.h>

#include <map>

namespace veldrin {
namespace {

int choiceOnSystem(int langValue, LangId system) {
    return chooseStartupLanguage(langValue, [system] { return system; });
}

TEST(StartupLanguage, StoredValueWinsAndTooLargeIsEnglish) {
    EXPECT_EQ(choiceOnSystem(0, 0x0407), kEnglish);
    EXPECT_EQ(choiceOnSystem(1, 0x0409), kGerman);
    EXPECT_EQ(choiceOnSystem(2, 0x0409), kFrench);
    EXPECT_EQ(choiceOnSystem(5, 0x0407), kEnglish);
}

TEST(StartupLanguage, NegativeFollowsTheSystemLanguage) {
    EXPECT_EQ(choiceOnSystem(-1, 0x0C07), kGerman);
    EXPECT_EQ(choiceOnSystem(-1, 0x0484), kFrench);
    EXPECT_EQ(choiceOnSystem(-1, 0x0410), kEnglish);
    EXPECT_EQ(choiceOnSystem(-1000, 0x082E), kGerman);
}

TEST(StartupLanguage, SystemIsAskedOnlyForNegativeValues) {
    int asked = 0;
    const auto system = [&asked] {
        ++asked;
        return LangId{0x0407};
    };
    chooseStartupLanguage(0, system);
    chooseStartupLanguage(3, system);
    EXPECT_EQ(asked, 0);
    chooseStartupLanguage(-1, system);
    EXPECT_EQ(asked, 1);
}

TEST(StartupLanguage, LangIdTable) {
    for (LangId id : {0x0407, 0x0807, 0x0C07, 0x1007, 0x1407, 0x042E, 0x082E}) {
        EXPECT_EQ(languageForLangId(id), kGerman) << std::hex << id;
    }
    for (LangId id : {0x040C, 0x047E, 0x0482, 0x0483, 0x0484}) {
        EXPECT_EQ(languageForLangId(id), kFrench) << std::hex << id;
    }
    // Neighbours of the listed identifiers, and French outside France, stay English.
    for (LangId id :
         {0x0000, 0x0007, 0x000C, 0x0409, 0x080C, 0x0C0C, 0x100C, 0x1807, 0x0485, 0x1000, 0xFFFF}) {
        EXPECT_EQ(languageForLangId(id), kEnglish) << std::hex << id;
    }
}

TEST(StartupLanguage, LocaleNamesMapToLangIds) {
    const std::map<std::string, LangId> expected{
        {"de_DE.UTF-8", 0x0407}, {"de_AT", 0x0C07},        {"de_CH.utf8", 0x0807},
        {"de_LU", 0x1007},       {"de_LI", 0x1407},        {"de", 0x0407},
        {"de_DE@euro", 0x0407},  {"hsb_DE.UTF-8", 0x042E}, {"dsb_DE", 0x082E},
        {"fr_FR.UTF-8", 0x040C}, {"fr", 0x040C},           {"br_FR", 0x047E},
        {"oc_FR.UTF-8", 0x0482}, {"co_FR", 0x0483},        {"gsw_FR", 0x0484},
        {"fr_CA.UTF-8", 0x0C0C}, {"fr_BE", 0x080C},        {"it_IT.UTF-8", 0x0410},
        {"C", 0x0409},           {"POSIX", 0x0409},        {"C.UTF-8", 0x0409},
        {"de_BE", 0x1000},       {"xx_YY", 0x1000},        {"DE_de", 0x0407},
    };
    for (const auto& [locale, id] : expected) {
        EXPECT_EQ(langIdFromLocale(locale), id) << locale;
    }
}

TEST(StartupLanguage, FirstNonEmptyLocaleVariableDecides) {
    std::map<std::string, std::string> env;
    const EnvironmentLookup lookup = [&env](const char* name) -> std::optional<std::string> {
        const auto it = env.find(name);
        if (it == env.end()) {
            return std::nullopt;
        }
        return it->second;
    };
    EXPECT_EQ(systemLangId(lookup), kLangIdEnglishUs);
    env["LANG"] = "fr_FR.UTF-8";
    EXPECT_EQ(systemLangId(lookup), 0x040C);
    env["LC_MESSAGES"] = "de_AT.UTF-8";
    EXPECT_EQ(systemLangId(lookup), 0x0C07);
    env["LC_ALL"] = "";
    EXPECT_EQ(systemLangId(lookup), 0x0C07);
    env["LC_ALL"] = "en_GB.UTF-8";
    EXPECT_EQ(systemLangId(lookup), 0x0809);
}

} // namespace
} // namespace veldrin
