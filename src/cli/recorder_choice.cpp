#include "cli/recorder_choice.h"

#include "cli/exit_status.h"
#include "device/logger_link.h"
#include "store/registry.h"

namespace veldrin::cli {
namespace {

// The number main.ini gives the identity of the recorder at `path`; -1 when it has none or its
// header cannot be read.
int32_t registeredNumberAt(HidBackend& backend, const std::string& path, const IniSnapshot& ini) {
    LoggerLink link(backend, path);
    HeaderImage header{};
    if (!link.hasDevice() || link.ReadHeader(header) == 0) {
        return -1;
    }
    const RecorderIdentity id = identityFromHeader(header);
    if (!id.isValid()) {
        return -1;
    }
    const int32_t count = veldrin::registeredCount(ini).count;
    for (int32_t n = 0; n < count; ++n) {
        RecorderIdentity entry;
        if (registeredIdentity(ini, n, entry) && entry == id) {
            return n;
        }
    }
    return -1;
}

} // namespace

std::vector<AttachedRecorder> attachedRecorders(HidBackend& backend, const Folders& folders) {
    std::vector<std::string> paths;
    std::vector<AttachedRecorder> attached;
    if (!backend.listInterfaces(paths)) {
        return attached;
    }
    const IniSnapshot ini = IniSnapshot::load(mainIniPath(folders));
    for (const std::string& path : paths) {
        attached.push_back({path, registeredNumberAt(backend, path, ini)});
    }
    return attached;
}

std::string attachedText(const std::vector<AttachedRecorder>& attached) {
    std::string text;
    for (const AttachedRecorder& r : attached) {
        text += (text.empty() ? "" : ", ") +
                (r.number >= 0 ? std::to_string(r.number) : std::string("not registered")) + " (" +
                r.interfacePath + ")";
    }
    return text.empty() ? "none" : text;
}

bool chooseRecorder(const CliRequest& request, HidBackend& backend, const Folders& folders,
                    std::string& interfacePath, int& status) {
    interfacePath.clear();
    std::vector<std::string> paths;
    if (!request.recorder && (!backend.listInterfaces(paths) || paths.size() <= 1)) {
        return true; // one recorder or none yet: as always
    }
    const std::vector<AttachedRecorder> attached = attachedRecorders(backend, folders);
    if (!request.recorder) {
        printError("several recorders are attached: " + attachedText(attached) +
                   "; choose one with --recorder N");
        status = kExitInvalid;
        return false;
    }
    for (const AttachedRecorder& r : attached) {
        if (r.number >= 0 && r.number == *request.recorder) {
            interfacePath = r.interfacePath;
            return true;
        }
    }
    printError("recorder " + std::to_string(*request.recorder) +
               " is not attached; attached: " + attachedText(attached));
    status = kExitInvalid;
    return false;
}

} // namespace veldrin::cli
