#pragma once
// The Export command: what is shown, as the snapshot says: the list as a comma-separated file in
// list mode, otherwise the chart as a bitmap; either may be exported as the PDF report instead.
// The file is chosen in a save dialog; a file that cannot be written is reported and leaves no
// partial file behind.

#include "chart/display_snapshot.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;

namespace veldrin {

class ViewSession;

// What the export takes from the window.
struct ExportSources {
    // The chart as it is shown now, readout included, at the given device pixels per pixel
    // (1: exactly the chart's own pixels).
    std::function<QImage(qreal)> chartImage;
    // The screen's device pixel ratio for the window, offered for PNG; none: PNG at 1x.
    std::function<qreal(QWidget*)> atScreenResolution;
    // The file shown read-only, if any: never overwritten by an export.
    std::string openedDocument;
    // Set while recorders are compared: the comparison is exported instead, as its chart
    // (chartImage) or as one CSV file written by this function (false with a message).
    std::function<bool(const std::string& path, std::string& error)> comparisonCsv;
};

void runExportCommand(ViewSession& session, const DisplaySnapshot& shown, QWidget* parent,
                      const ExportSources& sources);

// The file an export writes and its format (its ending, lower case) from the name the user chose
// and the filter selected. A name's own ending among `offered` decides the format; another ending
// of an export format (".png" for the list) leaves `ending` empty: refused. Otherwise the
// filter's ending is appended, so that the ending never contradicts the content.
struct ExportTarget {
    QString path;
    QString ending;
};
ExportTarget resolveExportTarget(const QString& chosen, const QString& filter,
                                 const QStringList& offered);

} // namespace veldrin
