#pragma once
// Paths are UTF-8 strings inside the program. std::filesystem::path reads a std::string, and
// writes one with string(), in the system's narrow encoding, which on Windows is the legacy code
// page: every change between the two goes through these, so that "Jörg" stays "Jörg".

#include <filesystem>
#include <string>
#include <string_view>

namespace veldrin {

inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace veldrin
