#include "sim_process.h"

#include "support/test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace veldrin::testing {
namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 3000;

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Spawns the program with stdout into a pipe; the pid, or -1.
pid_t spawn(const std::vector<std::string>& args, int& outFd) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    const std::string program = binaryPath("veldrin-recorder-sim");
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int r = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (r != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    outFd = pipeFds[0];
    return pid;
}

// Reads what is there within timeoutMs; false at end of file or time-out.
bool readSome(int fd, std::string& into, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
        return false;
    }
    char buffer[1024];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    into.append(buffer, static_cast<std::size_t>(n));
    return true;
}

int exitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Waits for the end of the output (the program has ended), then reaps it; SIGKILL after the
// time-out.
int reap(pid_t pid, int outFd, std::string* output) {
    const int64_t deadline = nowMs() + kStopTimeoutMs;
    std::string discard;
    while (nowMs() < deadline && readSome(outFd, output != nullptr ? *output : discard,
                                          static_cast<int>(deadline - nowMs()))) {
    }
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        pollfd p{outFd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<int64_t>(deadline - nowMs(), 0))) <= 0) {
            ::kill(pid, SIGKILL);
        }
        ::waitpid(pid, &status, 0);
    }
    ::close(outFd);
    return exitCodeOf(status);
}

} // namespace

ProgramRun runSimProgram(const std::vector<std::string>& args) {
    ProgramRun run;
    int out = -1;
    const pid_t pid = spawn(args, out);
    if (pid < 0) {
        return run;
    }
    run.exitCode = reap(pid, out, &run.output);
    return run;
}

SimProcess::~SimProcess() {
    stop();
}

bool SimProcess::start(const std::vector<std::string>& args, std::string& error) {
    pid_ = spawn(args, out_);
    if (pid_ < 0) {
        error = "cannot start " + binaryPath("veldrin-recorder-sim");
        return false;
    }
    std::string line;
    if (!readLine(line, kStartTimeoutMs) || line.rfind("listening on ", 0) != 0) {
        error = "no \"listening on\" line (got \"" + line + "\")";
        stop();
        return false;
    }
    return true;
}

bool SimProcess::readLine(std::string& line, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        const int64_t left = deadline - nowMs();
        if (left <= 0 || !readSome(out_, pending_, static_cast<int>(left))) {
            line = pending_;
            return false;
        }
    }
}

std::vector<Frame> SimProcess::frames(std::size_t count, int timeoutMs) {
    const int64_t deadline = nowMs() + timeoutMs;
    std::string line;
    while (frames_.size() < count && out_ >= 0 &&
           readLine(line, static_cast<int>(std::max<int64_t>(deadline - nowMs(), 0)))) {
        Frame f{};
        unsigned b[8];
        if (std::sscanf(line.c_str(), "frame %x %x %x %x %x %x %x %x", &b[0], &b[1], &b[2], &b[3],
                        &b[4], &b[5], &b[6], &b[7]) == 8) {
            for (int i = 0; i < 8; ++i) {
                f[static_cast<std::size_t>(i)] = static_cast<uint8_t>(b[i]);
            }
            frames_.push_back(f);
        }
    }
    return frames_;
}

int SimProcess::stop() {
    if (pid_ < 0) {
        return -1;
    }
    ::kill(pid_, SIGTERM);
    const int code = reap(pid_, out_, nullptr);
    pid_ = -1;
    out_ = -1;
    return code;
}

} // namespace veldrin::testing
