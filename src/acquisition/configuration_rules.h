#pragma once
// The rules an edited configuration must keep before it is written into a recorder, shared by the
// window's Setting dialog and the command line's configure, so that both accept the same values.

#include "core/date_time.h"
#include "core/recorder_types.h"

#include <array>
#include <utility>
#include <vector>

namespace veldrin {

struct ConfigurationEdit;

namespace rules {

constexpr int kMinInterval = 1; // minutes
constexpr int kMaxInterval = 240;
// The recorder stores a slot's year as one byte counted from 2000.
constexpr int kFirstSlotYear = 2000;
constexpr int kLastSlotYear = 2255;
constexpr int kMaxDescriptionUnits = kDescriptionCapacity - 1; // 255 UTF-16 units

constexpr int32_t kLinear = 0;
constexpr int32_t kCircular = 1;
// A circular choice above this is the decoded byte of a recorder that has no circular mode.
constexpr int32_t kLastCircularChoice = 2;

constexpr bool intervalFits(long minutes) {
    return minutes >= kMinInterval && minutes <= kMaxInterval;
}
constexpr bool recorderHasCircularMode(int32_t circularChoice) {
    return circularChoice <= kLastCircularChoice;
}
// Past slot times are refused only while the recorder records linearly: a circular recorder (or
// one without the choice) ignores its slots.
constexpr bool pastTimesMatter(int32_t circularChoice) {
    return circularChoice == kLinear;
}

// A valid time whose year the recorder can store.
bool slotYearFits(const DateTime& t);
// The recorder keeps slot times to the minute.
DateTime toMinute(const DateTime& t);

// Circular recording excludes time slots.
bool circularClashesWithSlots(const ConfigurationEdit& edit);

// Pairs (later, earlier) of slots, both in use, where the later one starts before the earlier one
// ends; only a linear recorder is concerned.
std::vector<std::pair<int, int>> slotsOutOfOrder(const ConfigurationEdit& edit);

} // namespace rules
} // namespace veldrin
