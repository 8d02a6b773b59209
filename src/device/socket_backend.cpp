// A recorder in another process, reached over a Unix-domain stream socket.
//
// Protocol: every open is one new connection to the socket on which the recorder side listens; a
// refused or missing socket means no device. Right after accepting, the recorder side sends a
// 6-byte descriptor (vendor ID, product ID, release number; unsigned 16-bit little-endian each),
// which the host must receive within 1 s. Then each output report is exactly 9 bytes from host to
// recorder (byte 0 the report ID 0, bytes 1 to 8 the frame) and each input report exactly 9 bytes
// back. A connection closed by the recorder side is an unplugged device.

#include "device/hid_backend.h"

#include "core/utf8_path.h"

#include <algorithm>
#include <filesystem>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace veldrin {
namespace {

constexpr int kDescriptorTimeoutMs = 1000;
constexpr std::size_t kDescriptorSize = 6;

int64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Waits for `events` on fd until the deadline; true when ready.
bool waitFor(int fd, short events, int64_t deadline) {
    for (;;) {
        const int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            return false;
        }
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        return r > 0 && (p.revents & events) != 0;
    }
}

// Receives exactly `size` bytes before the deadline; false on time-out, error or closed peer.
bool receiveExactly(int fd, uint8_t* out, std::size_t size, int64_t deadline) {
    std::size_t got = 0;
    while (got < size) {
        if (!waitFor(fd, POLLIN, deadline)) {
            return false;
        }
        const ssize_t n = ::recv(fd, out + got, size - got, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool sendExactly(int fd, const uint8_t* data, std::size_t size, int64_t deadline) {
    std::size_t sent = 0;
    while (sent < size) {
        if (!waitFor(fd, POLLOUT, deadline)) {
            return false;
        }
        const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

class SocketDevice final : public HidDevice {
public:
    SocketDevice(int fd, HidAttributes attributes) : fd_(fd), attributes_(attributes) {}
    ~SocketDevice() override { ::close(fd_); }
    SocketDevice(const SocketDevice&) = delete;
    SocketDevice& operator=(const SocketDevice&) = delete;

    int writeReport(const uint8_t (&report)[kReportSize]) override {
        if (broken_) {
            return 0;
        }
        if (!sendExactly(fd_, report, kReportSize, monotonicMs() + kWriteTimeoutMs)) {
            broken_ = true; // a partly sent report would shift every later one
            return 0;
        }
        return 1;
    }

    int readReport(uint8_t (&report)[kReportSize]) override {
        if (broken_) {
            return 0;
        }
        const int64_t deadline = monotonicMs() + kReadTimeoutMs;
        if (!waitFor(fd_, POLLIN, deadline)) {
            return 0; // nothing arrived: a plain time-out, the connection stays usable
        }
        uint8_t buffer[kReportSize] = {};
        if (!receiveExactly(fd_, buffer, kReportSize, deadline)) {
            broken_ = true;
            return 0;
        }
        std::memcpy(report, buffer, kReportSize);
        return 1;
    }

    bool attributes(HidAttributes& out) override {
        if (broken_ || peerClosed()) {
            return false;
        }
        out = attributes_;
        return true;
    }

private:
    bool peerClosed() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) {
            return false;
        }
        if ((p.revents & (POLLHUP | POLLERR)) != 0) {
            return true;
        }
        uint8_t byte = 0;
        return ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

    int fd_;
    HidAttributes attributes_;
    bool broken_ = false;
};

// Connects to one socket path; the listing is left to the kinds below.
class SocketConnector : public HidBackend {
public:
    std::unique_ptr<HidDevice> open(const std::string& path) override {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) {
            return nullptr;
        }
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return nullptr;
        }
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return nullptr;
        }
        uint8_t d[kDescriptorSize];
        if (!receiveExactly(fd, d, sizeof d, monotonicMs() + kDescriptorTimeoutMs)) {
            ::close(fd);
            return nullptr;
        }
        HidAttributes attributes;
        attributes.vendorId = static_cast<uint16_t>(d[0] | (d[1] << 8));
        attributes.productId = static_cast<uint16_t>(d[2] | (d[3] << 8));
        attributes.release = static_cast<uint16_t>(d[4] | (d[5] << 8));
        return std::make_unique<SocketDevice>(fd, attributes);
    }
};

class SocketBackend final : public SocketConnector {
public:
    explicit SocketBackend(std::vector<std::string> paths) : paths_(std::move(paths)) {}

    bool listInterfaces(std::vector<std::string>& paths) override {
        paths = paths_;
        return true;
    }

private:
    std::vector<std::string> paths_;
};

class SocketFolderBackend final : public SocketConnector {
public:
    explicit SocketFolderBackend(std::string folder) : folder_(std::move(folder)) {}

    // The sockets in the folder by name, so that a recorder keeps its place while others come
    // and go.
    bool listInterfaces(std::vector<std::string>& paths) override {
        paths.clear();
        std::error_code ec;
        std::filesystem::directory_iterator it(pathFromUtf8(folder_), ec);
        if (ec) {
            return false;
        }
        for (const std::filesystem::directory_entry& entry : it) {
            std::error_code typeError;
            if (entry.is_socket(typeError)) {
                paths.push_back(utf8FromPath(entry.path()));
            }
        }
        std::sort(paths.begin(), paths.end());
        return true;
    }

private:
    std::string folder_;
};

} // namespace

std::unique_ptr<HidBackend> makeSocketBackend(const std::string& socketPath) {
    return std::make_unique<SocketBackend>(std::vector<std::string>{socketPath});
}

std::unique_ptr<HidBackend> makeSocketBackend(const std::vector<std::string>& socketPaths) {
    return std::make_unique<SocketBackend>(socketPaths);
}

std::unique_ptr<HidBackend> makeSocketFolderBackend(const std::string& folder) {
    return std::make_unique<SocketFolderBackend>(folder);
}

} // namespace veldrin
