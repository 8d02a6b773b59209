#pragma once
// The Export command: the list as a comma-separated file in list mode, otherwise the chart as a
// bitmap. The file is chosen in a save dialog; a file that cannot be written is reported and
// leaves no partial file behind.

namespace veldrin {

class CVeldrinView;

void runExportCommand(CVeldrinView& view);

} // namespace veldrin
