#pragma once
// main.ini with the profile-string behaviour the registry relies on: sections and keys matched
// without regard to letter case, blanks around keys and values ignored, integers read with the
// profile-integer rule (leading decimal digits with an optional minus sign, the default when the
// key is absent), writes that create the file, section or key as needed and keep every other line
// as it was. UTF-8. Every write replaces the file atomically.

#include <cstdint>
#include <string>

namespace veldrin {

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }

    int32_t readInt(const std::string& section, const std::string& key, int32_t defaultValue) const;
    // At most maxLength characters of the value; the default when the key is absent.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::size_t maxLength = 255) const;
    // false (with lastError()) when the file could not be replaced; the old file then stays.
    bool writeString(const std::string& section, const std::string& key, const std::string& value);
    bool writeInt(const std::string& section, const std::string& key, int32_t value);
    const std::string& lastError() const { return lastError_; }

private:
    std::string path_;
    std::string lastError_;
};

} // namespace veldrin
