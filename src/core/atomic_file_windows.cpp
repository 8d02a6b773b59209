// Atomic replacement on Windows. The temporary file is held open, sharing nothing but deletion,
// from its creation to the rename: that open handle is the writer's lock, since a clean-up can
// delete a temporary only when nobody has it open. The rename replaces the old file with write
// through; a reader elsewhere that opened the old file without sharing deletion makes Windows
// refuse it for a moment, so it is tried again for a short while before it is reported.

#include "core/atomic_file.h"

#include "core/wide_text_windows.h"

#include <fcntl.h>
#include <io.h>
#include <vector>

namespace veldrin {
namespace {

constexpr const char* kTemporaryMark = ".tmp-";
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplacePauseMs = 50;

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string folderOf(const std::string& path) {
    const auto slash = lastSeparator(path);
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string describe(const std::string& what, const std::string& path, DWORD code) {
    return what + " " + path + ": " + systemMessage(code);
}

bool isTemporaryOf(const std::string& entry, const std::string& prefix) {
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    return entry.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// Deletes `path` when no process has it open: the exclusive open fails while a writer holds it.
bool removeIfAbandoned(const std::string& path) {
    HANDLE handle = CreateFileW(widen(path).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

bool isRefusedForAMoment(DWORD code) {
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION ||
           code == ERROR_LOCK_VIOLATION;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

int removeAbandonedTemporaries(const std::string& path) {
    const std::string prefix = nameOf(path) + kTemporaryMark;
    const std::string folder = folderOf(path);
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(widen(folder + "/" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    std::vector<std::string> candidates;
    do {
        const std::string name = narrow(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            isTemporaryOf(name, prefix)) {
            candidates.push_back(name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    int removed = 0;
    for (const std::string& name : candidates) {
        removed += removeIfAbandoned(folder + "/" + name) ? 1 : 0;
    }
    return removed;
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)),
      tempPath_(path_ + kTemporaryMark + std::to_string(GetCurrentProcessId())) {}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        // Shared for deletion: deleted now, gone when the handle closes.
        DeleteFileW(widen(tempPath_).c_str());
        _close(fd_);
    }
}

bool AtomicFileWriter::createTemporary() {
    HANDLE handle = CreateFileW(widen(tempPath_).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        createError_ = errnoFor(code);
        error_ = describe("Cannot create", tempPath_, code);
        return false;
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(handle);
        DeleteFileW(widen(tempPath_).c_str());
        createError_ = EMFILE;
        error_ = "Cannot create " + tempPath_ + ": too many open files";
        return false;
    }
    return true;
}

// Permissions and owner are those the folder gives a new file; keepAttributesOf() has no say here.
bool AtomicFileWriter::open() {
    removeAbandonedTemporaries(path_);
    if (!createTemporary()) {
        return false;
    }
    buffer_.reserve(kBufferSize);
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0 || !flushBuffer()) {
        return false;
    }
    if (!FlushFileBuffers(handleOf(fd_))) {
        error_ = describe("Cannot flush", tempPath_, GetLastError());
        return false;
    }
    const std::wstring from = widen(tempPath_);
    const std::wstring to = widen(path_);
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
        // Renamed while the handle is still open, so that no clean-up takes the finished file.
        if (MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            code = ERROR_SUCCESS;
            break;
        }
        code = GetLastError();
        if (!isRefusedForAMoment(code)) {
            break;
        }
        Sleep(kReplacePauseMs);
    }
    if (code != ERROR_SUCCESS) {
        error_ = describe("Cannot replace", path_, code);
        DeleteFileW(from.c_str());
        _close(fd_);
        fd_ = -1;
        return false;
    }
    _close(fd_);
    fd_ = -1;
    return true;
}

} // namespace veldrin
