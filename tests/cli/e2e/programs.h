#pragma once
// Running the programs of this build from a test: to completion with their output captured, or in
// the background until signalled.

#include <string>
#include <sys/types.h>
#include <vector>

namespace veldrin::testing {

struct ProgramRun {
    int status = -1; // exit status; -1 when it did not exit normally in time
    std::string out;
    std::string err;
};

// Runs `args` (args[0] is the program's path) with its output in files of `folder`; a program that
// has not ended after `timeoutMs` is killed.
ProgramRun runProgram(const std::vector<std::string>& args, const std::string& folder,
                      int timeoutMs = 60000);

class BackgroundProgram {
public:
    // Standard output and error go to `outPath`.
    BackgroundProgram(const std::vector<std::string>& args, const std::string& outPath);
    ~BackgroundProgram(); // kills a program still running
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits until the output holds `text`; false after `timeoutMs` or when the program ended.
    bool waitForOutput(const std::string& text, int timeoutMs = 10000) const;
    std::string output() const;
    // Sends `signal` and waits for the end; the exit status, or -1 (killed, or not in time).
    int stop(int signal, int timeoutMs = 30000);

private:
    pid_t pid_ = -1;
    std::string outPath_;
};

} // namespace veldrin::testing
