#include "core/child_process.h"

#include <cctype>

namespace veldrin {

std::string describeChildEnd(const ChildEnd& end) {
    if (end.signalled) {
        return "was ended by signal " + std::to_string(end.code);
    }
    return "exited with status " + std::to_string(end.code);
}

bool isWithheldFromChildren(const std::string& name) {
    constexpr std::string_view secretPrefix = "VELDRIN_MQTT_";
    if (name.size() < secretPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < secretPrefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != secretPrefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace veldrin
