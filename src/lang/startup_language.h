#pragma once
// Which language the program starts in. main.ini's "Lang" value names it; a negative value asks
// for the system's language, which is taken from a Windows-style language identifier (LANGID). On
// systems without one, the identifier is derived from the locale settings of the environment.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veldrin {

using LangId = std::uint16_t;

// English (United States), what the plain "C" locale stands for.
inline constexpr LangId kLangIdEnglishUs = 0x0409;
// A language or region that has no identifier of its own.
inline constexpr LangId kLangIdCustomUnspecified = 0x1000;

// Language index for a system language identifier: German variants and Sorbian give German,
// French (France) and the regional languages of France give French, everything else English.
int languageForLangId(LangId id);

// Identifier for a locale name such as "de_AT.UTF-8" or "fr": language and territory are matched,
// code set and modifier ignored. A language without territory takes its main country's identifier;
// a pair without an identifier of its own gives kLangIdCustomUnspecified.
LangId langIdFromLocale(std::string_view locale);

// Reads an environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

EnvironmentLookup processEnvironment();

// The system language from the first non-empty of LC_ALL, LC_MESSAGES and LANG; English (United
// States) when none is set.
LangId systemLangId(const EnvironmentLookup& environment);
// The system language: from the environment as above, or on Windows the user's interface language.
LangId systemLangId();

// The start-up language for the "Lang" value of main.ini: 0..2 as they are, above 2 English, below
// 0 the system's language. `systemLanguage` is asked only for a negative value.
int chooseStartupLanguage(int langValue, const std::function<LangId()>& systemLanguage);
int chooseStartupLanguage(int langValue);

} // namespace veldrin
