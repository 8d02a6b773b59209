#pragma once
// Choice of the recorder backend by name, for the command-line tool and the window program:
// "hid" (the real device), "sim" (a software recorder in this process) or "socket:PATH" (a
// recorder listening on a Unix-domain socket, such as veldrin-recorder-sim).

#include "core/clock.h"
#include "device/hid_backend.h"
#include "sim/software_recorder.h"

#include <memory>
#include <string>

namespace veldrin::sim {

struct BackendChoice {
    // The in-process recorder behind "sim" (for demonstration controls); empty otherwise. The
    // backend shares its ownership.
    std::shared_ptr<SoftwareRecorder> recorder;
    std::unique_ptr<HidBackend> backend; // null when the name was not understood
};

// Records preloaded into the `sim` recorder: three days at its 1-minute interval, the last one
// made just now, so that a first look shows every preset period filled.
constexpr uint32_t kDemoHistoryRecords = 3 * 24 * 60;

// The settings of the `sim` recorder: blank (no identity yet), circular, 1-minute interval, a
// generated history of kDemoHistoryRecords records.
RecorderConfig demoRecorderConfig();

// "hid", "sim" or "socket:PATH" (PATH not empty). Anything else: a choice without a backend and a
// message in `error`.
BackendChoice chooseBackend(const std::string& name, std::string& error,
                            Clock& clock = SystemClock::instance());

// Whether a recorder can ever be reached under a backend name. Only a socket path can be judged
// before a recorder is looked for: one too long for a socket, or naming a file or a folder, never
// leads to a recorder; a missing one, or a socket where nothing listens yet, may still get one
// (the simulator started later). "hid" and "sim" are always usable.
enum class DeviceOutlook { usable, notYet, never };

struct DeviceCheck {
    DeviceOutlook outlook = DeviceOutlook::usable;
    std::string reason; // why the name cannot be used (yet); empty when usable
};

DeviceCheck checkDeviceName(const std::string& name);

// Whether this system's build reaches recorders on sockets (POSIX only): help and messages name
// socket:PATH only then.
bool socketBackendBuilt();

} // namespace veldrin::sim
