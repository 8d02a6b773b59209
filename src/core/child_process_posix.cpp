#include "core/child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace veldrin {
namespace {

ChildEnd endOf(int status) {
    ChildEnd end;
    if (WIFSIGNALED(status)) {
        end.signalled = true;
        end.code = WTERMSIG(status);
    } else {
        end.code = WEXITSTATUS(status);
    }
    return end;
}

// The program leads a process group of its own, so that killing it reaches what it started.
class PosixChild final : public ChildProcess {
public:
    explicit PosixChild(pid_t pid) : pid_(pid) {}
    ~PosixChild() override {
        if (!end_) {
            kill();
            wait();
        }
    }

    std::optional<ChildEnd> poll() override {
        if (!end_) {
            reap(WNOHANG);
        }
        return end_;
    }

    ChildEnd wait() override {
        while (!end_) {
            if (!reap(0)) {
                break;
            }
        }
        return end_.value_or(ChildEnd{true, SIGKILL});
    }

    void kill() override {
        if (!end_ && ::kill(-pid_, SIGKILL) != 0) {
            ::kill(pid_, SIGKILL);
        }
    }

private:
    // false when the process cannot be waited for any more (it is not ours, or gone).
    bool reap(int options) {
        int status = 0;
        const pid_t got = ::waitpid(pid_, &status, options);
        if (got == pid_) {
            end_ = endOf(status);
            return true;
        }
        if (got < 0 && errno != EINTR) {
            end_ = ChildEnd{true, SIGKILL};
            return false;
        }
        return true;
    }

    pid_t pid_;
    std::optional<ChildEnd> end_;
};

// This process's environment without the names `extra` sets and without its secrets, then
// `extra`.
std::vector<std::string> environmentFor(const ChildEnvironment& extra) {
    std::vector<std::string> out;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = isWithheldFromChildren(name);
        for (const auto& [key, value] : extra) {
            replaced = replaced || key == name;
        }
        if (!replaced) {
            out.push_back(entry);
        }
    }
    for (const auto& [key, value] : extra) {
        out.push_back(key + "=" + value);
    }
    return out;
}

class PosixLauncher final : public ChildLauncher {
public:
    std::unique_ptr<ChildProcess> start(const std::string& program, const ChildEnvironment& extra,
                                        std::string& error) override {
        std::vector<std::string> env = environmentFor(extra);
        std::vector<char*> envp;
        for (std::string& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::string path = program;
        char* argv[] = {path.data(), nullptr};

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        // Its own process group; the signals this program catches or ignores back to default.
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int sig : {SIGINT, SIGTERM, SIGPIPE, SIGCHLD, SIGHUP}) {
            sigaddset(&defaults, sig);
        }
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                            POSIX_SPAWN_SETSIGDEF);
        pid_t pid = -1;
        const int result = posix_spawn(&pid, path.c_str(), &actions, &attr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (result != 0) {
            error = program + " could not be started: " + std::strerror(result);
            return nullptr;
        }
        return std::make_unique<PosixChild>(pid);
    }
};

} // namespace

ChildLauncher& systemChildLauncher() {
    static PosixLauncher launcher;
    return launcher;
}

std::string executableFault(const std::string& program) {
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0) {
        return program + ": " + std::strerror(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return program + " is not a file";
    }
    if (::access(program.c_str(), X_OK) != 0) {
        return program + " is not executable";
    }
    return {};
}

} // namespace veldrin
