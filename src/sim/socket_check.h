#pragma once
// Whether a recorder can ever be reached on a socket path (see checkDeviceName()); the probing is
// the system's business (socket_check_posix.cpp, socket_check_windows.cpp).

#include "sim/backend_choice.h"

#include <string>

namespace veldrin::sim {

DeviceCheck checkSocketPath(const std::string& path);

} // namespace veldrin::sim
