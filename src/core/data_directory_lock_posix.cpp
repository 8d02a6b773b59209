#include "core/data_directory_lock.h"

#include "core/paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace veldrin {

DataDirectoryLock::~DataDirectoryLock() {
    release();
}

DataDirectoryLock::Result DataDirectoryLock::tryAcquire(const std::string& folder,
                                                        const std::string& programName,
                                                        std::string& holder) {
    release();
    const std::string path = joinPath(folder, kFileName);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        holder = "cannot open " + path + ": " + std::strerror(errno);
        return Result::unusable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[256] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        std::string who = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : "";
        while (!who.empty() && (who.back() == '\n' || who.back() == '\r')) {
            who.pop_back();
        }
        holder = who.empty() ? "another process" : who;
        ::close(fd);
        return Result::heldElsewhere;
    }
    const std::string me = "process " + std::to_string(::getpid()) + " (" + programName + ")\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, me.data(), me.size(), 0) < 0) {
        // The lock itself is what matters; the text only helps the user.
    }
    fd_ = fd;
    return Result::acquired;
}

void DataDirectoryLock::release() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace veldrin
