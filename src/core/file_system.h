#pragma once
// The few file operations the layers above need besides atomic replacement, by UTF-8 names, with
// one implementation per system (file_system_posix.cpp, file_system_windows.cpp). Failures leave
// the cause in errno.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace veldrin {

enum class FileKind { regular, folder, link, socket, other };

struct FileStatus {
    FileKind kind = FileKind::other;
    uint64_t size = 0;
};

// False (errno set, ENOENT when there is nothing) when the name cannot be asked. A symbolic link
// is followed unless `followLinks` is false.
bool fileStatus(const std::string& path, FileStatus& out, bool followLinks = true);
// Opens for reading, not inherited by child processes and not keeping others from replacing or
// removing the file; a descriptor for read() and close(), or -1. The open itself never waits: a
// FIFO without a writer or a device opens at once (and is then refused by openRegularFile).
int openForReading(const std::string& path);
bool openFileStatus(int fd, FileStatus& out);

// Every reader of a file the user or a damaged folder may have put anything at goes through this:
// opened without waiting, then taken only when it is a regular file, so that a FIFO never blocks
// and a link to a device is never read without end. The caller checks the size in `status` before
// it reads. -1 with `error` (the path and the cause) otherwise; errno stays ENOENT for a missing
// file.
int openRegularFile(const std::string& path, FileStatus& status, std::string& error);
// Renames within one folder, replacing nothing: false (errno EEXIST) when `to` is there.
bool renameAside(const std::string& from, const std::string& to);
// fopen() for a UTF-8 name.
std::FILE* openStdioFile(const std::string& path, const char* mode);
// The broken-down local time of `t`; false when the system cannot tell.
bool localCalendarTime(std::time_t t, std::tm& out);

} // namespace veldrin
