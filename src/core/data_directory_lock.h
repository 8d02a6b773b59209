#pragma once
// Only one process writes a data folder at a time: the window program and the command-line
// commands that download or write hold an advisory lock on a file in the folder while they run.
// The lock disappears with the process, so a crash never leaves the folder locked.

#include <string>

namespace veldrin {

class DataDirectoryLock {
public:
    DataDirectoryLock() = default;
    ~DataDirectoryLock();
    DataDirectoryLock(const DataDirectoryLock&) = delete;
    DataDirectoryLock& operator=(const DataDirectoryLock&) = delete;

    enum class Result {
        acquired,
        heldElsewhere, // `detail`: the holder, its process number and program
        unusable,      // `detail`: why the lock file cannot be made or opened
    };
    Result tryAcquire(const std::string& folder, const std::string& programName,
                      std::string& detail);

    // Takes the lock; false when another process holds it (`holder` then says which: its process
    // number and program) or when the lock file cannot be made (`holder` holds the reason).
    bool acquire(const std::string& folder, const std::string& programName, std::string& holder) {
        return tryAcquire(folder, programName, holder) == Result::acquired;
    }
    void release();
    bool held() const { return fd_ >= 0; }

    static constexpr const char* kFileName = "veldrin.lock";

private:
    int fd_ = -1;
};

} // namespace veldrin
