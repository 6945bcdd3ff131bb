// Where a window opens: beside the main window and always on the screen that
// shows it, whatever the screen's size and scale factor; or where the player
// left it, while that place is still on a screen.
#pragma once

#include <QList>
#include <QRect>
#include <optional>

class QWidget;

namespace kestra {

// The frame for a window of frameSize beside anchor within available: to the
// right of anchor, else to its left, else as far right as fits; its top level
// with anchor's and moved up or down to stay within available. A frame larger
// than available keeps its top left corner on it.
QRect placeBeside(QSize frameSize, const QRect& anchor, const QRect& available);

// The frame for a window of frameSize among screens (their available
// areas): where the player left it (remembered) when that place's top edge
// is still on a screen, else beside anchor on the screen that shows most of
// anchor. Either way no larger than that screen, and clear of keepClear (the
// anchor's menu bar) unless the screen has no room below it.
QRect placeWindow(QSize frameSize, const QRect& anchor, const QRect& keepClear,
                  const QList<QRect>& screens, const std::optional<QRect>& remembered);

// Moves window (shown, so its frame is known) beside anchor on anchor's
// screen, or where the player left it (see rememberPlace), and makes it no
// larger than that screen.
void moveBeside(QWidget* window, const QWidget* anchor);

// The frame the player left window at, for the next moveBeside; nothing
// until rememberPlace.
std::optional<QRect> rememberedPlace(const QWidget* window);
void rememberPlace(QWidget* window, const QRect& frame);

} // namespace kestra
