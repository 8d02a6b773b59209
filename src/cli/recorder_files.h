#pragma once
// Read-only access to the registry and the data files for list and export: nothing is created,
// moved or rewritten, whatever state the files are in.

#include "cli/cli_context.h"
#include "store/data_file.h"
#include "store/registry.h"

#include <string>

namespace veldrin::cli {

// The number of registered recorders; a damaged MaxID is reported on standard error and cut back
// to the entries present.
int32_t registeredCount(const Folders& folders);
// The same with whether main.ini is damaged (its damage said on standard error).
RegistryCount readRegistry(const Folders& folders);

// Whether `number` is a registered recorder; if not, says so (status 2).
bool isRegistered(const Folders& folders, long number);

// The whole time line, for a window not bounded by --from or --to.
DateTime earliestTime();
DateTime latestTime();

enum class FileState { ok, missing, noDataYet, damaged };

struct RecorderFile {
    FileState state = FileState::missing;
    DataFileContent content;
    std::string message; // names the file when it cannot be used
};

RecorderFile readRecorderFile(const Folders& folders, int32_t number);

} // namespace veldrin::cli
