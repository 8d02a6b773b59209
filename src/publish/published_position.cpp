#include "publish/published_position.h"

#include "core/atomic_file.h"
#include "publish/messages.h"

#include <charconv>
#include <cmath>
#include <cstdio>
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

// FNV-1a over the values, byte by byte.
uint64_t extendDigest(uint64_t digest, const HistoryRecord& record) {
    constexpr uint64_t kPrime = 1099511628211ull;
    const RecordFingerprint print = fingerprintOf(record);
    const uint32_t values[] = {static_cast<uint32_t>(print.temperatureTenths),
                               static_cast<uint32_t>(print.humidity),
                               static_cast<uint32_t>(record.interval)};
    for (const uint32_t value : values) {
        for (int shift = 0; shift < 32; shift += 8) {
            digest = (digest ^ ((value >> shift) & 0xffu)) * kPrime;
        }
    }
    return digest;
}

uint64_t digestOf(const RecordList& records, uint64_t count) {
    uint64_t digest = kEmptyDigest;
    for (uint64_t i = 0; i < count && i < records.size(); ++i) {
        digest = extendDigest(digest, records[static_cast<std::size_t>(i)]);
    }
    return digest;
}

std::string brokerKey(const BrokerUrl& url) {
    const std::string exact = url.host + ":" + std::to_string(url.port) + "/" + url.prefix;
    uint64_t hash = kEmptyDigest;
    for (const char c : exact) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char hex[12];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(hash & 0xffffffffu));
    return topicLevel(url.host + "_" + std::to_string(url.port) + "_" + url.prefix) + "-" + hex;
}

std::string positionPath(const std::string& dataFolder, int32_t number, const std::string& key) {
    return dataFilePath(dataFolder, number) + ".published-" + key;
}

std::string legacyPositionPath(const std::string& dataFolder, int32_t number) {
    return dataFilePath(dataFolder, number) + ".published";
}

std::string encodePosition(const PublishedPosition& position) {
    std::string text = "identity=" + position.identity + "\n";
    text += "acknowledged=" + std::to_string(position.acknowledged) + "\n";
    text += "last=" + std::to_string(position.last.timeSeconds) + "," +
            std::to_string(position.last.temperatureTenths) + "," +
            std::to_string(position.last.humidity) + "\n";
    if (position.hasDigest) {
        text += "values=" + std::to_string(position.digest) + "\n";
    }
    if (!position.lastId.empty()) {
        text += "last_id=" + position.lastId + "\n";
    }
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
        } else if (key == "values") {
            read.hasDigest = parseNumber(value, read.digest);
        } else if (key == "last_id") {
            read.lastId = value;
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
    if (position.hasDigest) {
        return digestOf(records, position.acknowledged) == position.digest ? position.acknowledged
                                                                           : 0;
    }
    // A file of an earlier version: the last record as it was, time included.
    const HistoryRecord& last = records[static_cast<std::size_t>(position.acknowledged - 1)];
    return fingerprintOf(last) == position.last ? position.acknowledged : 0;
}

PublishedPosition positionAfter(const PublishedPosition& from, const RecordList& records,
                                uint64_t count, std::string lastId) {
    PublishedPosition position = from;
    const bool extends = from.hasDigest && count >= from.acknowledged;
    uint64_t digest = extends ? from.digest : kEmptyDigest;
    for (uint64_t i = extends ? from.acknowledged : 0; i < count && i < records.size(); ++i) {
        digest = extendDigest(digest, records[static_cast<std::size_t>(i)]);
    }
    position.acknowledged = count;
    position.hasDigest = true;
    position.digest = digest;
    position.lastId = std::move(lastId);
    if (count > 0 && count <= records.size()) {
        position.last = fingerprintOf(records[static_cast<std::size_t>(count - 1)]);
    }
    return position;
}

PublishedPosition positionAfter(const std::string& identity, const RecordList& records,
                                uint64_t count) {
    PublishedPosition start;
    start.identity = identity;
    start.hasDigest = true;
    const std::string lastId =
        count > 0 && count <= records.size()
            ? recordId(identity, records[static_cast<std::size_t>(count - 1)])
            : std::string();
    return positionAfter(start, records, count, lastId);
}

} // namespace veldrin::publish
