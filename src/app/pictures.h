#pragma once
// The program's pictures, drawn at start-up: the program icon, the toolbar images and the two
// status-bar pictures that say whether a recorder is attached.

#include <QIcon>
#include <QImage>

namespace veldrin {

namespace picture_id {
constexpr int kToolbar = 128;    // the toolbar's images (and the program icon's number)
constexpr int kNoRecorder = 131; // status pane 1 while no recorder answers
constexpr int kRecorder = 132;   // status pane 1 while a recorder is attached
} // namespace picture_id

inline constexpr int kToolbarImageWidth = 27;
inline constexpr int kToolbarImageHeight = 24;

// A thermometer beside a drop on a blue tile, at sizes from 16 to 256 pixels.
QIcon programIcon();
QImage programIconImage(int size);

// The 27 x 24 image of a toolbar command (Export, Setting, Clear PC Data, About, Back); a null
// image for any other command.
QImage toolbarImage(int commandId);

// Picture 131 (200 x 48: a grey recorder, unplugged, crossed out) or 132 (103 x 25: a green
// recorder with its plug in).
QImage statusPicture(bool recorderAttached);

} // namespace veldrin
