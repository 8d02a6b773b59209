#include "core/export_file.h"

#include "core/atomic_file.h"
#include "core/data_directory_lock.h"
#include "core/paths.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {
namespace {

// As many links as the kernel itself follows before it gives up.
constexpr int kMaxLinkHops = 40;
// A new export file gets what any program's new file gets: 0666 less the umask.
constexpr unsigned kNewFileMode = 0666;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name that a chain of symbolic links ends at; it need not exist (a dangling link names the
// file that writing through it creates).
std::string followLinks(const std::string& path) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buffer, sizeof buffer);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
            return current;
        }
        const std::string target(buffer, static_cast<std::size_t>(n));
        current = target.front() == '/' ? target : joinPath(folderOf(current), target);
    }
    return current;
}

// Names that stand for a descriptor the process already has open (the shell's redirections):
// written through, never replaced, since the name does not lead to a file of its own.
bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool namesOpenDescriptor(const std::string& path) {
    return path == "/dev/stdout" || path == "/dev/stderr" || startsWith(path, "/dev/fd/") ||
           (startsWith(path, "/proc/") && path.find("/fd/") != std::string::npos);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Another name of one of the folder's own files (a hard link made elsewhere).
bool isLinkedToDataFile(const std::string& dataFolder, const struct stat& file) {
    DIR* dir = ::opendir(dataFolder.c_str());
    if (dir == nullptr) {
        return false;
    }
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (isDataFolderFileName(entry->d_name) &&
            ::stat(joinPath(dataFolder, entry->d_name).c_str(), &st) == 0 && sameFile(st, file)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

bool isDataFolderFile(const std::string& dataFolder, const std::string& path) {
    struct stat folder {};
    if (::stat(dataFolder.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        return false; // no folder, no files of it
    }
    const std::string target = followLinks(path);
    struct stat parent {};
    if (isDataFolderFileName(baseName(target)) && ::stat(folderOf(target).c_str(), &parent) == 0 &&
        sameFile(parent, folder)) {
        return true;
    }
    struct stat file {};
    return ::stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) &&
           isLinkedToDataFile(dataFolder, file);
}

bool ExportFileWriter::openInPlace(const std::string& path, int flags) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | flags);
    if (fd_ < 0) {
        error_ = "Cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ExportFileWriter::openReplacement(const std::string& target, bool exists) {
    struct stat st {};
    if (exists && ::stat(target.c_str(), &st) != 0) {
        exists = false; // gone meanwhile: made anew
    }
    replacement_ = std::make_unique<AtomicFileWriter>(target);
    if (exists) {
        replacement_->keepAttributesOf(st.st_mode, st.st_uid, st.st_gid);
    } else {
        replacement_->setCreationMode(kNewFileMode);
    }
    if (replacement_->open()) {
        return true;
    }
    const int why = replacement_->createError();
    // A file the user may write in a folder where nothing new may be made: written over.
    if (exists && (why == EACCES || why == EPERM) && ::access(target.c_str(), W_OK) == 0) {
        replacement_.reset();
        return openInPlace(target, O_TRUNC);
    }
    error_ = replacement_->error();
    replacement_.reset();
    return false;
}

bool ExportFileWriter::open() {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error_ = "Cannot write " + path_ + ": " + std::strerror(errno);
            return false;
        }
        return openReplacement(followLinks(path_), false);
    }
    if (S_ISDIR(st.st_mode)) {
        error_ = "Cannot write " + path_ + ": it is a folder.";
        return false;
    }
    if (S_ISSOCK(st.st_mode)) {
        error_ = "Cannot write " + path_ + ": it is a socket.";
        return false;
    }
    if (namesOpenDescriptor(path_)) {
        // Appending keeps what the shell's ">>" asked for; after ">" the file is empty anyway.
        return openInPlace(path_, S_ISREG(st.st_mode) ? O_APPEND : 0);
    }
    if (!S_ISREG(st.st_mode)) {
        return openInPlace(path_, 0); // a device or a FIFO
    }
    return openReplacement(followLinks(path_), true);
}

} // namespace veldrin
