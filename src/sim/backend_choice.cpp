#include "sim/backend_choice.h"

#include "sim/sim_backend.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace veldrin::sim {
namespace {

constexpr const char* kSocketPrefix = "socket:";

} // namespace

RecorderConfig demoRecorderConfig() {
    RecorderConfig config;
    config.circularMode = 0x02;
    config.interval = 1;
    config.preloadRecords = kDemoHistoryRecords;
    return config;
}

BackendChoice chooseBackend(const std::string& name, std::string& error, Clock& clock) {
    BackendChoice choice;
    const std::string prefix = kSocketPrefix;
    if (name == "hid") {
        choice.backend = makeHidapiBackend();
    } else if (name == "sim") {
        choice.recorder = std::make_shared<SoftwareRecorder>(demoRecorderConfig(), clock);
        choice.backend = makeSimBackend(choice.recorder);
    } else if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        choice.backend = makeSocketBackend(name.substr(prefix.size()));
    } else {
        error = "unknown recorder backend \"" + name + "\" (use hid, sim or socket:PATH)";
    }
    return choice;
}

namespace {

DeviceCheck outlook(DeviceOutlook what, std::string reason) {
    return DeviceCheck{what, std::move(reason)};
}

// A socket that is there: does anything accept on it?
DeviceCheck probeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return {}; // the presence poll will tell
    }
    const int connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int why = errno;
    ::close(fd);
    if (connected == 0) {
        return {};
    }
    if (why == ECONNREFUSED || why == EAGAIN) {
        return outlook(DeviceOutlook::notYet,
                       "nothing listens on the socket " + path + " (yet); waiting for a recorder");
    }
    return outlook(DeviceOutlook::never,
                   "the socket " + path + " cannot be used: " + std::strerror(why));
}

DeviceCheck checkSocketPath(const std::string& path) {
    constexpr std::size_t kLongest = sizeof(sockaddr_un::sun_path) - 1;
    if (path.size() > kLongest) {
        return outlook(DeviceOutlook::never, "the socket path " + path + " is longer than the " +
                                                 std::to_string(kLongest) +
                                                 " bytes a socket path may have");
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return outlook(DeviceOutlook::notYet,
                           "there is no socket " + path + " (yet); waiting for a recorder");
        }
        return outlook(DeviceOutlook::never,
                       "the socket " + path + " cannot be used: " + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return outlook(DeviceOutlook::never, path + " is a folder, not a socket");
    }
    if (!S_ISSOCK(st.st_mode)) {
        return outlook(DeviceOutlook::never, path + " is a file, not a socket");
    }
    return probeSocket(path);
}

} // namespace

DeviceCheck checkDeviceName(const std::string& name) {
    const std::string prefix = kSocketPrefix;
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0) {
        return checkSocketPath(name.substr(prefix.size()));
    }
    return {};
}

} // namespace veldrin::sim
