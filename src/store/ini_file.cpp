#include "store/ini_file.h"

#include "core/atomic_file.h"
#include "core/file_system.h"

#include <cerrno>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

namespace veldrin {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The worker and the window thread both write main.ini; a read-modify-write must not lose the
// other's change.
std::mutex& writeMutex() {
    static std::mutex m;
    return m;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string fold(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// Cuts UTF-8 text after maxChars characters (continuation bytes do not count).
std::string cutCharacters(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) {
            if (chars == maxChars) {
                return std::string(text.substr(0, i));
            }
            ++chars;
        }
    }
    return std::string(text);
}

enum class LineKind { blank, comment, section, entry, malformed };

struct Parsed {
    LineKind kind = LineKind::blank;
    std::string_view name; // section name or key, trimmed
    std::string_view value;
};

Parsed classify(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty()) {
        return {};
    }
    if (t.front() == ';' || t.front() == '#') {
        return {LineKind::comment, {}, {}};
    }
    if (t.front() == '[') {
        const auto close = t.find(']');
        if (close == std::string_view::npos) {
            return {LineKind::malformed, {}, {}};
        }
        return {LineKind::section, trim(t.substr(1, close - 1)), {}};
    }
    const auto eq = t.find('=');
    if (eq == std::string_view::npos || trim(t.substr(0, eq)).empty()) {
        return {LineKind::malformed, {}, {}};
    }
    return {LineKind::entry, trim(t.substr(0, eq)), unquote(trim(t.substr(eq + 1)))};
}

struct Line {
    std::string text;
    std::string eol;
};

struct IniText {
    bool bom = false;
    std::vector<Line> lines;

    static IniText parse(std::string_view content) {
        IniText out;
        if (content.substr(0, kBom.size()) == kBom) {
            out.bom = true;
            content.remove_prefix(kBom.size());
        }
        while (!content.empty()) {
            const auto nl = content.find('\n');
            std::string_view text = content.substr(0, nl);
            std::string_view eol;
            if (nl == std::string_view::npos) {
                content = {};
            } else if (!text.empty() && text.back() == '\r') {
                text.remove_suffix(1);
                eol = "\r\n";
                content.remove_prefix(nl + 1);
            } else {
                eol = "\n";
                content.remove_prefix(nl + 1);
            }
            out.lines.push_back(Line{std::string(text), std::string(eol)});
        }
        return out;
    }

    std::string serialize() const {
        std::string out = bom ? std::string(kBom) : std::string();
        for (const Line& l : lines) {
            out += l.text;
            out += l.eol;
        }
        return out;
    }

    std::string lineEnding() const {
        for (const Line& l : lines) {
            if (!l.eol.empty()) {
                return l.eol;
            }
        }
        return "\n";
    }

    void set(const std::string& section, const std::string& key, const std::string& value) {
        const std::string wantSection = fold(section);
        const std::string wantKey = fold(key);
        const std::string eol = lineEnding();
        std::size_t i = 0;
        for (; i < lines.size(); ++i) {
            const Parsed p = classify(lines[i].text);
            if (p.kind == LineKind::section && fold(p.name) == wantSection) {
                break;
            }
        }
        if (i == lines.size()) {
            appendSection(section, key + "=" + value, eol);
            return;
        }
        std::size_t lastContent = i;
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            const Parsed p = classify(lines[j].text);
            if (p.kind == LineKind::section) {
                break;
            }
            if (p.kind == LineKind::entry && fold(p.name) == wantKey) {
                lines[j].text = std::string(p.name) + "=" + value;
                return;
            }
            if (p.kind != LineKind::blank) {
                lastContent = j;
            }
        }
        insertAfter(lastContent, key + "=" + value, eol);
    }

    void insertAfter(std::size_t index, std::string text, const std::string& eol) {
        if (lines[index].eol.empty()) {
            lines[index].eol = eol;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                     Line{std::move(text), eol});
    }

    void appendSection(const std::string& section, std::string entry, const std::string& eol) {
        if (!lines.empty()) {
            if (lines.back().eol.empty()) {
                lines.back().eol = eol;
            }
            if (!trim(lines.back().text).empty()) {
                lines.push_back(Line{"", eol});
            }
        }
        lines.push_back(Line{"[" + section + "]", eol});
        lines.push_back(Line{std::move(entry), eol});
    }
};

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != std::string::npos;
}

std::string refusal(const std::string& section, const std::string& key, const std::string& value) {
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value)) {
        return "A line break cannot be stored in an INI entry.";
    }
    const std::string_view k = trim(key);
    if (k.empty() || k.find('=') != std::string_view::npos || k.front() == '[' ||
        k.front() == ';' || k.front() == '#') {
        return "\"" + key + "\" cannot be used as an INI key.";
    }
    if (trim(section).empty() || section.find(']') != std::string::npos) {
        return "\"" + section + "\" cannot be used as an INI section.";
    }
    return {};
}

std::string keyOf(std::string_view section, std::string_view key) {
    return fold(section) + "\n" + fold(key);
}

// The whole file, unless it is larger than main.ini can sensibly grow: such a file is damage and
// is neither loaded into memory nor replaced.
bool readIniText(const std::string& path, std::string& content, std::string& error) {
    FileStatus st;
    if (fileStatus(path, st) && st.kind == FileKind::regular && st.size > kMaxIniFileBytes) {
        error = path + " is larger than " + std::to_string(kMaxIniFileBytes / (1024 * 1024)) +
                " MiB and cannot be a settings file; it is left as it is.";
        return false;
    }
    return readWholeFile(path, content, error, kMaxIniFileBytes);
}

} // namespace

int32_t profileInteger(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

IniSnapshot IniSnapshot::load(const std::string& path) {
    std::string content;
    std::string error;
    FileStatus st;
    const bool missing = !fileStatus(path, st) && errno == ENOENT;
    if (missing || !readIniText(path, content, error)) {
        content.clear();
    }
    IniSnapshot snap = parse(content);
    if (!missing) {
        snap.loadError_ = error;
    }
    return snap;
}

IniSnapshot IniSnapshot::parse(const std::string& content) {
    IniSnapshot snap;
    const IniText text = IniText::parse(content);
    std::string section;
    // Only the first section of a name is read, as writes go to it: a later one of the same name
    // is skipped whole, so that a key missing from the first reads as missing.
    std::set<std::string> seen;
    bool reading = false;
    for (const Line& line : text.lines) {
        const Parsed p = classify(line.text);
        if (p.kind == LineKind::section) {
            section = std::string(p.name);
            reading = seen.insert(fold(section)).second;
        } else if (p.kind == LineKind::entry && reading) {
            snap.values_.emplace(keyOf(section, p.name), std::string(p.value));
        }
    }
    return snap;
}

std::optional<std::string> IniSnapshot::value(const std::string& section,
                                              const std::string& key) const {
    const auto it = values_.find(keyOf(trim(section), trim(key)));
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

int32_t IniSnapshot::readInt(const std::string& section, const std::string& key,
                             int32_t defaultValue) const {
    const auto v = value(section, key);
    if (!v || v->empty()) {
        return defaultValue;
    }
    return profileInteger(*v);
}

std::string IniSnapshot::readString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, std::size_t maxLength) const {
    const auto v = value(section, key);
    return cutCharacters(v ? *v : defaultValue, maxLength);
}

std::vector<std::string> IniSnapshot::keys(const std::string& section) const {
    const std::string prefix = fold(trim(section)) + "\n";
    std::vector<std::string> out;
    for (auto it = values_.lower_bound(prefix);
         it != values_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        out.push_back(it->first.substr(prefix.size()));
    }
    return out;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

int32_t IniFile::readInt(const std::string& section, const std::string& key,
                         int32_t defaultValue) const {
    return snapshot().readInt(section, key, defaultValue);
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue, std::size_t maxLength) const {
    return snapshot().readString(section, key, defaultValue, maxLength);
}

bool IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value) {
    return writeStrings(section, {{key, value}});
}

bool IniFile::writeStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& entries) {
    std::lock_guard<std::mutex> guard(writeMutex());
    for (const auto& [key, value] : entries) {
        if (std::string why = refusal(section, key, value); !why.empty()) {
            lastError_ = why;
            return false;
        }
    }
    std::string content;
    std::string error;
    FileStatus st;
    const bool exists = fileStatus(path_, st) || errno != ENOENT;
    // A file that is there but cannot be read is not replaced: its other lines would be lost.
    if (exists && !readIniText(path_, content, error)) {
        lastError_ = error;
        return false;
    }
    IniText text = IniText::parse(content);
    for (const auto& [key, value] : entries) {
        text.set(std::string(trim(section)), std::string(trim(key)), std::string(trim(value)));
    }
    if (!writeFileAtomically(path_, text.serialize(), error)) {
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    return true;
}

bool IniFile::writeInt(const std::string& section, const std::string& key, int32_t value) {
    return writeString(section, key, std::to_string(value));
}

} // namespace veldrin
