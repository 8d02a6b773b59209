#include "cli/recorder_files.h"

#include "core/atomic_file.h"
#include "core/paths.h"
#include "store/registry.h"

namespace veldrin::cli {

RegistryCount readRegistry(const Folders& folders) {
    const RegistryCount registry =
        veldrin::registeredCount(IniSnapshot::load(mainIniPath(folders)));
    if (registry.damaged()) {
        printError(registry.damage);
    }
    return registry;
}

int32_t registeredCount(const Folders& folders) {
    return readRegistry(folders).count;
}

bool isRegistered(const Folders& folders, long number) {
    const int32_t count = registeredCount(folders);
    if (number < 0 || number >= count) {
        printError("recorder " + std::to_string(number) + " is not registered (" +
                   std::to_string(count) + " recorders in " + mainIniPath(folders) + ")");
        return false;
    }
    return true;
}

DateTime earliestTime() {
    return DateTime::fromFields(100, 1, 1);
}

DateTime latestTime() {
    return DateTime::fromFields(9999, 12, 31, 23, 59, 59);
}

RecorderFile readRecorderFile(const Folders& folders, int32_t number) {
    RecorderFile file;
    const std::string path = dataFilePath(folders.data, number);
    OpenFailure failure = OpenFailure::none;
    std::string error;
    if (readDataFile(path, file.content, failure, error)) {
        file.state = FileState::ok;
        return file;
    }
    switch (failure) {
    case OpenFailure::notFound:
        file.state = FileState::missing;
        file.message = path + " was not found";
        break;
    case OpenFailure::empty:
        file.state = FileState::noDataYet;
        file.message = path + " holds no data yet";
        break;
    case OpenFailure::malformed:
        file.state = FileState::damaged;
        file.message = path + ": " + error;
        break;
    default:
        file.state = FileState::damaged;
        file.message = error;
        break;
    }
    return file;
}

} // namespace veldrin::cli
