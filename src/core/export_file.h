#pragma once
// Writing a file the user named for an export (CSV, bitmap), as opposed to the program's own data
// files. Whatever the name stands for is honoured:
// - a symbolic link: its target is written (a dangling link creates its target), the link stays;
// - a device, a FIFO, or a name of an open descriptor (/dev/stdout, /dev/fd/N, /proc/.../fd/N):
//   written in place, so that `--out /dev/stdout` or a named pipe works;
// - an existing regular file: replaced atomically, keeping its permissions (and its owner where
//   the process may set it); when its folder does not let a temporary file be made beside it but
//   the file itself is writable, it is overwritten in place;
// - a new name: created atomically with the usual permissions (0666 less the umask).
// A folder or a socket is refused with a message.
//
// An export must never land on one of the data folder's own files (main.ini, a recorder's N.dat,
// the lock file, or their temporary and kept-aside companions): isDataFolderFile() tells, by any
// spelling of the path (relative, through links, a second hard link).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace veldrin {

class AtomicFileWriter;

class ExportFileWriter {
public:
    explicit ExportFileWriter(std::string path);
    ~ExportFileWriter(); // an unfinished replacement leaves the old file as it was
    ExportFileWriter(const ExportFileWriter&) = delete;
    ExportFileWriter& operator=(const ExportFileWriter&) = delete;

    bool open();
    bool write(const void* data, std::size_t size);
    // Finishes the file; false with error() when any step failed.
    bool commit();
    const std::string& error() const { return error_; }

private:
    bool openInPlace(const std::string& path, int flags);
    bool openReplacement(const std::string& target, bool exists);

    std::string path_;
    std::string error_;
    std::unique_ptr<AtomicFileWriter> replacement_;
    int fd_ = -1; // in-place writing
};

// The whole content at once; false with a message naming the file.
bool writeExportFile(const std::string& path, std::string_view content, std::string& error);

// True when `path` (existing or not) would write one of the data folder's own files.
bool isDataFolderFile(const std::string& dataFolder, const std::string& path);

// The names of the data folder's own files: "main.ini", "veldrin.lock", "N.dat" (N decimal
// digits), and any of these followed by '.' and more (temporary and kept-aside copies).
bool isDataFolderFileName(std::string_view name);

} // namespace veldrin
