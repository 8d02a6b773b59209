#include "core/paths.h"

#include "core/environment.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool makeDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) {
            continue;
        }
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::string programDirectory() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

namespace {

std::string folderProblem(const std::string& folder, const char* what) {
    return "The data folder " + folder + " " + what + ": " + std::strerror(errno) + ".";
}

} // namespace

bool checkDataFolder(const std::string& folder, bool writer, std::string& error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT && !writer) {
            return true;
        }
        if (errno != ENOENT) {
            error = folderProblem(folder, "cannot be used");
            return false;
        }
        if (!makeDirectories(folder)) {
            error = folderProblem(folder, "cannot be created");
            return false;
        }
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = "The data folder " + folder + " is not a folder.";
        return false;
    }
    if (::access(folder.c_str(), writer ? (W_OK | X_OK) : (R_OK | X_OK)) != 0) {
        error = folderProblem(folder, writer ? "cannot be written" : "cannot be read");
        return false;
    }
    return true;
}

std::string nativePath(std::string path) {
    return path;
}

std::string defaultDataDirectory(std::string& error) {
    if (const auto xdg = environmentVariable("XDG_DATA_HOME"); xdg && xdg->rfind('/', 0) == 0) {
        return joinPath(*xdg, "veldrin");
    }
    if (const auto home = environmentVariable("HOME"); home && !home->empty()) {
        return joinPath(joinPath(*home, ".local/share"), "veldrin");
    }
    error = "No data folder: neither --data-dir, VELDRIN_DATA_DIR nor HOME is set.";
    return {};
}

} // namespace veldrin
