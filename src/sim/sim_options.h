#pragma once
// Command line of veldrin-recorder-sim, parsed into a recorder configuration and a fault plan.

#include "sim/software_recorder.h"

#include <string>
#include <vector>

namespace veldrin::sim {

struct SimProgramOptions {
    std::string socketPath;
    std::string hidgPath; // a USB gadget's HID device file to serve (see hidg_transport.h)
    std::string udcFile;  // that gadget's UDC file: unplugging takes it off the bus
    RecorderConfig config;
    FaultPlan faults;
    int64_t replugAfterMs = -1; // after an unplug fault: plug in again after this long (-1 never)
    bool trace = false;         // print every host frame on stdout
    bool help = false;
};

// False with a message for an unknown option, a missing or malformed value, neither --socket nor
// --hidg (unless --help), or --udc-file without --hidg.
bool parseSimOptions(const std::vector<std::string>& args, SimProgramOptions& out,
                     std::string& error);
std::string simUsage();

// The series of `--series counting`: record k of the recording order (counted from 0, preloaded
// ones included) carries raw temperature k mod 1201 (-40.0 to +80.0 degrees in 0.1 steps) and
// humidity 1 + (k div 1201) mod 99, so that every record names its own place in the order, up to
// kCountingSeriesLength records, and a host's history can be checked for lost or doubled records.
constexpr int kCountingRawSteps = 1201;
constexpr int kCountingHumiditySteps = 99;
constexpr int kCountingSeriesLength = kCountingRawSteps * kCountingHumiditySteps;
std::vector<Measurement> countingSeries();
// The place in the counting series of a record with this raw temperature and humidity; -1 when
// no record of the series has them.
int countingIndex(int rawTemperature, int humidity);

} // namespace veldrin::sim
