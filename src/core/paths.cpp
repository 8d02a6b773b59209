#include "core/paths.h"

#include "core/environment.h"

// The choice of the folders; what the system says about them is in paths_posix.cpp and
// paths_windows.cpp.

namespace veldrin {

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    const char separator = nativePath("/").front();
    if (folder.back() == '/' || folder.back() == separator) {
        return nativePath(folder + name);
    }
    return nativePath(folder + "/" + name);
}

bool resolveDataDirectory(const std::string& option, std::string& out, std::string& error,
                          bool create) {
    std::string chosen = option;
    if (chosen.empty()) {
        chosen = environmentVariable("VELDRIN_DATA_DIR").value_or("");
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
    chosen = nativePath(chosen);
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
