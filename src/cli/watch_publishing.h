#pragma once
// watch --mqtt: a publisher on a thread of its own beside the chain loop. It reads what the chain
// has saved in the data folder; the chain and the store know nothing of it.

#include "cli/cli_context.h"
#include "cli/cli_options.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace veldrin::cli {

class WatchPublishing {
public:
    WatchPublishing();
    ~WatchPublishing(); // stops a publisher still running
    WatchPublishing(const WatchPublishing&) = delete;
    WatchPublishing& operator=(const WatchPublishing&) = delete;

    // Takes the request's broker and reads the password; false with the message printed and
    // `status` set. Nothing to do (true) without --mqtt.
    bool prepare(const CliRequest& request, const Folders& folders, int& status);
    // The recorders attached now, or nothing while that is not known (asked from the publisher's
    // thread).
    using Attached = std::function<std::optional<std::set<int32_t>>()>;
    // Starts publishing (nothing without --mqtt).
    void start(Attached attached);
    // The loop has made a step (its presence poll has been made): from now on a recorder not
    // found is not attached, and its availability can be said without a flicker.
    void noteTick();
    // Says offline, keeps the acknowledged positions and disconnects.
    void stop();

private:
    struct Running;
    std::unique_ptr<Running> running_;
};

} // namespace veldrin::cli
