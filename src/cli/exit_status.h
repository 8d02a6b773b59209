#pragma once
// Exit statuses of veldrin-cli, the contract that scripts rely on.

namespace veldrin::cli {

enum ExitStatus : int {
    kExitOk = 0,
    kExitUsage = 1,      // a usage error; the usage text goes to standard error
    kExitInvalid = 2,    // invalid input, or a file that cannot be read or written
    kExitNoRecorder = 3, // no recorder attached within the wait
    kExitIncomplete = 4, // the recorder was lost or a download failed part-way
};

} // namespace veldrin::cli
