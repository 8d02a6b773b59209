#include "core/paths.h"

#include "core/environment.h"
#include "core/wide_text_windows.h"

#include <algorithm>
#include <vector>

namespace veldrin {
namespace {

DWORD attributesOf(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str());
}

bool isFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string folderProblem(const std::string& folder, const char* what, DWORD code) {
    return "The data folder " + folder + " " + what + ": " + systemMessage(code) + ".";
}

// Whether a file can be made in the folder: made and deleted again, as the folder's permissions
// are whatever its access list says.
bool canCreateIn(const std::string& folder, DWORD& code) {
    const std::string probe =
        joinPath(folder, "veldrin-write-check.tmp-" + std::to_string(GetCurrentProcessId()));
    HANDLE file = CreateFileW(widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        return false;
    }
    CloseHandle(file);
    return true;
}

bool canList(const std::string& folder, DWORD& code) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(folder + "/*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        return false;
    }
    FindClose(search);
    return true;
}

} // namespace

bool fileExists(const std::string& path) {
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

bool makeDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find_first_of("/\\", pos + 1);
        const std::string partial = path.substr(0, pos);
        // A drive ("C:") or a share's start ("\\server") is not made.
        if (partial.empty() || partial.back() == ':' ||
            partial.find_first_not_of("/\\") == std::string::npos) {
            continue;
        }
        if (!CreateDirectoryW(widen(partial).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS && !isFolder(attributesOf(partial))) {
            setErrnoFromSystem();
            if (pos != std::string::npos) {
                continue; // a parent that cannot be made may still be there (a share's root)
            }
            return false;
        }
    }
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        setErrnoFromSystem();
        return false;
    }
    if (!isFolder(attributes)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

std::string programDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            return ".";
        }
        if (n < buffer.size()) {
            std::string path = narrow(std::wstring_view(buffer.data(), n));
            const auto slash = path.find_last_of("/\\");
            return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool checkDataFolder(const std::string& folder, bool writer, std::string& error) {
    const DWORD attributes = attributesOf(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        const bool missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        if (missing && !writer) {
            return true;
        }
        if (!missing) {
            error = folderProblem(folder, "cannot be used", code);
            return false;
        }
        if (!makeDirectories(folder)) {
            error = folderProblem(folder, "cannot be created", GetLastError());
            return false;
        }
        return true;
    }
    if (!isFolder(attributes)) {
        error = "The data folder " + folder + " is not a folder.";
        return false;
    }
    DWORD code = ERROR_SUCCESS;
    if (writer ? !canCreateIn(folder, code) : !canList(folder, code)) {
        error = folderProblem(folder, writer ? "cannot be written" : "cannot be read", code);
        return false;
    }
    return true;
}

std::string nativePath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string defaultDataDirectory(std::string& error) {
    const std::string local = environmentVariable("LOCALAPPDATA").value_or("");
    if (local.empty()) {
        error = "No data folder: neither --data-dir, VELDRIN_DATA_DIR nor LOCALAPPDATA is set.";
        return {};
    }
    return joinPath(local, "Veldrin");
}

} // namespace veldrin
