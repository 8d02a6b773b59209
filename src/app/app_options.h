#pragma once
// The command line of the window program: the same data-folder, recorder and language options as
// veldrin-cli, and optionally one data file to show read-only.

#include "core/date_time.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace veldrin {

struct AppOptions {
    QString dataDir; // empty: the usual rule (core/paths.h)
    QString device = QStringLiteral("hid");
    int language = -1;    // --lang 0|1|2; -1 when not given
    QString documentPath; // a data file named on the command line
    // --report OUT.pdf --recorder N [--from TIME] [--to TIME]: the report is written, no window.
    QString reportPath;
    int recorder = -1;
    std::optional<DateTime> from;
    std::optional<DateTime> to; // a time given to the minute takes in that whole minute
};

struct AppOptionsOutcome {
    enum Kind { Run, Help, Version, Invalid };
    Kind kind = Run;
    QString text; // the help or version text, or what is wrong
    AppOptions options;
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
AppOptionsOutcome parseAppOptions(const QStringList& arguments);

// The arguments without the options Qt takes for itself (-platform NAME, -reverse, ...), so that
// the program's own options can be read before Qt is started.
QStringList withoutQtOptions(const QStringList& arguments);

// "hid", "sim" or "socket:PATH" with a path.
bool isKnownDevice(const QString& device);

} // namespace veldrin
