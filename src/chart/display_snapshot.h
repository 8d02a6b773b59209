#pragma once
// What the window shows at one moment, handed out whole and never changed afterwards: the chart,
// the record list, the Statistics dialog, the export and the report all take the same snapshot, so
// that none of them asks a widget what is shown. The records stay in the store; the snapshot holds
// a handle to them, read under the store's lock.

#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"
#include "store/data_store.h"

#include <cstdint>
#include <utility>

namespace veldrin {

// The positions of the Display combo (1010).
enum class DisplayMode : int { chart = 0, list = 1 };

struct DisplaySnapshot {
    int32_t recorder = -1;     // the "Driver No." position shown; -1 for none or an opened file
    RecorderSettings settings; // of the displayed set when the snapshot was taken
    DateTime from;
    DateTime to;
    AlarmLimits limits; // in force for the recorder shown
    bool fahrenheit = false;
    DisplayMode mode = DisplayMode::chart;
    uint64_t serial = 0; // grows with every new snapshot, also when only the data changed
    const DataStore* store = nullptr;

    // `f(settings, records)` over the displayed set, under the store's lock, without a copy.
    template <class F> decltype(auto) withRecords(F&& f) const {
        return store->withDisplayed(std::forward<F>(f));
    }
    // The displayed set copied under the lock, to be used without it.
    std::pair<RecorderSettings, RecordList> copyRecords() const {
        return withRecords(
            [](const RecorderSettings& s, const RecordList& r) { return std::make_pair(s, r); });
    }
};

} // namespace veldrin
