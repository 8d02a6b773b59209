// list: the registered recorders, one line each.

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"
#include "lang/utf.h"
#include "store/registry.h"

namespace veldrin::cli {
namespace {

// A description on one line: line breaks and other control characters become blanks.
std::string oneLine(const std::u16string& text) {
    std::string out = utf16ToUtf8(text);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return out;
}

std::string identityOf(const IniSnapshot& registry, int32_t number) {
    RecorderIdentity id;
    if (!registeredIdentity(registry, number, id)) {
        return "none";
    }
    return std::to_string(id.product) + "," + std::to_string(id.high) + "," +
           std::to_string(id.low);
}

std::string historyText(const RecordList& records) {
    std::string text = std::to_string(records.size()) + " records";
    if (!records.empty()) {
        text += ", " + timeText(records.front().time()) + " to " + timeText(records.back().time());
    }
    return text;
}

} // namespace

// A damaged main.ini is said and the recorders whose entries are there are still listed, but the
// run fails: a script must not take the list for the whole registry.
int runList(const CliRequest&, const Folders& folders) {
    const RegistryCount counted = readRegistry(folders);
    const int32_t count = counted.count;
    const int damaged = counted.damaged() ? kExitInvalid : kExitOk;
    if (count <= 0) {
        if (!counted.damaged()) {
            printError("no recorder is registered in " + mainIniPath(folders));
        }
        return damaged;
    }
    const IniSnapshot registry = IniSnapshot::load(mainIniPath(folders));
    int status = damaged;
    for (int32_t n = 0; n < count; ++n) {
        std::string line =
            "recorder " + std::to_string(n) + ": identity " + identityOf(registry, n);
        const RecorderFile file = readRecorderFile(folders, n);
        if (file.state == FileState::ok) {
            line += ", description \"" + oneLine(file.content.settings.description) + "\", " +
                    historyText(file.content.records);
        } else if (file.state == FileState::noDataYet || file.state == FileState::missing) {
            line += ", no data yet";
        } else {
            line += ", data file damaged";
            printError(file.message);
            status = kExitInvalid;
        }
        printLine(line);
    }
    return status;
}

} // namespace veldrin::cli
