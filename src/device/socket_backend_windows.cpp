#include "device/hid_backend.h"

namespace veldrin {

// No Unix-domain sockets in this build: the name is refused by the backend choice.
std::unique_ptr<HidBackend> makeSocketBackend(const std::string& /*socketPath*/) {
    return nullptr;
}

std::unique_ptr<HidBackend> makeSocketBackend(const std::vector<std::string>& /*socketPaths*/) {
    return nullptr;
}

std::unique_ptr<HidBackend> makeSocketFolderBackend(const std::string& /*folder*/) {
    return nullptr;
}

} // namespace veldrin
