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
};

// "PRODUCT,HIGH,LOW", as the list command writes it.
std::string identityText(const RecorderIdentity& identity);

class Topics {
public:
    explicit Topics(std::string prefix) : prefix_(std::move(prefix)) {}
    std::string record(const RecorderIdentity& id) const { return level(id) + "/record"; }
    std::string state(const RecorderIdentity& id) const { return level(id) + "/state"; }
    std::string availability(const RecorderIdentity& id) const {
        return level(id) + "/availability";
    }
    // The program's own availability; its last will says offline.
    std::string programAvailability() const { return prefix_ + "/availability"; }

private:
    std::string level(const RecorderIdentity& id) const { return prefix_ + "/" + identityText(id); }
    std::string prefix_;
};

constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

enum class Quantity { temperature, humidity };

// "homeassistant/sensor/veldrin_P_H_L_temperature/config": discovery topics allow letters,
// digits, '_' and '-' only, so the identity's commas become underscores there.
std::string discoveryTopic(const RecorderIdentity& id, Quantity quantity);

// The record as JSON: id (identity and local record time, the same at every sending), recorder,
// time (ISO 8601 with the UTC offset of that moment), temperature_c, humidity, interval_min,
// description. A time or a value that cannot be written is null.
std::string recordJson(const RecorderInfo& info, const HistoryRecord& record);

// The discovery configuration of one of the recorder's two sensors.
std::string discoveryJson(const RecorderInfo& info, Quantity quantity, const Topics& topics);

// "2026-12-07T14:41:00+01:00" for a local time; empty for a time that is not valid.
std::string isoTimeWithOffset(const DateTime& local);

// The text as a JSON string literal, quotes included.
std::string jsonString(const std::string& utf8);

} // namespace veldrin::publish
