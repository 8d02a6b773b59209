#include "sim/socket_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace veldrin::sim {
namespace {

constexpr int kPollIntervalMs = 50; // how soon an unplug from outside closes the connections
constexpr std::size_t kOutboxLimit = 64 * 1024; // a host that never reads is dropped
constexpr std::size_t kHangUpBytes = 4;         // what goes out of a report that is cut

struct Connection {
    int fd = -1;
    std::unique_ptr<RecorderSession> session;
    uint8_t inbox[kReportSize] = {};
    std::size_t inboxLength = 0;
    std::vector<uint8_t> outbox;
    bool closeWhenFlushed = false;
    bool dead = false;
};

void appendDescriptor(std::vector<uint8_t>& out, const HidAttributes& a) {
    for (uint16_t v : {a.vendorId, a.productId, a.release}) {
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
}

// Queues the answers the session has for the host. A report that is cut ends the connection.
void collectAnswers(Connection& c) {
    InputReport answer;
    while (!c.closeWhenFlushed && c.session->nextAnswer(answer)) {
        if (answer.hangUp) {
            c.outbox.insert(c.outbox.end(), answer.bytes, answer.bytes + kHangUpBytes);
            c.closeWhenFlushed = true;
            c.session->close();
            break;
        }
        // The stream carries whole reports; a short one arrives with its missing bytes as 0.
        uint8_t report[kReportSize] = {};
        std::copy(answer.bytes, answer.bytes + std::min(answer.length, kReportSize), report);
        c.outbox.insert(c.outbox.end(), report, report + kReportSize);
    }
    if (c.outbox.size() > kOutboxLimit) {
        c.dead = true;
    }
}

void flush(Connection& c) {
    while (!c.outbox.empty()) {
        const ssize_t n =
            ::send(c.fd, c.outbox.data(), c.outbox.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            c.dead = true;
            return;
        }
        c.outbox.erase(c.outbox.begin(), c.outbox.begin() + n);
    }
    if (c.closeWhenFlushed) {
        c.dead = true;
    }
}

// Takes what the host sent, report by report.
void receive(Connection& c, SoftwareRecorder& recorder) {
    uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            c.dead = true; // closed by the host, or broken
            return;
        }
        for (ssize_t i = 0; i < n && !c.closeWhenFlushed; ++i) {
            c.inbox[c.inboxLength++] = buffer[i];
            if (c.inboxLength < kReportSize) {
                continue;
            }
            c.inboxLength = 0;
            if (!c.session->receive(c.inbox)) {
                c.dead = true;
                return;
            }
            recorder.waitAnswerDelay();
            collectAnswers(c);
        }
    }
}

void closeConnection(Connection& c) {
    if (c.fd >= 0) {
        ::close(c.fd);
        c.fd = -1;
    }
}

} // namespace

SocketServer::SocketServer(std::shared_ptr<SoftwareRecorder> recorder, std::string path)
    : recorder_(std::move(recorder)), path_(std::move(path)) {}

SocketServer::~SocketServer() {
    stop();
}

bool SocketServer::start(std::string& error) {
    if (serving_.started()) {
        error = "already serving";
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof address.sun_path) {
        error = "socket path empty or longer than " + std::to_string(sizeof address.sun_path - 1) +
                " bytes: " + path_;
        return false;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);

    struct stat existing {};
    if (::lstat(path_.c_str(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            error = path_ + " exists and is not a socket";
            return false;
        }
        ::unlink(path_.c_str()); // left behind by a server that did not end cleanly
    }

    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        error = "cannot listen on " + path_ + ": " + std::strerror(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    if (!serving_.start([this] { serve(); }, error)) {
        ::close(listenFd_);
        listenFd_ = -1;
        ::unlink(path_.c_str());
        return false;
    }
    return true;
}

void SocketServer::stop() {
    if (!serving_.started()) {
        return;
    }
    serving_.stop();
    ::close(listenFd_);
    listenFd_ = -1;
    ::unlink(path_.c_str());
}

void SocketServer::serve() {
    std::vector<Connection> connections;
    uint64_t generation = recorder_->plugGeneration();
    std::vector<pollfd> fds;

    while (!serving_.stopping()) {
        fds.clear();
        fds.push_back({serving_.wakeFd(), POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const Connection& c : connections) {
            fds.push_back({c.fd, static_cast<short>(POLLIN | (c.outbox.empty() ? 0 : POLLOUT)), 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), kPollIntervalMs);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (serving_.stopping()) {
            break;
        }

        // An unplug ends every connection opened before it.
        const uint64_t nowGeneration = recorder_->plugGeneration();
        const bool unplugged = nowGeneration != generation || !recorder_->plugged();
        generation = nowGeneration;

        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection& c = connections[i];
            const short revents = fds[i + 2].revents;
            if (unplugged) {
                c.dead = true;
                continue;
            }
            if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                receive(c, *recorder_);
            }
            if (!c.dead) {
                flush(c);
            }
            if (!c.dead && !c.closeWhenFlushed && !c.session->alive()) {
                c.dead = true;
            }
        }

        if ((fds[1].revents & POLLIN) != 0) {
            for (;;) {
                const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0) {
                    break;
                }
                Connection c;
                c.fd = fd;
                c.session = recorder_->openSession();
                if (!c.session) {
                    closeConnection(c); // unplugged: the device cannot be opened
                    continue;
                }
                appendDescriptor(c.outbox, recorder_->attributes());
                flush(c);
                connections.push_back(std::move(c));
            }
        }

        for (Connection& c : connections) {
            if (c.dead) {
                closeConnection(c);
            }
        }
        std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
        connections_ = static_cast<int>(connections.size());
    }
    for (Connection& c : connections) {
        closeConnection(c);
    }
    connections_ = 0;
}

} // namespace veldrin::sim
