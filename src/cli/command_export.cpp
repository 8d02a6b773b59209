// export: a recorder's records between two times as the comma-separated file of the record list.

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_files.h"
#include "core/export_file.h"
#include "core/standard_output.h"
#include "export/csv_export.h"

#include <cstdio>

namespace veldrin::cli {

int runExport(const CliRequest& request, const Folders& folders) {
    if (!request.outPath.empty() && isDataFolderFile(folders.data, request.outPath)) {
        printError("--out: " + request.outPath + " is one of the data folder's own files (" +
                   folders.data + "); choose another name");
        return kExitInvalid;
    }
    const long number = *request.recorder;
    if (!isRegistered(folders, number)) {
        return kExitInvalid;
    }
    const RecorderFile file = readRecorderFile(folders, static_cast<int32_t>(number));
    if (file.state != FileState::ok) {
        printError(file.message);
        return kExitInvalid;
    }
    const RecorderSettings& settings = file.content.settings;
    const RecordList& records = file.content.records;
    const DateTime from = request.from.value_or(earliestTime());
    const DateTime to = request.to.value_or(latestTime());
    if (request.outPath.empty()) {
        if (!useBinaryStandardOutput() ||
            !writeRecordCsvStream(stdout, settings, records, from, to)) {
            printError("cannot write to standard output");
            return kExitInvalid;
        }
        return kExitOk;
    }
    std::string error;
    if (!writeRecordCsvFile(request.outPath, settings, records, from, to, error)) {
        printError(error);
        return kExitInvalid;
    }
    return kExitOk;
}

} // namespace veldrin::cli
