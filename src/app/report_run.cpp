#include "app/report_run.h"

#include "core/atomic_file.h"
#include "core/export_file.h"
#include "core/paths.h"
#include "lang/language_table.h"
#include "lang/startup_language.h"
#include "report/pdf_report.h"
#include "store/alarm_limits_store.h"
#include "store/ini_file.h"
#include "store/registry.h"

#include <cstdio>

#include <tuple>

namespace veldrin {
namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

ReportRunResult refused(const QString& message) {
    return ReportRunResult{false, message};
}

// The language as the window would choose it: --lang, else the stored choice, else the system's.
void chooseLanguage(const AppOptions& options, const IniSnapshot& ini) {
    if (options.language >= 0 && options.language < kLanguageCount) {
        CurrentLanguage::set(options.language);
    } else {
        CurrentLanguage::set(chooseStartupLanguage(ini.readInt(kLanguageSection, "Lang", 0)));
    }
}

bool readRecords(const std::string& path, DataFileContent& content, std::string& error) {
    OpenFailure failure = OpenFailure::none;
    if (readDataFile(path, content, failure, error)) {
        return true;
    }
    if (failure == OpenFailure::empty) {
        return true; // registered, nothing downloaded yet: an empty report
    }
    if (failure == OpenFailure::malformed) {
        error = path + ": " + error;
    }
    return false;
}

// Without --from or --to the period is the recorder's whole history.
std::pair<DateTime, DateTime> periodOf(const AppOptions& options, const RecordList& records,
                                       const DateTime& now) {
    DateTime first = now;
    DateTime last = now;
    bool any = false;
    for (const HistoryRecord& r : records) {
        if (r.timeStatus != static_cast<uint8_t>(DateTimeStatus::valid)) {
            continue;
        }
        const DateTime t = DateTime::fromValue(r.timeValue);
        first = !any || t < first ? t : first;
        last = !any || t > last ? t : last;
        any = true;
    }
    return {options.from.value_or(first), options.to.value_or(last)};
}

} // namespace

ReportRunResult runReport(const AppOptions& options, Clock& clock, const QString& resourceFolder) {
    std::string folder;
    std::string error;
    if (!resolveDataDirectory(options.dataDir.toStdString(), folder, error, false)) {
        return refused(fromStd(error));
    }
    const std::string out = options.reportPath.toStdString();
    if (isDataFolderFile(folder, out)) {
        return refused(QStringLiteral("--report: %1 is one of the data folder's own files")
                           .arg(options.reportPath));
    }
    const std::string resources =
        resourceFolder.isEmpty() ? resolveResourceDirectory() : resourceFolder.toStdString();
    if (!LanguageTable::instance().load(resources, error)) {
        return refused(fromStd(error));
    }
    const IniSnapshot ini = IniSnapshot::load(joinPath(folder, "main.ini"));
    chooseLanguage(options, ini);
    const int32_t count = registeredCount(ini).count;
    if (options.recorder >= count) {
        return refused(QStringLiteral("recorder %1 is not registered (%2 recorders in %3)")
                           .arg(options.recorder)
                           .arg(count)
                           .arg(fromStd(folder)));
    }
    DataFileContent file;
    if (!readRecords(dataFilePath(folder, options.recorder), file, error)) {
        return refused(fromStd(error));
    }
    const StoredAlarmLimits limits = readAlarmLimits(ini, options.recorder);
    for (const std::string& problem : limits.problems) {
        std::fprintf(stderr, "veldrin: %s\n", problem.c_str());
    }
    ReportSource source;
    source.number = options.recorder;
    source.settings = file.settings;
    source.records = std::move(file.records);
    source.limits = limits.limits;
    source.madeAt = clock.nowLocal();
    std::tie(source.from, source.to) = periodOf(options, source.records, source.madeAt);
    const ReportContent content = assembleReport(std::move(source), ini);
    if (!writePdfReport(out, content, error)) {
        return refused(fromStd(error));
    }
    return ReportRunResult{true, QString()};
}

} // namespace veldrin
