#include "cli/announced_alarms.h"

#include "core/atomic_file.h"
#include "core/paths.h"
#include "store/data_file.h"

#include <charconv>
#include <sstream>

namespace veldrin::cli {
namespace {

// Four lines and a comment; anything much larger is not such a file.
constexpr uint64_t kMaxAnnouncedBytes = 4096;

bool parseSeconds(const std::string& text, int64_t& out) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

} // namespace

std::string announcedAlarmsPath(const std::string& dataFolder, int32_t number) {
    return dataFilePath(dataFolder, number) + ".alarms";
}

std::string encodeAnnounced(const AnnouncedAlarms& announced) {
    std::string text = "# alarm events announced as begun to the alarm program of watch\n";
    for (const LimitKind kind : kLimitKinds) {
        if (const auto& begun = announced.begun[static_cast<std::size_t>(kind)]) {
            text += std::string(limitName(kind)) + "=" + std::to_string(*begun) + "\n";
        }
    }
    return text;
}

bool decodeAnnounced(const std::string& text, AnnouncedAlarms& out) {
    AnnouncedAlarms read;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t eq = line.find('=');
        const auto kind = limitFromName(std::string_view(line).substr(0, eq));
        int64_t seconds = 0;
        if (eq == std::string::npos || !kind || !parseSeconds(line.substr(eq + 1), seconds)) {
            return false;
        }
        read.begun[static_cast<std::size_t>(*kind)] = seconds;
    }
    out = read;
    return true;
}

AnnouncedAlarms loadAnnounced(const std::string& path, std::string& problem) {
    AnnouncedAlarms announced;
    std::string text;
    std::string error;
    if (!fileExists(path)) {
        return announced;
    }
    if (!readWholeFile(path, text, error, kMaxAnnouncedBytes)) {
        problem =
            "the alarms announced earlier cannot be read (" + error + "); none are taken as open";
    } else if (!decodeAnnounced(text, announced)) {
        problem = "the file of the alarms announced earlier, " + nativePath(path) +
                  ", is damaged; none are taken as open";
    }
    return announced;
}

bool saveAnnounced(const std::string& path, const AnnouncedAlarms& announced, std::string& error) {
    return writeFileAtomically(path, encodeAnnounced(announced), error);
}

} // namespace veldrin::cli
