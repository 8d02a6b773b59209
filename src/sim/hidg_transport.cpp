#include "sim/hidg_transport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace veldrin::sim {
namespace {

constexpr int kPollIntervalMs = 20;     // how soon an unplug or a change of binding is acted on
constexpr int64_t kBindingCheckMs = 50; // the UDC file and the device node are looked at this often
constexpr int64_t kReopenDelayMs = 50;  // between attempts to open a device file that is not there
constexpr std::size_t kCutReportBytes = 4; // what goes out of an answer that is cut
constexpr std::size_t kOutboxLimit = 256;  // answers kept for a host that does not read them

int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int openNonBlocking(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

std::string trimmed(std::string text) {
    const auto notSpace = [](unsigned char c) { return c != ' ' && c != '\n' && c != '\t'; };
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    return text;
}

// Bytes of an answer as they go on the bus: without the report ID; a short answer stays short.
std::size_t wireLength(const InputReport& answer) {
    if (answer.hangUp) {
        return kCutReportBytes;
    }
    const std::size_t length = std::min(answer.length, kReportSize);
    return length > 0 ? length - 1 : 0;
}

} // namespace

struct HidgTransport::Link {
    int fd = -1;
    std::unique_ptr<RecorderSession> session;
    std::deque<InputReport> outbox;
    bool bound = true;
    int64_t nextOpenMs = 0;
    // The device node the file was opened through: a gadget that was unbound and bound again in
    // between two looks at its UDC file has a new node, and the old file serves nothing.
    bool nodeKnown = false;
    dev_t node = 0;
    ino_t inode = 0;
};

bool readGadgetBinding(const std::string& udcFile, std::string& controller) {
    const int fd = ::open(udcFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[256];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0) {
        return false;
    }
    controller = trimmed(std::string(buffer, static_cast<std::size_t>(n)));
    return true;
}

bool writeGadgetBinding(const std::string& udcFile, const std::string& controller) {
    const int fd = ::open(udcFile.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const std::string line = controller + "\n";
    ssize_t n;
    do {
        n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    const bool closed = ::close(fd) == 0;
    return n == static_cast<ssize_t>(line.size()) && closed;
}

HidgTransport::HidgTransport(std::shared_ptr<SoftwareRecorder> recorder, HidgSettings settings)
    : recorder_(std::move(recorder)), settings_(std::move(settings)) {
    if (!settings_.openDevice) {
        settings_.openDevice = openNonBlocking;
    }
}

HidgTransport::~HidgTransport() {
    stop();
}

bool HidgTransport::start(std::string& error) {
    if (serving_.started()) {
        error = "already serving";
        return false;
    }
    if (!settings_.udcFile.empty()) {
        if (!readGadgetBinding(settings_.udcFile, controller_)) {
            error = "cannot read " + settings_.udcFile + ": " + std::strerror(errno);
            return false;
        }
        if (controller_.empty()) {
            error = "the gadget is not bound to a controller (" + settings_.udcFile + " is empty)";
            return false;
        }
    }
    firstFd_ = settings_.openDevice(settings_.devicePath);
    if (firstFd_ < 0) {
        error = "cannot open " + settings_.devicePath + ": " + std::strerror(errno);
        return false;
    }
    unboundByUs_ = false;
    if (!serving_.start([this] { serve(); }, error)) {
        ::close(firstFd_);
        firstFd_ = -1;
        return false;
    }
    return true;
}

void HidgTransport::stop() {
    serving_.stop();
}

void HidgTransport::serve() {
    Link link;
    link.fd = std::exchange(firstFd_, -1);
    if (link.fd >= 0) {
        ++opens_;
        struct stat s {};
        if (::stat(settings_.devicePath.c_str(), &s) == 0) {
            link.nodeKnown = true;
            link.node = s.st_rdev;
            link.inode = s.st_ino;
        }
        newSession(link);
    }
    nextBindingCheckMs_ = 0;

    while (!serving_.stopping()) {
        followPresence(link);
        if (link.fd < 0 && link.bound && steadyMs() >= link.nextOpenMs) {
            openLink(link);
        }
        pollfd fds[2] = {{serving_.wakeFd(), POLLIN, 0}, {link.fd, POLLIN, 0}};
        if (link.fd >= 0 && !link.outbox.empty()) {
            fds[1].events |= POLLOUT;
        }
        const int ready = ::poll(fds, link.fd >= 0 ? 2 : 1, kPollIntervalMs);
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (serving_.stopping()) {
            break;
        }
        if (link.fd < 0 || ready <= 0) {
            continue;
        }
        const short revents = fds[1].revents;
        if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            receive(link);
        } else if ((revents & POLLNVAL) != 0) {
            closeLink(link);
        }
        if (link.fd >= 0) {
            flush(link);
        }
    }
    closeLink(link);
}

bool HidgTransport::openLink(Link& link) {
    const int fd = settings_.openDevice(settings_.devicePath);
    if (fd < 0) {
        link.nextOpenMs = steadyMs() + kReopenDelayMs;
        return false;
    }
    link.fd = fd;
    ++opens_;
    struct stat s {};
    link.nodeKnown = ::stat(settings_.devicePath.c_str(), &s) == 0;
    link.node = s.st_rdev;
    link.inode = s.st_ino;
    // Frames the host sent between the binding and this open are its first commands: the
    // function drops what was pending when the gadget was unbound, so nothing here is stale.
    newSession(link);
    return true;
}

void HidgTransport::newSession(Link& link) {
    link.outbox.clear();
    link.session = recorder_->openSession(); // none while the recorder is unplugged
}

void HidgTransport::closeLink(Link& link) {
    if (link.fd >= 0) {
        ::close(link.fd);
        link.fd = -1;
    }
    link.session.reset();
    link.outbox.clear();
    link.nextOpenMs = steadyMs() + kReopenDelayMs;
}

// Brings the bus in line with the recorder and the recorder in line with the bus; see the header.
void HidgTransport::followPresence(Link& link) {
    const int64_t now = steadyMs();
    bool plugged = recorder_->plugged();
    const bool due = now >= nextBindingCheckMs_;
    const bool unplugNotShown = !plugged && link.session != nullptr;
    if (!due && !unplugNotShown) {
        return;
    }
    nextBindingCheckMs_ = now + kBindingCheckMs;

    if (!settings_.udcFile.empty()) {
        std::string controller;
        if (readGadgetBinding(settings_.udcFile, controller)) {
            bool bound = !controller.empty();
            if (bound) {
                controller_ = controller;
            }
            if (!plugged && bound && unboundByUs_) {
                recorder_->plug(); // bound again from outside: the recorder is back
                plugged = true;
                unboundByUs_ = false;
            } else if (!plugged && bound && writeGadgetBinding(settings_.udcFile, "")) {
                unboundByUs_ = true;
                bound = false;
            } else if (plugged && !bound && unboundByUs_ && !controller_.empty() &&
                       writeGadgetBinding(settings_.udcFile, controller_)) {
                unboundByUs_ = false;
                bound = true;
            }
            if (!bound) {
                closeLink(link);
            } else if (!link.bound) {
                link.nextOpenMs = now; // the node may take a moment; openLink retries
            }
            link.bound = bound;
        }
    }

    if (link.fd >= 0 && link.nodeKnown) {
        struct stat s {};
        if (::stat(settings_.devicePath.c_str(), &s) != 0 || s.st_ino != link.inode ||
            s.st_rdev != link.node) {
            closeLink(link);
            link.nextOpenMs = now;
        }
    }
    if (link.fd < 0) {
        return;
    }
    if (!plugged) {
        link.session.reset(); // frames are taken and not answered
        link.outbox.clear();
    } else if (!link.session || !link.session->alive()) {
        newSession(link);
    }
}

void HidgTransport::receive(Link& link) {
    uint8_t buffer[64];
    while (link.fd >= 0) {
        const ssize_t n = ::read(link.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n <= 0) {
            closeLink(link); // the gadget was unbound (ESHUTDOWN and the like) or the file ended
            return;
        }
        if ((!link.session || !link.session->alive()) && recorder_->plugged()) {
            newSession(link); // plugged in again since the last frame
        }
        if (!link.session) {
            continue;
        }
        uint8_t report[kReportSize] = {0};
        std::copy(buffer, buffer + std::min(static_cast<std::size_t>(n), kFrameSize), report + 1);
        if (!link.session->receive(report)) {
            link.session.reset();
            link.outbox.clear();
            continue;
        }
        InputReport answer;
        while (link.session && link.session->nextAnswer(answer)) {
            if (link.outbox.size() < kOutboxLimit) {
                link.outbox.push_back(answer);
            }
            if (answer.hangUp) {
                std::deque<InputReport> cut = std::move(link.outbox);
                newSession(link);
                link.outbox = std::move(cut);
            }
        }
        if (!recorder_->plugged()) {
            followPresence(link); // the frame unplugged it: off the bus before the host reads
        }
    }
}

void HidgTransport::flush(Link& link) {
    while (link.fd >= 0 && !link.outbox.empty()) {
        const InputReport& answer = link.outbox.front();
        const std::size_t length = wireLength(answer);
        if (length == 0) {
            link.outbox.pop_front();
            continue;
        }
        const ssize_t n = ::write(link.fd, answer.bytes + 1, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        if (n < 0) {
            closeLink(link);
            return;
        }
        link.outbox.pop_front();
    }
}

} // namespace veldrin::sim
