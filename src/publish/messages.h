#pragma once
// The topics and the JSON texts published for a recorder: one message per record, the newest
// record retained as the state, availabilities, and the discovery configuration that lets a home
// automation hub find the two sensors by itself.

#include "core/recorder_types.h"

#include <cstdint>
#include <string>

namespace veldrin::publish {

// What the messages say about a recorder beside its records.
struct RecorderInfo {
    int32_t number = 0;
    RecorderIdentity identity;
    std::string description; // UTF-8
    int32_t versionMajor = 0;
    int32_t versionMinor = 0;
    int32_t intervalMinutes = 0; // the recorder's logging interval; 0 when not known
};

// "PRODUCT,HIGH,LOW", as the list command writes it.
std::string identityText(const RecorderIdentity& identity);

// A name as one topic level: letters, digits, '.', '_' and '-' stay, everything else (a '/', a
// wildcard, a blank) becomes '_'; never empty.
std::string topicLevel(const std::string& name);

class Topics {
public:
    // `machine`: the publishing machine's level, already topic-safe (topicLevel()).
    Topics(std::string prefix, std::string machine)
        : prefix_(std::move(prefix)), machine_(std::move(machine)) {}
    std::string record(const RecorderIdentity& id) const { return level(id) + "/record"; }
    std::string state(const RecorderIdentity& id) const { return level(id) + "/state"; }
    std::string availability(const RecorderIdentity& id) const {
        return level(id) + "/availability";
    }
    // The availability of this machine's publisher; its last will says offline. Each machine has
    // its own, so that one machine going away leaves the others' sensors available.
    std::string programAvailability() const {
        return prefix_ + "/bridge/" + machine_ + "/availability";
    }

private:
    std::string level(const RecorderIdentity& id) const { return prefix_ + "/" + identityText(id); }
    std::string prefix_;
    std::string machine_;
};

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

enum class Quantity { temperature, humidity };

constexpr const char* kDefaultDiscoveryPrefix = "homeassistant";

// "homeassistant/sensor/veldrin_P_H_L_temperature/config": discovery topics allow letters,
// digits, '_' and '-' only, so the identity's commas become underscores there.
std::string discoveryTopic(const std::string& discoveryPrefix, const RecorderIdentity& id,
                           Quantity quantity);
// Where the home automation hub announces itself ("online" when it has started).
std::string hubStatusTopic(const std::string& discoveryPrefix);

// A record's id: the identity and the record's local time as the record had it when first sent
// ("6,2,3@2026-03-01T00:05:00").
std::string recordId(const std::string& identityText, const HistoryRecord& record);

// The record as JSON: id (as recordId() made it at the first sending; given, so that a record
// re-timed since keeps it), recorder, time (ISO 8601 with the UTC offset of that moment, the
// time the record has now), temperature_c, humidity, interval_min, description. A time or a
// value that cannot be written is null.
std::string recordJson(const RecorderInfo& info, const HistoryRecord& record,
                       const std::string& id);
std::string recordJson(const RecorderInfo& info, const HistoryRecord& record);

// The cycle of the download that brings new records, in seconds.
constexpr int32_t kDownloadCycleSeconds = 15;
// Intervals of the recorder without a new record before the hub marks the value stale.
constexpr int32_t kIntervalsBeforeExpiry = 3;

// The discovery configuration of one of the recorder's two sensors: the entity named by what it
// measures only (the hub puts the device's name before it), the state expiring after a few of
// the recorder's intervals, and this program as its origin.
std::string discoveryJson(const RecorderInfo& info, Quantity quantity, const Topics& topics);

// "2026-12-07T14:41:00+01:00" for a local time; empty for a time that is not valid.
std::string isoTimeWithOffset(const DateTime& local);

// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& utf8);

} // namespace veldrin::publish
