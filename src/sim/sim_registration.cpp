#include "sim/sim_registration.h"

#include "sim/sim_backend.h"

namespace veldrin::sim {

RecorderConfig demoRecorderConfig() {
    RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = kDemoHistoryRecords;
    return config;
}

BackendKind simBackendKind() {
    BackendKind kind;
    kind.name = "sim";
    kind.open = [](const std::string&, Clock& clock, std::string&) {
        return makeSimBackend(std::make_shared<SoftwareRecorder>(demoRecorderConfig(), clock));
    };
    return kind;
}

void registerSimBackend() {
    BackendRegistry::process().add(simBackendKind());
}

} // namespace veldrin::sim
