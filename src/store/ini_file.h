#pragma once
// main.ini with the profile-string behaviour the registry relies on: sections and keys matched
// without regard to letter case, blanks around keys and values ignored, integers read with the
// profile-integer rule (leading decimal digits with an optional minus sign, the default when the
// key is absent), writes that create the file, section or key as needed and keep every other line
// as it was. UTF-8. Every write replaces the file atomically.
//
// Lines: "[name]" opens a section; "key=value" is an entry; blank lines and lines starting with
// ';' or '#' are comments. Any other line (no '=', an empty key, an unclosed bracket) is malformed:
// it is skipped on reading and kept as it stands on writing. The first of duplicate sections or
// keys wins. A value enclosed in matching double or single quotes is read without them.
// Letter case is folded for ASCII letters only.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veldrin {

// A registry of the most recorders a PC may keep takes a few hundred kilobytes; a larger file is
// damage: it reads as empty and is never replaced.
constexpr std::size_t kMaxIniFileBytes = 4 * 1024 * 1024;

// Leading decimal digits with an optional minus sign, accumulated in 32 bits (so an overlong
// number wraps); a text without leading digits gives 0. Blanks before the number are skipped.
int32_t profileInteger(const std::string& text);

// The file as read at one moment, for many reads without reading the file each time.
class IniSnapshot {
public:
    static IniSnapshot load(const std::string& path); // a missing or unreadable file is empty
    static IniSnapshot parse(const std::string& content);

    // Why a file that is there could not be read (too large, not a regular file, no permission);
    // empty when it was read or is missing. Such a file reads as empty, but its registry is not
    // empty: the registry refuses to write over it.
    const std::string& loadError() const { return loadError_; }

    // The value (blanks trimmed, quotes removed) when the key is present.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    // The default when the key is absent or its value is empty.
    int32_t readInt(const std::string& section, const std::string& key, int32_t defaultValue) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::size_t maxLength = 255) const;
    // The keys present in a section, letter case folded, in sorted order.
    std::vector<std::string> keys(const std::string& section) const;

private:
    std::map<std::string, std::string> values_; // "section\nkey", folded -> value
    std::string loadError_;
};

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }

    int32_t readInt(const std::string& section, const std::string& key, int32_t defaultValue) const;
    // At most maxLength characters of the value; the default when the key is absent.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& defaultValue, std::size_t maxLength = 255) const;
    // false (with lastError()) when the file could not be replaced; the old file then stays.
    // A section, key or value that would break the line structure (line breaks, '=' or a
    // leading '[' or ';' in a key, ']' in a section) is refused the same way.
    bool writeString(const std::string& section, const std::string& key, const std::string& value);
    bool writeInt(const std::string& section, const std::string& key, int32_t value);
    // Several keys of one section in one replacement of the file: all of them or none.
    bool writeStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);
    const std::string& lastError() const { return lastError_; }

    IniSnapshot snapshot() const { return IniSnapshot::load(path_); }

private:
    std::string path_;
    std::string lastError_;
};

} // namespace veldrin
