#include "core/standard_output.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace veldrin {

bool useBinaryStandardOutput() {
    std::fflush(stdout);
    return _setmode(_fileno(stdout), _O_BINARY) != -1;
}

} // namespace veldrin
