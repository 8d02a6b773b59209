#include "device/socket_check.h"

namespace veldrin {

// The socket backend speaks over Unix-domain sockets, which this build does not have.
DeviceCheck checkSocketPath(const std::string& path) {
    return DeviceCheck{DeviceOutlook::never,
                       "the socket " + path + " cannot be used: no socket recorders on Windows"};
}

DeviceCheck checkSocketFolder(const std::string& folder) {
    return DeviceCheck{DeviceOutlook::never, "the socket folder " + folder +
                                                 " cannot be used: no socket recorders on Windows"};
}

bool socketBackendBuilt() {
    return false;
}

} // namespace veldrin
