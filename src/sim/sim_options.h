#pragma once
// Command line of veldrin-recorder-sim, parsed into a recorder configuration and a fault plan.

#include "sim/software_recorder.h"

#include <string>
#include <vector>

namespace veldrin::sim {

struct SimProgramOptions {
    std::string socketPath;
    RecorderConfig config;
    FaultPlan faults;
    int64_t replugAfterMs = -1; // after an unplug fault: plug in again after this long (-1 never)
    bool trace = false;         // print every host frame on stdout
    bool help = false;
};

// False with a message for an unknown option, a missing or malformed value, or no --socket
// (unless --help).
bool parseSimOptions(const std::vector<std::string>& args, SimProgramOptions& out,
                     std::string& error);
std::string simUsage();

} // namespace veldrin::sim
