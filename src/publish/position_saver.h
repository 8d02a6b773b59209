#pragma once
// Writes the acknowledged positions on a thread of its own: every write is an atomic replacement
// that waits for the disk, and a backlog asks for one every 1,000 acknowledgements, which the
// publishing loop must not wait for. Requests for the same file are merged: the newest position
// is written.

#include "publish/published_position.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace veldrin::publish {

class PositionSaver {
public:
    // `background` false: every save is written at once, on the caller's thread (tests).
    explicit PositionSaver(bool background = true);
    ~PositionSaver(); // writes what is still asked for
    PositionSaver(const PositionSaver&) = delete;
    PositionSaver& operator=(const PositionSaver&) = delete;

    // `obsolete`, when given, is removed once the position is written (a file of an earlier
    // version that this one replaces).
    void save(const std::string& path, const PublishedPosition& position,
              const std::string& obsolete = {});
    // Waits until everything asked for is written.
    void flush();
    // Writes that failed: for each file, once for each new reason until a write of it succeeds
    // (a full disk is said once per recorder, not at every try).
    std::vector<std::string> takeProblems();

private:
    struct Request {
        PublishedPosition position;
        std::string obsolete;
    };
    void run();
    void write(const std::string& path, const Request& request);

    const bool background_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::map<std::string, Request> pending_;
    bool writing_ = false;
    bool stopping_ = false;
    std::map<std::string, std::string> lastErrors_; // by file
    std::vector<std::string> problems_;
    std::thread thread_;
};

} // namespace veldrin::publish
