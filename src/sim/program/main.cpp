// veldrin-recorder-sim: a software recorder served on a Unix-domain socket, or as a USB gadget.

#include "sim/hidg_transport.h"
#include "sim/sim_options.h"
#include "sim/socket_server.h"
#include "sim/software_recorder.h"

#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace veldrin;
using namespace veldrin::sim;

constexpr long kWaitSliceMs = 100; // how often a pending re-plug is looked at

void printFrame(const Frame& frame) {
    std::printf("frame %02X %02X %02X %02X %02X %02X %02X %02X\n", frame[0], frame[1], frame[2],
                frame[3], frame[4], frame[5], frame[6], frame[7]);
    std::fflush(stdout);
}

// Blocks the stop signals in every thread, so that only the main loop takes them.
sigset_t blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}

int run(const SimProgramOptions& options) {
    std::signal(SIGPIPE, SIG_IGN);
    const sigset_t stopSignals = blockStopSignals();

    auto recorder = std::make_shared<SoftwareRecorder>(options.config);
    recorder->setFaults(options.faults);
    if (options.trace) {
        recorder->setFrameObserver(printFrame);
    }
    // Every transport serves the same recorder; each only moves reports.
    std::vector<std::unique_ptr<RecorderTransport>> transports;
    if (!options.socketPath.empty()) {
        transports.push_back(std::make_unique<SocketServer>(recorder, options.socketPath));
    }
    if (!options.hidgPath.empty()) {
        transports.push_back(std::make_unique<HidgTransport>(
            recorder, HidgSettings{options.hidgPath, options.udcFile, {}}));
    }
    for (auto& transport : transports) {
        std::string error;
        if (!transport->start(error)) {
            std::fprintf(stderr, "veldrin-recorder-sim: %s\n", error.c_str());
            return 1; // the ones already started stop as they go
        }
    }
    if (!options.socketPath.empty()) {
        std::printf("listening on %s\n", options.socketPath.c_str());
    }
    if (!options.hidgPath.empty()) {
        std::printf("serving %s\n", options.hidgPath.c_str());
    }
    std::fflush(stdout);

    const timespec slice{0, kWaitSliceMs * 1'000'000L};
    for (;;) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &slice);
        if (signal == SIGINT || signal == SIGTERM) {
            break;
        }
        if (options.replugAfterMs >= 0) {
            recorder->replugAfter(options.replugAfterMs);
        }
    }
    for (auto& transport : transports) {
        transport->stop();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    SimProgramOptions options;
    std::string error;
    if (!parseSimOptions(args, options, error)) {
        std::fprintf(stderr, "veldrin-recorder-sim: %s\n(--help lists the options)\n",
                     error.c_str());
        return 2;
    }
    if (options.help) {
        std::cout << simUsage();
        return 0;
    }
    return run(options);
}
