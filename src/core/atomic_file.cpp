#include "core/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string describe(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

} // namespace

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), tempPath_(path_ + ".tmp-" + std::to_string(::getpid())) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(tempPath_.c_str());
    }
}

void AtomicFileWriter::keepAttributesOf(unsigned mode, unsigned owner, unsigned group) {
    keepAttributes_ = true;
    keptMode_ = mode & 07777;
    keptOwner_ = owner;
    keptGroup_ = group;
}

bool AtomicFileWriter::open() {
    fd_ = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                 static_cast<mode_t>(creationMode_));
    if (fd_ < 0) {
        createError_ = errno;
        error_ = describe("Cannot create", tempPath_);
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

bool AtomicFileWriter::flushBuffer() {
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = describe("Cannot write", tempPath_);
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return true;
}

bool AtomicFileWriter::write(const void* data, std::size_t size) {
    if (fd_ < 0) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    if (buffer_.size() + size > kBufferSize && !flushBuffer()) {
        return false;
    }
    if (size >= kBufferSize) {
        buffer_.assign(bytes, size);
        return flushBuffer();
    }
    buffer_.append(bytes, size);
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
    if (::close(fd_) != 0) {
        fd_ = -1;
        ::unlink(tempPath_.c_str());
        error_ = describe("Cannot close", tempPath_);
        return false;
    }
    fd_ = -1;
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        error_ = describe("Cannot replace", path_);
        ::unlink(tempPath_.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error) {
    AtomicFileWriter writer(path);
    if (!writer.open() || !writer.write(content.data(), content.size()) || !writer.commit()) {
        error = writer.error();
        return false;
    }
    return true;
}

bool readWholeFile(const std::string& path, std::string& out, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = describe("Cannot open", path);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        out.reserve(static_cast<std::size_t>(st.st_size));
    }
    out.clear();
    char buffer[kBufferSize];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = describe("Cannot read", path);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace veldrin
