#pragma once
// The distribution's MQTT broker on a free loopback port with a configuration of its own (no
// system service, nothing kept outside `folder`), for the tests and the benchmark. Header-only,
// so that the benchmark uses it without the test framework.

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace veldrin::testing {

// The loopback address with `port` (0: any free one, when bound).
inline sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

class LocalBroker {
public:
    // `extraConfig` is appended to the configuration (a password file, persistence).
    explicit LocalBroker(std::string folder, std::string extraConfig = {})
        : folder_(std::move(folder)), extra_(std::move(extraConfig)), port_(freePort()) {}
    ~LocalBroker() { stop(SIGKILL); }
    LocalBroker(const LocalBroker&) = delete;
    LocalBroker& operator=(const LocalBroker&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& user = {}) const {
        return "mqtt://" + user + "127.0.0.1:" + std::to_string(port_);
    }

    // Starts the broker and waits until it takes connections; false when it does not.
    bool start() {
        const std::string config = folder_ + "/mosquitto.conf";
        // Started by root, the broker would take another identity that may not write here.
        const passwd* self = getpwuid(geteuid());
        std::ofstream(config) << "user " << (self != nullptr ? self->pw_name : "root") << "\n"
                              << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\n"
                              << "max_queued_messages 0\n"
                              << extra_;
        pid_ = fork();
        if (pid_ == 0) {
            const int out = open((folder_ + "/mosquitto.out").c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            execlp("mosquitto", "mosquitto", "-c", config.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address = loopbackAddress(port_);
            const bool accepts =
                connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            close(fd);
            if (accepts) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // SIGTERM lets the broker save its persistent sessions; SIGKILL does not.
    void stop(int signal) {
        if (pid_ > 0) {
            kill(pid_, signal);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

private:
    static int freePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopbackAddress(0);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        close(fd);
        return ntohs(address.sin_port);
    }

    std::string folder_;
    std::string extra_;
    int port_;
    pid_t pid_ = -1;
};

} // namespace veldrin::testing
