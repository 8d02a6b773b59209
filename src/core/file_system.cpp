#include "core/file_system.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace veldrin {

int openRegularFile(const std::string& path, FileStatus& status, std::string& error) {
    const int fd = openForReading(path);
    if (fd < 0) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    if (!openFileStatus(fd, status)) {
        const int cause = errno;
        error = "Cannot read " + path + ": " + std::strerror(cause);
        ::close(fd);
        errno = cause;
        return -1;
    }
    if (status.kind != FileKind::regular) {
        error = "Cannot read " + path + ": not a regular file.";
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

} // namespace veldrin
