#pragma once
// The choice of the recorder backend by the name the user gives (--device), for the command-line
// tool and the window program. The device layer knows its own backends: "hid" (the real device)
// and "socket:PATH" (a recorder listening on a Unix-domain socket, such as veldrin-recorder-sim).
// Others join at the start of a program: the programs add the in-process software recorder "sim"
// (sim/sim_registration.h), so that nothing here depends on the simulator.

#include "core/clock.h"
#include "device/hid_backend.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace veldrin {

// Whether a recorder can ever be reached under a backend name. Only some names can be judged
// before a recorder is looked for: a socket path too long for a socket, or naming a file or a
// folder, never leads to a recorder; a missing one, or a socket where nothing listens yet, may
// still get one (the simulator started later).
enum class DeviceOutlook { usable, notYet, never };

struct DeviceCheck {
    DeviceOutlook outlook = DeviceOutlook::usable;
    std::string reason; // why the name cannot be used (yet); empty when usable
};

// One way of reaching a recorder.
struct BackendKind {
    // The name as typed ("hid"); for a kind that takes an argument, the prefix before it, colon
    // included ("socket:").
    std::string name;
    // Empty for a name that stands alone; otherwise what the argument is, as the usage text names
    // it ("PATH"). The argument must not be empty.
    std::string argument;
    // The backend for the argument (empty for a name alone); null with a message in `error` when
    // it cannot be had.
    std::function<std::unique_ptr<HidBackend>(const std::string& argument, Clock& clock,
                                              std::string& error)>
        open;
    // Judges the argument before the first attempt; empty: always usable.
    std::function<DeviceCheck(const std::string& argument)> check;
    // Whether help and messages name the kind: a kind this system's build cannot reach stays
    // known, so that it is refused with its own reason, but is not offered.
    bool offered = true;
};

class BackendRegistry {
public:
    // Knows the device layer's own kinds, "hid" and "socket:PATH".
    BackendRegistry();

    // The registry of this process. Kinds are added at the program's start, before any thread
    // opens a backend.
    static BackendRegistry& process();

    // Adds a kind; one of the same name is replaced.
    void add(BackendKind kind);

    // The backend for a name; null with a message in `error` when the name is not understood or
    // the backend cannot be had.
    std::unique_ptr<HidBackend> open(const std::string& name, Clock& clock,
                                     std::string& error) const;
    bool knows(const std::string& name) const;
    // Judges a name before the first attempt; a name not understood counts as usable (open()
    // refuses it).
    DeviceCheck check(const std::string& name) const;
    // The names as the usage text gives them, in alphabetical order: "hid, sim or socket:PATH".
    std::string namesText() const;

private:
    // The kind a name belongs to and its argument; null when none.
    const BackendKind* find(const std::string& name, std::string& argument) const;

    std::vector<BackendKind> kinds_;
};

// The process's registry: the backend for `name`, or null with a message in `error`.
std::unique_ptr<HidBackend> chooseBackend(const std::string& name, std::string& error,
                                          Clock& clock = SystemClock::instance());
// The process's registry: whether a recorder can ever be reached under `name`.
DeviceCheck checkDeviceName(const std::string& name);

} // namespace veldrin
