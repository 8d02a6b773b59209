#pragma once
// The printable report of one recorder over a period: what recorder, which period, when and by
// what version it was made; the chart drawn by the window's own renderer; the statistics; the
// limits and the alarm events, continued over as many pages as they need; page numbers. A4
// portrait PDF in the current language. The window's export and `veldrin --report` both write it.

#include "report/report_content.h"

#include <QByteArray>
#include <QStringList>

#include <string>

namespace veldrin {

// The PDF document.
QByteArray renderPdfReport(const ReportContent& content);

// The heading words of the report's tables for `content`, in the current language, that are
// wider than their columns (each "heading: word"); empty when every heading fits.
QStringList reportHeadingsCut(const ReportContent& content);

// Renders and replaces `path` atomically; false with the reason in `error`.
bool writePdfReport(const std::string& path, const ReportContent& content, std::string& error);

} // namespace veldrin
