#pragma once
// The in-process `sim` backend: the HidBackend interface over a SoftwareRecorder in this process.
// It lists one interface per recorder ("sim:0", "sim:1", ...) while that recorder is plugged in;
// each open is a new handle with its own protocol state. Transfers never block: a read with no
// answer waiting fails at once and advances the recorder's clock by the read time-out, as the wait
// would have on a real device.

#include "device/hid_backend.h"
#include "sim/software_recorder.h"

#include <memory>
#include <string>
#include <vector>

namespace veldrin::sim {

constexpr const char* kSimInterfacePath = "sim:0";

// The backend shares ownership of the recorder, so either may be dropped first.
std::unique_ptr<HidBackend> makeSimBackend(std::shared_ptr<SoftwareRecorder> recorder);
// Several recorders, listed as "sim:0", "sim:1", ... each while it is plugged in.
std::unique_ptr<HidBackend>
makeSimBackend(std::vector<std::shared_ptr<SoftwareRecorder>> recorders);
// The interface path of the recorder at `index`.
std::string simInterfacePath(std::size_t index);

} // namespace veldrin::sim
