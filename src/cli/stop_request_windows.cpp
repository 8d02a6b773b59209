#include "cli/stop_request.h"

#include <chrono>
#include <thread>
#include <windows.h>

namespace veldrin::cli {
namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> stopped{false};

// Windows ends the process as soon as the handler returns from a close, log-off or shut-down
// event; the handler therefore waits (within the few seconds Windows grants) until the watch loop
// has saved and left.
BOOL WINAPI onConsoleEvent(DWORD event) {
    stopRequested.store(true);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int i = 0; i < 40 && !stopped.load(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return TRUE;
}

} // namespace

const std::atomic<bool>& stopOnTermination() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    return stopRequested;
}

void confirmStopped() {
    stopped.store(true);
}

const char* stopRequestWords() {
    return "Ctrl+C or Ctrl+Break, or until the console window is closed";
}

} // namespace veldrin::cli
