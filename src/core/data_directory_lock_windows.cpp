// The data-folder lock on Windows: a byte range far beyond the lock file's text is locked with
// LockFileEx, so that the holder's text stays readable (Windows locks keep others from reading
// what they cover). The lock belongs to the handle and goes with the process.

#include "core/data_directory_lock.h"

#include "core/paths.h"
#include "core/wide_text_windows.h"

#include <fcntl.h>
#include <io.h>

namespace veldrin {
namespace {

OVERLAPPED lockedRange() {
    OVERLAPPED range{};
    range.OffsetHigh = 1; // 4 GiB on: no holder text reaches it
    return range;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

std::string holderText(HANDLE file) {
    char text[256] = {};
    OVERLAPPED start{};
    DWORD n = 0;
    std::string who;
    if (ReadFile(file, text, sizeof text - 1, &n, &start)) {
        who.assign(text, n);
    }
    while (!who.empty() && (who.back() == '\n' || who.back() == '\r')) {
        who.pop_back();
    }
    return who;
}

} // namespace

DataDirectoryLock::~DataDirectoryLock() {
    release();
}

DataDirectoryLock::Result DataDirectoryLock::tryAcquire(const std::string& folder,
                                                        const std::string& programName,
                                                        std::string& holder) {
    release();
    const std::string path = joinPath(folder, kFileName);
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        holder = "cannot open " + path + ": " + systemMessage(GetLastError());
        return Result::unusable;
    }
    OVERLAPPED range = lockedRange();
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        const std::string who = holderText(file);
        holder = who.empty() ? "another process" : who;
        CloseHandle(file);
        return Result::heldElsewhere;
    }
    const std::string me =
        "process " + std::to_string(GetCurrentProcessId()) + " (" + programName + ")\n";
    DWORD written = 0;
    OVERLAPPED start{};
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !SetEndOfFile(file) ||
        !WriteFile(file, me.data(), static_cast<DWORD>(me.size()), &written, &start)) {
        // The lock itself is what matters; the text only helps the user.
    }
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd_ < 0) {
        CloseHandle(file);
        holder = "cannot keep " + path + " open: too many open files";
        return Result::unusable;
    }
    return Result::acquired;
}

void DataDirectoryLock::release() {
    if (fd_ >= 0) {
        OVERLAPPED range = lockedRange();
        UnlockFileEx(handleOf(fd_), 0, 1, 0, &range);
        _close(fd_);
        fd_ = -1;
    }
}

} // namespace veldrin
