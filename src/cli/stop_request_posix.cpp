#include "cli/stop_request.h"

#include <csignal>

namespace veldrin::cli {
namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void requestStop(int) {
    stopRequested.store(true);
}

} // namespace

const std::atomic<bool>& stopOnTermination() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return stopRequested;
}

void confirmStopped() {}

const char* stopRequestWords() {
    return "SIGINT (Ctrl+C) or SIGTERM";
}

} // namespace veldrin::cli
