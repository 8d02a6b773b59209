#include "publish/messages.h"

#include "core/number_text.h"

#include <cstdio>
#include <cstdlib>

namespace veldrin::publish {
namespace {

// Days from 1899-12-30 to 1970-01-01.
constexpr int64_t kUnixEpochDays = 25569;
constexpr int64_t kSecondsPerDay = 86400;

// A reading as its shortest decimal, as stats --json writes it.
std::string measuredJson(double value) {
    const std::string text = measuredNumberText(value);
    return text.empty() ? "null" : text;
}

std::string localTimeKey(const DateTime& time) {
    const std::string text = calendarText(time, 'T');
    return text.empty() ? "invalid" : text;
}

std::string offsetText(int64_t offsetSeconds) {
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const int64_t magnitude = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", sign, static_cast<int>(magnitude / 3600),
                  static_cast<int>(magnitude / 60 % 60));
    return buffer;
}

std::string recorderName(const RecorderInfo& info) {
    return info.description.empty() ? "Recorder " + std::to_string(info.number) : info.description;
}

std::string objectId(const RecorderIdentity& id) {
    return "veldrin_" + std::to_string(id.product) + "_" + std::to_string(id.high) + "_" +
           std::to_string(id.low);
}

const char* quantityName(Quantity quantity) {
    return quantity == Quantity::temperature ? "temperature" : "humidity";
}

} // namespace

std::string identityText(const RecorderIdentity& identity) {
    return std::to_string(identity.product) + "," + std::to_string(identity.high) + "," +
           std::to_string(identity.low);
}

std::string topicLevel(const std::string& name) {
    std::string level;
    for (const char c : name) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        level += kept ? c : '_';
    }
    return level.empty() ? "_" : level;
}

std::string discoveryTopic(const std::string& discoveryPrefix, const RecorderIdentity& id,
                           Quantity quantity) {
    return discoveryPrefix + "/sensor/" + objectId(id) + "_" + quantityName(quantity) + "/config";
}

std::string hubStatusTopic(const std::string& discoveryPrefix) {
    return discoveryPrefix + "/status";
}

std::string jsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The UTC offset in force at a local time. The C library consults the zone's rules (and the
// zone file) at every call; a backlog asks for the same hour sixty times in a row, so the last
// hour's answer is kept. Offsets change on whole hours everywhere in use today.
bool utcOffsetAt(const CalendarFields& f, int64_t& offsetSeconds) {
    thread_local int64_t cachedHour = -1;
    thread_local int64_t cachedOffset = 0;
    thread_local std::string cachedZone;
    const char* zone = std::getenv("TZ");
    const std::string zoneNow = zone != nullptr ? zone : "";
    const int64_t localAsUtc =
        DateTime::fromFields(f.year, f.month, f.day, f.hour, f.minute, f.second).linearSeconds() -
        kUnixEpochDays * kSecondsPerDay;
    const int64_t hour = localAsUtc / 3600;
    if (hour != cachedHour || zoneNow != cachedZone) {
        CalendarFields startOfHour = f;
        startOfHour.minute = 0;
        startOfHour.second = 0;
        std::time_t unix = 0;
        if (!unixFromLocalFields(startOfHour, unix)) {
            return false;
        }
        cachedOffset = hour * 3600 - static_cast<int64_t>(unix);
        cachedHour = hour;
        cachedZone = zoneNow;
    }
    offsetSeconds = cachedOffset;
    return true;
}

std::string isoTimeWithOffset(const DateTime& local) {
    CalendarFields f;
    int64_t offset = 0;
    if (!local.fields(f) || !utcOffsetAt(f, offset)) {
        return {};
    }
    return localTimeKey(local) + offsetText(offset);
}

std::string recordId(const std::string& identityText, const HistoryRecord& record) {
    return identityText + "@" + localTimeKey(record.time());
}

std::string recordJson(const RecorderInfo& info, const HistoryRecord& record) {
    return recordJson(info, record, recordId(identityText(info.identity), record));
}

std::string recordJson(const RecorderInfo& info, const HistoryRecord& record,
                       const std::string& id) {
    const std::string time = isoTimeWithOffset(record.time());
    std::string json = "{\"id\":" + jsonString(id);
    json += ",\"recorder\":" + std::to_string(info.number);
    json += ",\"time\":" + (time.empty() ? std::string("null") : jsonString(time));
    json += ",\"temperature_c\":" + measuredJson(record.temperature);
    json += ",\"humidity\":" + std::to_string(record.humidity);
    json += ",\"interval_min\":" + std::to_string(record.interval);
    json += ",\"description\":" + jsonString(info.description) + "}";
    return json;
}

std::string discoveryJson(const RecorderInfo& info, Quantity quantity, const Topics& topics) {
    const bool temperature = quantity == Quantity::temperature;
    const std::string name = recorderName(info);
    const std::string version =
        std::to_string(info.versionMajor) + "." + std::to_string(info.versionMinor);
    std::string json =
        "{\"unique_id\":" + jsonString(objectId(info.identity) + "_" + quantityName(quantity));
    json += ",\"name\":" + jsonString(temperature ? "Temperature" : "Humidity");
    json += ",\"device_class\":" + jsonString(quantityName(quantity));
    json += ",\"state_class\":\"measurement\"";
    json += ",\"unit_of_measurement\":" + jsonString(temperature ? "\xc2\xb0"
                                                                   "C"
                                                                 : "%");
    json += ",\"state_topic\":" + jsonString(topics.state(info.identity));
    json += ",\"value_template\":" + jsonString(temperature ? "{{ value_json.temperature_c }}"
                                                            : "{{ value_json.humidity }}");
    json += ",\"availability\":[{\"topic\":" + jsonString(topics.programAvailability()) +
            "},{\"topic\":" + jsonString(topics.availability(info.identity)) + "}]";
    json += ",\"availability_mode\":\"all\"";
    json += ",\"suggested_display_precision\":" + std::string(temperature ? "1" : "0");
    if (info.intervalMinutes > 0) {
        const int64_t expiry =
            int64_t{kIntervalsBeforeExpiry} * info.intervalMinutes * 60 + kDownloadCycleSeconds;
        json += ",\"expire_after\":" + std::to_string(expiry);
    }
    json += ",\"origin\":{\"name\":\"Veldrin\",\"sw_version\":" + jsonString(VELDRIN_VERSION) + "}";
    json += ",\"device\":{\"identifiers\":[" + jsonString(objectId(info.identity)) + "]";
    json += ",\"name\":" + jsonString(name);
    json += ",\"model\":\"Temperature and humidity recorder\"";
    json += ",\"sw_version\":" + jsonString(version) + "}}";
    return json;
}

} // namespace veldrin::publish
