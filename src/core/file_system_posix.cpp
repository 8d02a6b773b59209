#include "core/file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

FileStatus statusFrom(const struct stat& st) {
    FileStatus out;
    out.size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    if (S_ISREG(st.st_mode)) {
        out.kind = FileKind::regular;
    } else if (S_ISDIR(st.st_mode)) {
        out.kind = FileKind::folder;
    } else if (S_ISLNK(st.st_mode)) {
        out.kind = FileKind::link;
    } else if (S_ISSOCK(st.st_mode)) {
        out.kind = FileKind::socket;
    }
    return out;
}

} // namespace

bool fileStatus(const std::string& path, FileStatus& out, bool followLinks) {
    struct stat st {};
    const int result = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (result != 0) {
        return false;
    }
    out = statusFrom(st);
    return true;
}

int openForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

bool openFileStatus(int fd, FileStatus& out) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    out = statusFrom(st);
    return true;
}

bool renameAside(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::FILE* openStdioFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode);
}

bool localCalendarTime(std::time_t t, std::tm& out) {
    return ::localtime_r(&t, &out) != nullptr;
}

} // namespace veldrin
