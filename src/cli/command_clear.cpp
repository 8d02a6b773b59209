// clear: a recorder's PC data emptied of records; its settings, description and registry entry
// stay, and the next download fetches the recorder's whole memory again.

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"

namespace veldrin::cli {

int runClear(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    DataDirectoryLock lock;
    if (!lockDataFolder(lock, folders, request.command, status)) {
        return status;
    }
    const long number = *request.recorder;
    const int32_t count = registeredCount(folders);
    if (number < 0 || number >= count) {
        printError("recorder " + std::to_string(number) + " is not registered (" +
                   std::to_string(count) + " recorders in " + mainIniPath(folders) + ")");
        return kExitInvalid;
    }
    // No recorder is connected in this process, so the chosen one is always "another" recorder:
    // its file is read for its settings and written back without records.
    IniFile ini(mainIniPath(folders));
    ConsoleListener console;
    DataStore store(folders.data, ini, SystemClock::instance());
    store.setListener(&console);
    if (store.clearRecorder(static_cast<int32_t>(number)) == 0) {
        printError("the data of recorder " + std::to_string(number) + " could not be cleared");
        return kExitInvalid;
    }
    printLine("recorder " + std::to_string(number) + ": PC data cleared (" +
              store.dataFilePath(static_cast<int32_t>(number)) + ")");
    return kExitOk;
}

} // namespace veldrin::cli
