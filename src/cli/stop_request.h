#pragma once
// The end of `watch` asked from outside: SIGINT or SIGTERM, or on Windows Ctrl+C, Ctrl+Break, the
// console window closed, the user logging off or the system shutting down. One platform file each
// (stop_request_posix.cpp, stop_request_windows.cpp).

#include <atomic>

namespace veldrin::cli {

// Installs the handlers (once) and returns the flag they set.
const std::atomic<bool>& stopOnTermination();
// Tells a handler that waits for it (Windows, closing the console) that the work is saved.
void confirmStopped();
// How the user asks `watch` to end on this system, for the help text.
const char* stopRequestWords();

} // namespace veldrin::cli
