#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace veldrin {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

constexpr const char* kTemporaryMark = ".tmp-";

bool isTemporaryOf(const std::string& entry, const std::string& prefix) {
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < entry.size(); ++i) {
        if (entry[i] < '0' || entry[i] > '9') {
            return false;
        }
    }
    return true;
}

// Unlinks `path` when no process holds the writer's lock on it and the name still names the
// file that was checked.
bool removeIfAbandoned(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    bool removed = false;
    struct stat held {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
        ::lstat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
        named.st_dev == held.st_dev) {
        removed = ::unlink(path.c_str()) == 0;
    }
    ::close(fd);
    return removed;
}

} // namespace

int removeAbandonedTemporaries(const std::string& path) {
    const std::string prefix = nameOf(path) + kTemporaryMark;
    const std::string folder = folderOf(path);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    std::vector<std::string> candidates;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryOf(entry->d_name, prefix)) {
            candidates.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : candidates) {
        removed += removeIfAbandoned(folder + "/" + name) ? 1 : 0;
    }
    return removed;
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), tempPath_(path_ + kTemporaryMark + std::to_string(::getpid())) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::unlink(tempPath_.c_str());
        ::close(fd_);
    }
}

// Creates the temporary file and locks it. Another writer's clean-up may have taken the file away
// between the creation and the lock (it saw an unlocked file); then the file is made anew.
bool AtomicFileWriter::createTemporary() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                     static_cast<mode_t>(creationMode_));
        if (fd_ < 0) {
            createError_ = errno;
            error_ = describe("Cannot create", tempPath_);
            return false;
        }
        struct stat st {};
        if (::flock(fd_, LOCK_EX) == 0 && ::fstat(fd_, &st) == 0 && st.st_nlink > 0) {
            return true;
        }
        ::close(fd_);
        fd_ = -1;
    }
    error_ = "Cannot create " + tempPath_ + ": it was removed while it was being made.";
    return false;
}

bool AtomicFileWriter::open() {
    removeAbandonedTemporaries(path_);
    if (!createTemporary()) {
        return false;
    }
    if (keepAttributes_) {
        // The owner first: changing it clears set-id bits that the mode then restores. Only the
        // owner may fail (a user cannot give a file away); the permissions are the user's own.
        if (::fchown(fd_, static_cast<uid_t>(keptOwner_), static_cast<gid_t>(keptGroup_)) != 0) {
            // The replacement then belongs to this user, as any file the user writes.
        }
        if (::fchmod(fd_, static_cast<mode_t>(keptMode_)) != 0) {
            error_ = describe("Cannot set the permissions of", tempPath_);
            return false;
        }
    }
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) {
        return false;
    }
    if (!flushBuffer()) {
        return false;
    }
    if (::fsync(fd_) != 0) {
        error_ = describe("Cannot flush", tempPath_);
        return false;
    }
    // Renamed while the lock is still held, so that no clean-up takes the finished file away.
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        error_ = describe("Cannot replace", path_);
        ::unlink(tempPath_.c_str());
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    // The content is on disk already (fsync above); closing cannot lose it.
    ::close(fd_);
    fd_ = -1;
    // Make the rename itself durable.
    const int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace veldrin
