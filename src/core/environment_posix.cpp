#include "core/environment.h"

#include <cstdlib>

namespace veldrin {

std::optional<std::string> environmentVariable(const char* name) {
    if (const char* value = std::getenv(name)) {
        return std::string(value);
    }
    return std::nullopt;
}

} // namespace veldrin
