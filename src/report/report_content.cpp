#include "report/report_content.h"

#include "core/record_window.h"
#include "store/registry.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>
#include <utility>

namespace veldrin {

RecordList periodRecords(const ReportContent& content) {
    return periodRecords(content.records, content.from, content.to);
}

RecordList periodRecords(const RecordList& records, const DateTime& from, const DateTime& to) {
    const RecordWindow window(from, to);
    RecordList inside;
    std::copy_if(records.begin(), records.end(), std::back_inserter(inside),
                 [&window](const HistoryRecord& r) { return window.holds(r); });
    return inside;
}

ReportSource reportSource(const DisplaySnapshot& shown, const DateTime& madeAt) {
    ReportSource source;
    source.number = shown.recorder;
    source.settings = shown.settings;
    source.from = shown.from;
    source.to = shown.to;
    source.limits = shown.limits;
    source.madeAt = madeAt;
    return source;
}

ReportContent assembleReport(ReportSource source, const IniSnapshot& ini) {
    ReportContent content;
    content.number = source.number;
    RecorderIdentity identity;
    if (registeredIdentity(ini, source.number, identity)) {
        content.identity = identity;
    }
    content.settings = std::move(source.settings);
    content.records = std::move(source.records);
    content.from = source.from;
    content.to = source.to;
    content.limits = source.limits;
    content.madeAt = source.madeAt;
    content.version = QCoreApplication::applicationVersion();
    return content;
}

} // namespace veldrin
