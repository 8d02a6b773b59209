#pragma once
// Whether a recorder can ever be reached on a socket path (the check of the "socket:PATH" backend,
// see BackendRegistry::check()); the probing is the system's business (socket_check_posix.cpp,
// socket_check_windows.cpp).

#include "device/backend_registry.h"

#include <string>

namespace veldrin {

DeviceCheck checkSocketPath(const std::string& path);
// Whether recorders can ever appear in a folder of sockets: a missing folder may be made later,
// a file in its place never serves.
DeviceCheck checkSocketFolder(const std::string& folder);

// Whether this system's build reaches recorders on sockets (POSIX only): help and messages name
// socket:PATH only then.
bool socketBackendBuilt();

} // namespace veldrin
