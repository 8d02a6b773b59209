#include "sim/backend_choice.h"

#include "sim/sim_backend.h"
#include "sim/socket_check.h"

namespace veldrin::sim {
namespace {

constexpr const char* kSocketPrefix = "socket:";

} // namespace

RecorderConfig demoRecorderConfig() {
    RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = kDemoHistoryRecords;
    return config;
}

BackendChoice chooseBackend(const std::string& name, std::string& error, Clock& clock) {
    BackendChoice choice;
    const std::string prefix = kSocketPrefix;
    if (name == "hid") {
        choice.backend = makeHidBackend();
    } else if (name == "sim") {
        choice.recorder = std::make_shared<SoftwareRecorder>(demoRecorderConfig(), clock);
        choice.backend = makeSimBackend(choice.recorder);
    } else if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        choice.backend = makeSocketBackend(name.substr(prefix.size()));
        if (!choice.backend) {
            error = "a recorder on a socket cannot be reached on this system";
        }
    } else {
        error = "unknown recorder backend \"" + name + "\" (use " +
                (socketBackendBuilt() ? "hid, sim or socket:PATH" : "hid or sim") + ")";
    }
    return choice;
}

DeviceCheck checkDeviceName(const std::string& name) {
    const std::string prefix = kSocketPrefix;
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        return checkSocketPath(name.substr(prefix.size()));
    }
    return {};
}

} // namespace veldrin::sim
