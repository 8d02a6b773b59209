#pragma once
// Runs veldrin-recorder-sim as a child process for the socket tests: starts it, waits for its
// "listening on" line, collects the frames it traces, and ends it with SIGTERM.

#include "device/frames.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace veldrin::testing {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// Runs the program to its end with the given arguments (for --help and bad options).
ProgramRun runSimProgram(const std::vector<std::string>& args);

class SimProcess {
public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the program and waits (at most a few seconds) for "listening on PATH".
    bool start(const std::vector<std::string>& args, std::string& error);
    // Host frames the program has traced so far, waiting up to timeoutMs for at least `count`.
    std::vector<Frame> frames(std::size_t count, int timeoutMs = 2000);
    // SIGTERM, then the exit code (SIGKILL and -1 when it does not end within a few seconds).
    int stop();

private:
    bool readLine(std::string& line, int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::vector<Frame> frames_;
};

} // namespace veldrin::testing
