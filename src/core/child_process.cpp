#include "core/child_process.h"

namespace veldrin {

std::string describeChildEnd(const ChildEnd& end) {
    if (end.signalled) {
        return "was ended by signal " + std::to_string(end.code);
    }
    return "exited with status " + std::to_string(end.code);
}

} // namespace veldrin
