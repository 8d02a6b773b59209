// What an export name stands for on Windows: a folder is refused, a device name (CON, NUL,
// \\.\...) is written in place, anything else is created or replaced atomically. A file is the
// same as one of the data folder's when the volume and the file index agree, whatever the
// spelling (relative, other case, short name, a second hard link).

#include "core/export_file.h"

#include "core/atomic_file.h"
#include "core/paths.h"
#include "core/wide_text_windows.h"

#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace veldrin {
namespace {

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Folders open only with backup semantics; nothing is read or written through the handle.
bool identityOf(const std::string& path, FileIdentity& out) {
    HANDLE handle =
        CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    out = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return known;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    if (slash == std::string::npos) {
        return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : ".";
    }
    return path.substr(0, slash + (slash == 0 || path[slash - 1] == ':' ? 1 : 0));
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// File names are compared as the file system does, without regard to case.
std::string folded(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return name;
}

bool namesDevice(const std::string& path) {
    const std::string name = folded(baseName(path));
    return path.rfind("\\\\.\\", 0) == 0 || name == "con" || name == "nul" || name == "prn" ||
           name == "conout$";
}

bool isLinkedToDataFile(const std::string& dataFolder, const FileIdentity& file) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(dataFolder + "/*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool linked = false;
    do {
        const std::string name = narrow(found.cFileName);
        FileIdentity other;
        if (isDataFolderFileName(folded(name)) && identityOf(joinPath(dataFolder, name), other) &&
            other == file) {
            linked = true;
        }
    } while (!linked && FindNextFileW(search, &found));
    FindClose(search);
    return linked;
}

} // namespace

bool isDataFolderFile(const std::string& dataFolder, const std::string& path) {
    FileIdentity folder;
    FileIdentity parent;
    if (!identityOf(dataFolder, folder)) {
        return false; // no folder, no files of it
    }
    if (isDataFolderFileName(folded(baseName(path))) && identityOf(folderOf(path), parent) &&
        parent == folder) {
        return true;
    }
    FileIdentity file;
    return identityOf(path, file) && isLinkedToDataFile(dataFolder, file);
}

bool ExportFileWriter::openInPlace(const std::string& path, int flags) {
    fd_ = _wopen(widen(path).c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT | flags);
    if (fd_ < 0) {
        error_ = "Cannot open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ExportFileWriter::openReplacement(const std::string& target, bool exists) {
    replacement_ = std::make_unique<AtomicFileWriter>(target);
    if (replacement_->open()) {
        return true;
    }
    // A file the user may write in a folder where nothing new may be made: written over.
    if (exists && replacement_->createError() == EACCES &&
        _waccess(widen(target).c_str(), 2) == 0) {
        replacement_.reset();
        return openInPlace(target, _O_TRUNC);
    }
    error_ = replacement_->error();
    replacement_.reset();
    return false;
}

bool ExportFileWriter::open() {
    if (namesDevice(path_)) {
        return openInPlace(path_, 0);
    }
    const DWORD attributes = GetFileAttributesW(widen(path_).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            error_ = "Cannot write " + path_ + ": " + systemMessage(code);
            return false;
        }
        return openReplacement(path_, false);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error_ = "Cannot write " + path_ + ": it is a folder.";
        return false;
    }
    return openReplacement(path_, true);
}

} // namespace veldrin
