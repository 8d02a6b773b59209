#pragma once
// The printable report of one recorder over a period: what recorder, which period, when and by
// what version it was made; the chart drawn by the window's own renderer; the statistics; the
// limits and the alarm events, continued over as many pages as they need; page numbers. A4
// portrait PDF in the current language. The window's export and `veldrin --report` both write it.

#include "core/alarm_limits.h"
#include "core/date_time.h"
#include "core/recorder_types.h"
#include "store/data_file.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>

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

// The PDF document.
QByteArray renderPdfReport(const ReportContent& content);

// Renders and replaces `path` atomically; false with the reason in `error`.
bool writePdfReport(const std::string& path, const ReportContent& content, std::string& error);

} // namespace veldrin
