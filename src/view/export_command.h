#pragma once
// The Export command: what is shown, as the snapshot says: the list as a comma-separated file in
// list mode, otherwise the chart as a bitmap; either may be exported as the PDF report instead.
// The file is chosen in a save dialog; a file that cannot be written is reported and leaves no
// partial file behind.

#include "chart/display_snapshot.h"

#include <QImage>

#include <functional>

class QWidget;

namespace veldrin {

class ViewSession;

// `chartImage` draws the chart as it is shown now, readout included.
void runExportCommand(ViewSession& session, const DisplaySnapshot& shown, QWidget* parent,
                      const std::function<QImage()>& chartImage);

} // namespace veldrin
