#pragma once
// The in-process software recorder as a backend of the device layer's registry, under the name
// "sim" (for demonstrations and tests without a device). The programs add it at their start with
// registerSimBackend(); the device layer itself knows nothing of the simulator.

#include "device/backend_registry.h"
#include "sim/software_recorder.h"

#include <cstdint>

namespace veldrin::sim {

// Records preloaded into the `sim` recorder: three days at its 1-minute interval, the last one
// made just now, so that a first look shows every preset period filled.
constexpr uint32_t kDemoHistoryRecords = 3 * 24 * 60;

// The settings of the `sim` recorder: blank (no identity yet), circular, 1-minute interval, a
// generated history of kDemoHistoryRecords records.
RecorderConfig demoRecorderConfig();

// "sim": a new software recorder with demoRecorderConfig() on the clock given at the opening.
BackendKind simBackendKind();

// The most recorders "sim:COUNT" holds in one process.
constexpr int kMostSimRecorders = 16;

// "sim:COUNT": that many software recorders with demoRecorderConfig(), each its own interface.
BackendKind simRecordersKind();

// Adds simBackendKind() and simRecordersKind() to the registry of this process.
void registerSimBackend();

} // namespace veldrin::sim
