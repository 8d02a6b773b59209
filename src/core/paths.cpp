#include "core/paths.h"

#include <cstdlib>

// The choice of the folders; what the system says about them is in paths_posix.cpp and
// paths_windows.cpp.

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
        chosen = defaultDataDirectory(error);
        if (chosen.empty()) {
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
