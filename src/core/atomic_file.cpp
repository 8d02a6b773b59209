#include "core/atomic_file.h"

#include "core/file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

// The parts of the writer that are the same on every system; creating, committing and cleaning up
// are in atomic_file_posix.cpp and atomic_file_windows.cpp.

namespace veldrin {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;

} // namespace

void AtomicFileWriter::keepAttributesOf(unsigned mode, unsigned owner, unsigned group) {
    keepAttributes_ = true;
    keptMode_ = mode & 07777;
    keptOwner_ = owner;
    keptGroup_ = group;
}

bool AtomicFileWriter::writeAll(const char* p, std::size_t left) {
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error_ = "Cannot write " + tempPath_ + ": " + std::strerror(errno);
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileWriter::flushBuffer() {
    if (!writeAll(buffer_.data(), buffer_.size())) {
        return false;
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
        return writeAll(bytes, size); // not copied into the buffer first
    }
    buffer_.append(bytes, size);
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

bool readWholeFile(const std::string& path, std::string& out, std::string& error,
                   uint64_t maxBytes) {
    FileStatus st;
    const int fd = openRegularFile(path, st, error);
    if (fd < 0) {
        return false;
    }
    if (st.size > maxBytes) {
        error = path + " holds " + std::to_string(st.size) + " bytes, more than the " +
                std::to_string(maxBytes) + " such a file can have; it is not read.";
        ::close(fd);
        return false;
    }
    out.clear();
    out.reserve(static_cast<std::size_t>(st.size));
    // Most files read so are small (main.ini is read before every save): no larger buffer than
    // the file needs, one byte more to meet its end.
    std::vector<char> buffer(static_cast<std::size_t>(std::min<uint64_t>(st.size + 1, kReadChunk)));
    for (;;) {
        const auto n = ::read(fd, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = "Cannot read " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        // A file that grows while it is read is still held to its bound.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = path + " grew beyond " + std::to_string(maxBytes) + " bytes while it was read.";
            ::close(fd);
            return false;
        }
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

} // namespace veldrin
