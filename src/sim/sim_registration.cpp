#include "sim/sim_registration.h"

#include "sim/sim_backend.h"

#include <charconv>

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

std::unique_ptr<HidBackend> openSimRecorders(const std::string& argument, Clock& clock,
                                             std::string& error) {
    int count = 0;
    const char* end = argument.data() + argument.size();
    const auto [stop, fault] = std::from_chars(argument.data(), end, count);
    if (fault != std::errc() || stop != end || count < 1 || count > kMostSimRecorders) {
        error = "sim:COUNT takes a number of recorders from 1 to " +
                std::to_string(kMostSimRecorders) + ", not \"" + argument + "\"";
        return nullptr;
    }
    std::vector<std::shared_ptr<SoftwareRecorder>> recorders;
    for (int i = 0; i < count; ++i) {
        recorders.push_back(std::make_shared<SoftwareRecorder>(demoRecorderConfig(), clock));
    }
    return makeSimBackend(std::move(recorders));
}

BackendKind simRecordersKind() {
    BackendKind kind;
    kind.name = "sim:";
    kind.argument = "COUNT";
    kind.open = openSimRecorders;
    return kind;
}

void registerSimBackend() {
    BackendRegistry::process().add(simBackendKind());
    BackendRegistry::process().add(simRecordersKind());
}

} // namespace veldrin::sim
