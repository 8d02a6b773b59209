#pragma once
// Programs started by this one (the alarm program of watch): started without a shell and without
// arguments, with extra environment variables, watched without blocking and stopped when they
// hang. The operating system's part lives in one file per platform (child_process_posix.cpp,
// child_process_windows.cpp).

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veldrin {

struct ChildEnd {
    bool signalled = false; // ended by a signal (killed) rather than by exiting
    int code = 0;           // the exit status, or the signal's number
    bool success() const { return !signalled && code == 0; }
};

// "exited with status 3", "was ended by signal 9".
std::string describeChildEnd(const ChildEnd& end);

class ChildProcess {
public:
    virtual ~ChildProcess() = default; // a program still running is killed and reaped
    // Its end once it has ended; never waits.
    virtual std::optional<ChildEnd> poll() = 0;
    // Waits for its end.
    virtual ChildEnd wait() = 0;
    // Stops it and whatever it started, at once.
    virtual void kill() = 0;
};

using ChildEnvironment = std::vector<std::pair<std::string, std::string>>;

class ChildLauncher {
public:
    virtual ~ChildLauncher() = default;
    // Starts the executable `program` with no arguments, standard input from nothing, standard
    // output and error shared with this program, and this program's environment plus `extra`
    // (which wins over a variable of the same name), less the variables that hold secrets of this
    // program (isWithheldFromChildren). Null with `error` when it cannot start.
    virtual std::unique_ptr<ChildProcess>
    start(const std::string& program, const ChildEnvironment& extra, std::string& error) = 0;
};

ChildLauncher& systemChildLauncher();

// Whether the environment variable `name` stays out of every program started: the broker's
// password and whatever else of the MQTT login VELDRIN_MQTT_* names. Windows compares names
// without case, so the test does too.
bool isWithheldFromChildren(const std::string& name);

// Why `program` cannot be run (missing, a folder, not executable); empty when it can.
std::string executableFault(const std::string& program);

} // namespace veldrin
