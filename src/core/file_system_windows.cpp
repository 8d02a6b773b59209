#include "core/file_system.h"

#include "core/wide_text_windows.h"

#include <fcntl.h>
#include <io.h>

namespace veldrin {
namespace {

FileKind kindOf(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::folder : FileKind::regular;
}

uint64_t sizeOf(DWORD high, DWORD low) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

} // namespace

// Reparse points (links, junctions) are followed by the system either way.
bool fileStatus(const std::string& path, FileStatus& out, bool /*followLinks*/) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
        setErrnoFromSystem();
        return false;
    }
    out.kind = kindOf(data.dwFileAttributes);
    out.size = out.kind == FileKind::regular ? sizeOf(data.nFileSizeHigh, data.nFileSizeLow) : 0;
    return true;
}

int openForReading(const std::string& path) {
    // Sharing deletion lets another process (or this one) replace the file while it is read.
    HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        setErrnoFromSystem();
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

bool openFileStatus(int fd, FileStatus& out) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_DISK) {
        out = FileStatus{}; // a pipe, a console or a device: not a file to read
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        errno = EBADF;
        return false;
    }
    out.kind = kindOf(info.dwFileAttributes);
    out.size = out.kind == FileKind::regular ? sizeOf(info.nFileSizeHigh, info.nFileSizeLow) : 0;
    return true;
}

bool renameAside(const std::string& from, const std::string& to) {
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        setErrnoFromSystem();
        return false;
    }
    return true;
}

std::FILE* openStdioFile(const std::string& path, const char* mode) {
    return _wfopen(widen(path).c_str(), widen(mode).c_str());
}

bool localCalendarTime(std::time_t t, std::tm& out) {
    return localtime_s(&out, &t) == 0;
}

} // namespace veldrin
