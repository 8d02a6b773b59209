#pragma once
// Files are replaced whole and atomically: the new content goes to a temporary file in the same
// folder, is flushed to disk, and is renamed over the old file. A crash or a full disk therefore
// leaves either the old or the new file, never a truncated one.
//
// A process killed while it writes leaves its temporary file ("<name>.tmp-<pid>") behind. No
// reader takes such a name for data, and the next write of the same file removes it: a writer
// holds an advisory lock on its temporary file until the rename, so a temporary whose lock can be
// taken belongs to nobody.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veldrin {

class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string path);
    ~AtomicFileWriter(); // removes the temporary file when commit() was not reached
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Permissions of the new file: 0644 unless set before open(). keepAttributesOf() copies
    // the permissions of the file being replaced, and its owner where the process may set it.
    void setCreationMode(unsigned mode) { creationMode_ = mode; }
    void keepAttributesOf(unsigned mode, unsigned owner, unsigned group);

    bool open();
    bool write(const void* data, std::size_t size);
    // Flushes, syncs and renames; false (with error()) leaves the old file as it was.
    bool commit();
    const std::string& error() const { return error_; }
    // The errno of the failed creation of the temporary file (0 otherwise).
    int createError() const { return createError_; }

private:
    // Small writes are gathered up to this many bytes; larger ones go to the file as they come.
    // Kept small: the thread that saves a file keeps what its allocator once held, and a program
    // that follows several recorders saves on a thread per recorder.
    static constexpr std::size_t kBufferSize = 16 * 1024;
    bool writeAll(const char* data, std::size_t size);
    bool flushBuffer();
    bool createTemporary();
    std::string path_;
    std::string tempPath_;
    std::string error_;
    int fd_ = -1;
    std::string buffer_;
    int createError_ = 0;
    unsigned creationMode_ = 0644;
    bool keepAttributes_ = false;
    unsigned keptMode_ = 0;
    unsigned keptOwner_ = 0;
    unsigned keptGroup_ = 0;
};

// Removes the temporaries that writers of `path` left behind when they were killed; a temporary
// still being written is left alone. Returns how many were removed.
int removeAbandonedTemporaries(const std::string& path);

bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error);
// A regular file (see openRegularFile) of at most maxBytes, checked before anything is read; a
// larger one is refused with its size named in `error`.
constexpr uint64_t kAnyFileSize = UINT64_MAX;
bool readWholeFile(const std::string& path, std::string& out, std::string& error,
                   uint64_t maxBytes = kAnyFileSize);

} // namespace veldrin
