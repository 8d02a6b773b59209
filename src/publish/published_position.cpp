#include "publish/published_position.h"

#include "core/atomic_file.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace veldrin::publish {
namespace {

constexpr std::size_t kMaxPositionBytes = 4096;

template <class T> bool parseNumber(const std::string& text, T& out) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool parseFingerprint(const std::string& text, RecordFingerprint& out) {
    const std::size_t first = text.find(',');
    const std::size_t second = text.find(',', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos) {
        return false;
    }
    return parseNumber(text.substr(0, first), out.timeSeconds) &&
           parseNumber(text.substr(first + 1, second - first - 1), out.temperatureTenths) &&
           parseNumber(text.substr(second + 1), out.humidity);
}

} // namespace

RecordFingerprint fingerprintOf(const HistoryRecord& record) {
    RecordFingerprint print;
    print.timeSeconds = record.time().linearSeconds();
    const double tenths = std::round(record.temperature * 10.0);
    print.temperatureTenths =
        std::isfinite(tenths) && std::fabs(tenths) < 1e9 ? static_cast<int32_t>(tenths) : 0;
    print.humidity = record.humidity;
    return print;
}

std::string positionPath(const std::string& dataFolder, int32_t number) {
    return dataFilePath(dataFolder, number) + ".published";
}

std::string encodePosition(const PublishedPosition& position) {
    std::string text = "identity=" + position.identity + "\n";
    text += "acknowledged=" + std::to_string(position.acknowledged) + "\n";
    text += "last=" + std::to_string(position.last.timeSeconds) + "," +
            std::to_string(position.last.temperatureTenths) + "," +
            std::to_string(position.last.humidity) + "\n";
    return text;
}

bool decodePosition(const std::string& text, PublishedPosition& out) {
    PublishedPosition read;
    bool hasIdentity = false;
    bool hasCount = false;
    bool hasLast = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            return false;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "identity") {
            read.identity = value;
            hasIdentity = !value.empty();
        } else if (key == "acknowledged") {
            hasCount = parseNumber(value, read.acknowledged);
        } else if (key == "last") {
            hasLast = parseFingerprint(value, read.last);
        }
    }
    if (!hasIdentity || !hasCount || !hasLast) {
        return false;
    }
    out = read;
    return true;
}

PublishedPosition loadPosition(const std::string& path) {
    std::string text;
    std::string error;
    PublishedPosition position;
    if (readWholeFile(path, text, error, kMaxPositionBytes)) {
        decodePosition(text, position);
    }
    return position;
}

bool savePosition(const std::string& path, const PublishedPosition& position, std::string& error) {
    return writeFileAtomically(path, encodePosition(position), error);
}

uint64_t resumeIndex(const PublishedPosition& position, const std::string& identity,
                     const RecordList& records) {
    if (position.identity != identity || position.acknowledged == 0 ||
        position.acknowledged > records.size()) {
        return 0;
    }
    const HistoryRecord& last = records[static_cast<std::size_t>(position.acknowledged - 1)];
    return fingerprintOf(last) == position.last ? position.acknowledged : 0;
}

PublishedPosition positionAfter(const std::string& identity, const RecordList& records,
                                uint64_t count) {
    PublishedPosition position;
    position.identity = identity;
    position.acknowledged = count;
    if (count > 0 && count <= records.size()) {
        position.last = fingerprintOf(records[static_cast<std::size_t>(count - 1)]);
    }
    return position;
}

} // namespace veldrin::publish
