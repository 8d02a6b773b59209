#include "device/socket_check.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace veldrin {
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

} // namespace

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

DeviceCheck checkSocketFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT) {
            return outlook(DeviceOutlook::notYet,
                           "there is no folder " + folder + " (yet); waiting for a recorder");
        }
        return outlook(DeviceOutlook::never,
                       "the folder " + folder + " cannot be used: " + std::strerror(errno));
    }
    if (!S_ISDIR(st.st_mode)) {
        return outlook(DeviceOutlook::never, folder + " is not a folder of sockets");
    }
    return {};
}

bool socketBackendBuilt() {
    return true;
}

} // namespace veldrin
