#include "sim/backend_choice.h"

#include "sim/sim_backend.h"

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
        choice.backend = makeHidapiBackend();
    } else if (name == "sim") {
        choice.recorder = std::make_shared<SoftwareRecorder>(demoRecorderConfig(), clock);
        choice.backend = makeSimBackend(choice.recorder);
    } else if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        choice.backend = makeSocketBackend(name.substr(prefix.size()));
    } else {
        error = "unknown recorder backend \"" + name + "\" (use hid, sim or socket:PATH)";
    }
    return choice;
}

} // namespace veldrin::sim
