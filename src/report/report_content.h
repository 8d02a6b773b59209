#pragma once
// What a report shows, assembled in one place for the window's export and `veldrin --report`:
// the recorder and its registered identity, its settings and records, the period, the limits in
// force, when and by which version it was made.

#include "chart/display_snapshot.h"
#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"
#include "store/data_file.h"
#include "store/ini_file.h"

#include <QString>

#include <optional>

namespace veldrin {

struct ReportContent {
    int32_t number = -1;
    std::optional<RecorderIdentity> identity;
    RecorderSettings settings;
    RecordList records; // the recorder's records; those the list shows for [from, to] are reported
    DateTime from;
    DateTime to;
    AlarmLimits limits;
    DateTime madeAt;
    QString version;
};

// The records the report covers: those of [from, to] (core/record_window.h), in file order.
RecordList periodRecords(const ReportContent& content);
// The same out of `records`.
RecordList periodRecords(const RecordList& records, const DateTime& from, const DateTime& to);

// What the report of recorder `number` is made from; `ini` names its identity.
struct ReportSource {
    int32_t number = -1;
    RecorderSettings settings;
    RecordList records;
    DateTime from;
    DateTime to;
    AlarmLimits limits;
    DateTime madeAt;
};

// The report of what the window shows: its recorder, settings, window and limits, without its
// records, which stay in the store (renderShownReport(), report/pdf_report.h).
ReportSource reportSource(const DisplaySnapshot& shown, const DateTime& madeAt);

// The report's content: the source, the identity registered for its recorder in `ini` and the
// program's version.
ReportContent assembleReport(ReportSource source, const IniSnapshot& ini);

} // namespace veldrin
