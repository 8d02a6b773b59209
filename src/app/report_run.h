#pragma once
// `veldrin --report OUT.pdf --recorder N ...`: the report of one recorder written without a
// window. It only reads: the data folder is neither created nor locked, no recorder is opened.

#include "app/app_options.h"
#include "core/clock.h"

#include <QString>

namespace veldrin {

struct ReportRunResult {
    bool written = false;
    QString message; // what went wrong, for standard error
};

// `resourceFolder` empty: the language files are found beside the program.
ReportRunResult runReport(const AppOptions& options, Clock& clock,
                          const QString& resourceFolder = QString());

} // namespace veldrin
