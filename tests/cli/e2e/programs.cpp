#include "e2e/programs.h"

#include "support/test_support.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace veldrin::testing {
namespace {

constexpr auto kPollStep = std::chrono::milliseconds(20);

pid_t spawn(const std::vector<std::string>& args, const std::string& outPath,
            const std::string& errPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errPath == outPath) {
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status once the program has ended; -1 when it was killed by a signal or is still
// running after `timeoutMs` (it is then killed).
int waitForExit(pid_t pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int wstatus = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid) {
            return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &wstatus, 0);
            return -1;
        }
        std::this_thread::sleep_for(kPollStep);
    }
}

} // namespace

ProgramRun runProgram(const std::vector<std::string>& args, const std::string& folder,
                      int timeoutMs) {
    const std::string outPath = folder + "/run.out";
    const std::string errPath = folder + "/run.err";
    ProgramRun run;
    const pid_t pid = spawn(args, outPath, errPath);
    if (pid <= 0) {
        return run;
    }
    run.status = waitForExit(pid, timeoutMs);
    run.out = readFile(outPath);
    run.err = readFile(errPath);
    return run;
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& args,
                                     const std::string& outPath)
    : pid_(spawn(args, outPath, outPath)), outPath_(outPath) {}

BackgroundProgram::~BackgroundProgram() {
    if (pid_ > 0) {
        stop(SIGKILL, 5000);
    }
}

std::string BackgroundProgram::output() const {
    return readFile(outPath_);
}

bool BackgroundProgram::waitForOutput(const std::string& text, int timeoutMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (output().find(text) != std::string::npos) {
            return true;
        }
        siginfo_t info{};
        if (pid_ <= 0 ||
            (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid_)) {
            return output().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return false;
}

int BackgroundProgram::stop(int signal, int timeoutMs) {
    if (pid_ <= 0) {
        return -1;
    }
    ::kill(pid_, signal);
    const int status = waitForExit(pid_, timeoutMs);
    pid_ = -1;
    return status;
}

} // namespace veldrin::testing
