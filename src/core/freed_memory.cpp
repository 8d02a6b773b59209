#include "core/freed_memory.h"

#include <cstdlib> // names the C library (__GLIBC__)
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace veldrin {

void releaseFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace veldrin
