#pragma once
// The printable report of one recorder over a period: what recorder, which period, when and by
// what version it was made; the chart drawn by the window's own renderer; the statistics; the
// limits and the alarm events, continued over as many pages as they need; page numbers. A4
// portrait PDF in the current language. The window's export and `veldrin --report` both write it.

#include "analysis/record_gaps.h"
#include "analysis/statistics.h"
#include "report/report_content.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <string>

namespace veldrin {

// What the report works out from the period's records: statistics and events, coverage and gaps,
// the fingerprint and the chart. Worked out apart from the document, so that the window can take
// them from the records it holds while it holds the store's lock, and write the document without
// the lock and without copying the records.
struct ReportFigures {
    WindowStatistics stats;
    RecordCoverage coverage;
    QString fingerprint;
    QImage chart;
};

// From `records`, the recorder's records (content.records is not read).
ReportFigures reportFigures(const ReportContent& content, const RecordList& records);

// The PDF document, its figures worked out from content.records or given.
QByteArray renderPdfReport(const ReportContent& content);
QByteArray renderPdfReport(const ReportContent& content, const ReportFigures& figures);

// The report of what the window shows (reportSource()): the figures are worked out under the
// store's lock from the records it holds, with the settings they belong to; the document is
// written after the lock is released.
QByteArray renderShownReport(const DisplaySnapshot& shown, const DateTime& madeAt,
                             const IniSnapshot& ini);

// The heading words of the report's tables for `content`, in the current language, that are
// wider than their columns (each "heading: word"); empty when every heading fits.
QStringList reportHeadingsCut(const ReportContent& content);

// Renders and replaces `path` atomically; false with the reason in `error`.
bool writePdfReport(const std::string& path, const ReportContent& content, std::string& error);

// Replaces `path` atomically with a rendered document; false with the reason in `error` (also
// for an empty document: the report could not be made).
bool writeReportFile(const std::string& path, const QByteArray& bytes, std::string& error);

} // namespace veldrin
