#include "core/standard_output.h"

namespace veldrin {

// POSIX streams never change line ends.
bool useBinaryStandardOutput() {
    return true;
}

} // namespace veldrin
