#pragma once
// Helpers for the language tests: language file bytes, and a guard that keeps the process-wide
// current language of one test from leaking into the next.

#include "lang/language_table.h"

#include <string>
#include <string_view>

namespace veldrin::testing {

inline std::string utf16le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

class CurrentLanguageGuard {
public:
    CurrentLanguageGuard() : saved_(CurrentLanguage::stored()) {}
    ~CurrentLanguageGuard() { CurrentLanguage::set(saved_); }
    CurrentLanguageGuard(const CurrentLanguageGuard&) = delete;
    CurrentLanguageGuard& operator=(const CurrentLanguageGuard&) = delete;

private:
    int saved_;
};

} // namespace veldrin::testing
