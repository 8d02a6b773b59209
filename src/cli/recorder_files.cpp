#include "cli/recorder_files.h"

#include "core/atomic_file.h"
#include "core/paths.h"
#include "store/registry.h"

namespace veldrin::cli {

int32_t registeredCount(const Folders& folders) {
    const RegistryCount registry =
        veldrin::registeredCount(IniSnapshot::load(mainIniPath(folders)));
    if (!registry.damage.empty()) {
        printError(registry.damage);
    }
    return registry.count;
}

RecorderFile readRecorderFile(const Folders& folders, int32_t number) {
    RecorderFile file;
    const std::string path = dataFilePath(folders.data, number);
    if (!fileExists(path)) {
        file.state = FileState::missing;
        file.message = path + " was not found";
        return file;
    }
    std::string bytes;
    std::string error;
    if (!readWholeFile(path, bytes, error)) {
        file.state = FileState::damaged;
        file.message = error.empty() ? "cannot read " + path : error;
        return file;
    }
    if (bytes.empty()) {
        file.state = FileState::noDataYet;
        file.message = path + " holds no data yet";
        return file;
    }
    if (!decodeDataFile(bytes, file.content, error)) {
        file.state = FileState::damaged;
        file.message = path + ": " + error;
        return file;
    }
    file.state = FileState::ok;
    return file;
}

} // namespace veldrin::cli
