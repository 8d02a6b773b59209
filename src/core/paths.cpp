#include "core/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace veldrin {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    if (folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

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

// The chosen folder must be a folder; a writer must be able to make files in it (it is made when
// missing), a reader to list and read it (a missing one reads as empty).
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

} // namespace

bool resolveDataDirectory(const std::string& option, std::string& out, std::string& error,
                          bool create) {
    std::string chosen = option;
    if (chosen.empty()) {
        if (const char* env = std::getenv("VELDRIN_DATA_DIR"); env != nullptr && *env != '\0') {
            chosen = env;
        }
    }
    if (chosen.empty()) {
        const std::string programDir = programDirectory();
        if (fileExists(joinPath(programDir, "main.ini")) ||
            fileExists(joinPath(programDir, "portable"))) {
            chosen = programDir;
        }
    }
    if (chosen.empty()) {
        if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
            chosen = joinPath(xdg, "veldrin");
        } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
            chosen = joinPath(joinPath(home, ".local/share"), "veldrin");
        } else {
            error = "No data folder: neither --data-dir, VELDRIN_DATA_DIR nor HOME is set.";
            return false;
        }
    }
    while (chosen.size() > 1 && chosen.back() == '/') {
        chosen.pop_back();
    }
    if (!checkDataFolder(chosen, create, error)) {
        return false;
    }
    out = chosen;
    return true;
}

std::string resolveResourceDirectory() {
    const std::string programDir = programDirectory();
    if (fileExists(joinPath(programDir, "StdEnglish.txt"))) {
        return programDir;
    }
    const std::string installed = joinPath(programDir, "../share/veldrin");
    if (fileExists(joinPath(installed, "StdEnglish.txt"))) {
        return installed;
    }
    return programDir;
}

} // namespace veldrin
