#include "lang/startup_language.h"

#include "core/environment.h"
#include "lang/language_table.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace veldrin {

namespace {

struct LocaleId {
    std::string_view language;
    std::string_view territory; // empty: the language's default when no territory is given
    LangId id;
};

// Kept to the languages a user of the program is likely to run it in; anything else yields
// kLangIdCustomUnspecified, which the language choice treats like any other non-listed language.
constexpr std::array kLocaleIds{
    LocaleId{"de", "", 0x0407},    LocaleId{"de", "DE", 0x0407},  LocaleId{"de", "CH", 0x0807},
    LocaleId{"de", "AT", 0x0C07},  LocaleId{"de", "LU", 0x1007},  LocaleId{"de", "LI", 0x1407},
    LocaleId{"hsb", "", 0x042E},   LocaleId{"hsb", "DE", 0x042E}, LocaleId{"dsb", "", 0x082E},
    LocaleId{"dsb", "DE", 0x082E}, LocaleId{"fr", "", 0x040C},    LocaleId{"fr", "FR", 0x040C},
    LocaleId{"fr", "BE", 0x080C},  LocaleId{"fr", "CA", 0x0C0C},  LocaleId{"fr", "CH", 0x100C},
    LocaleId{"fr", "LU", 0x140C},  LocaleId{"fr", "MC", 0x180C},  LocaleId{"br", "", 0x047E},
    LocaleId{"br", "FR", 0x047E},  LocaleId{"oc", "", 0x0482},    LocaleId{"oc", "FR", 0x0482},
    LocaleId{"co", "", 0x0483},    LocaleId{"co", "FR", 0x0483},  LocaleId{"gsw", "", 0x0484},
    LocaleId{"gsw", "FR", 0x0484}, LocaleId{"en", "", 0x0409},    LocaleId{"en", "US", 0x0409},
    LocaleId{"en", "GB", 0x0809},  LocaleId{"en", "AU", 0x0C09},  LocaleId{"en", "CA", 0x1009},
    LocaleId{"en", "NZ", 0x1409},  LocaleId{"en", "IE", 0x1809},  LocaleId{"en", "ZA", 0x1C09},
    LocaleId{"it", "", 0x0410},    LocaleId{"it", "IT", 0x0410},  LocaleId{"it", "CH", 0x0810},
    LocaleId{"es", "", 0x0C0A},    LocaleId{"es", "ES", 0x0C0A},  LocaleId{"es", "MX", 0x080A},
    LocaleId{"nl", "", 0x0413},    LocaleId{"nl", "NL", 0x0413},  LocaleId{"nl", "BE", 0x0813},
    LocaleId{"pt", "", 0x0816},    LocaleId{"pt", "PT", 0x0816},  LocaleId{"pt", "BR", 0x0416},
    LocaleId{"da", "", 0x0406},    LocaleId{"da", "DK", 0x0406},  LocaleId{"sv", "", 0x041D},
    LocaleId{"sv", "SE", 0x041D},  LocaleId{"nb", "", 0x0414},    LocaleId{"nb", "NO", 0x0414},
    LocaleId{"fi", "", 0x040B},    LocaleId{"fi", "FI", 0x040B},  LocaleId{"pl", "", 0x0415},
    LocaleId{"pl", "PL", 0x0415},  LocaleId{"cs", "", 0x0405},    LocaleId{"cs", "CZ", 0x0405},
    LocaleId{"hu", "", 0x040E},    LocaleId{"hu", "HU", 0x040E},  LocaleId{"ru", "", 0x0419},
    LocaleId{"ru", "RU", 0x0419},  LocaleId{"tr", "", 0x041F},    LocaleId{"tr", "TR", 0x041F},
    LocaleId{"ja", "", 0x0411},    LocaleId{"ja", "JP", 0x0411},  LocaleId{"zh", "", 0x0804},
    LocaleId{"zh", "CN", 0x0804},  LocaleId{"zh", "TW", 0x0404},
};

std::string lowered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string uppered(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::optional<LangId> findLocaleId(std::string_view language, std::string_view territory) {
    for (const auto& entry : kLocaleIds) {
        if (entry.language == language && entry.territory == territory) {
            return entry.id;
        }
    }
    return std::nullopt;
}

} // namespace

int languageForLangId(LangId id) {
    switch (id) {
    case 0x0407:
    case 0x0807:
    case 0x0C07:
    case 0x1007:
    case 0x1407:
    case 0x042E:
    case 0x082E:
        return kGerman;
    case 0x040C:
    case 0x047E:
    case 0x0482:
    case 0x0483:
    case 0x0484:
        return kFrench;
    default:
        return kEnglish;
    }
}

LangId langIdFromLocale(std::string_view locale) {
    // language[_territory][.codeset][@modifier]
    const std::string_view name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") {
        return kLangIdEnglishUs;
    }
    const std::size_t separator = name.find_first_of("_-");
    const std::string language = lowered(name.substr(0, separator));
    const std::string territory =
        separator == std::string_view::npos ? std::string() : uppered(name.substr(separator + 1));
    return findLocaleId(language, territory).value_or(kLangIdCustomUnspecified);
}

EnvironmentLookup processEnvironment() {
    return [](const char* name) { return environmentVariable(name); };
}

LangId systemLangId(const EnvironmentLookup& environment) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::optional<std::string> value = environment(name);
        if (value && !value->empty()) {
            return langIdFromLocale(*value);
        }
    }
    return kLangIdEnglishUs;
}

int chooseStartupLanguage(int langValue, const std::function<LangId()>& systemLanguage) {
    if (langValue >= 0 && langValue < kLanguageCount) {
        return langValue;
    }
    if (langValue >= kLanguageCount) {
        return kEnglish;
    }
    return languageForLangId(systemLanguage());
}

int chooseStartupLanguage(int langValue) {
    return chooseStartupLanguage(langValue, [] { return systemLangId(); });
}

} // namespace veldrin
