// Where a window opens: beside the main window and always on the screen that
// shows it, whatever the screen's size and scale factor.
#pragma once

#include <QRect>

class QWidget;

namespace kestra {

// The frame for a window of frameSize beside anchor within available: to the
// right of anchor, else to its left, else as far right as fits; its top level
// with anchor's and moved up or down to stay within available. A frame larger
// than available keeps its top left corner on it.
QRect placeBeside(QSize frameSize, const QRect& anchor, const QRect& available);

// Moves window (shown, so its frame is known) beside anchor on anchor's screen.
void moveBeside(QWidget* window, const QWidget* anchor);

} // namespace kestra
