#include "ui/widgets/Placement.h"

#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace kestra {

namespace {

constexpr char RememberedProperty[] = "kestraRememberedPlace";

// A remembered place counts as on a screen when a player can still grab its
// title bar there.
constexpr int GrabWidth = 60;
constexpr int GrabHeight = 10;

const QRect* screenShowing(const QRect& frame, const QList<QRect>& screens) {
    const QRect* best = nullptr;
    qint64 bestArea = 0;
    for (const QRect& screen : screens) {
        const QRect shared = screen.intersected(frame);
        const qint64 area = qint64(shared.width()) * shared.height();
        if (!shared.isEmpty() && area > bestArea) {
            best = &screen;
            bestArea = area;
        }
    }
    return best;
}

// frame moved, and shrunk where it must, to lie within available.
QRect within(QRect frame, const QRect& available) {
    frame.setWidth(std::min(frame.width(), available.width()));
    frame.setHeight(std::min(frame.height(), available.height()));
    frame.moveLeft(
        std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(
        std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

} // namespace

QRect placeBeside(QSize frameSize, const QRect& anchor, const QRect& available) {
    int x = anchor.right() + 1;
    if (x + frameSize.width() - 1 > available.right()) {
        const int left = anchor.left() - frameSize.width();
        x = left >= available.left() ? left : available.right() + 1 - frameSize.width();
    }
    int y = std::min(anchor.top(), available.bottom() + 1 - frameSize.height());
    x = std::max(x, available.left());
    y = std::max(y, available.top());
    return {QPoint(x, y), frameSize};
}

QRect placeWindow(QSize frameSize, const QRect& anchor, const QRect& keepClear,
                  const QList<QRect>& screens, const std::optional<QRect>& remembered) {
    if (screens.isEmpty())
        return {anchor.topRight() + QPoint(1, 0), frameSize};
    if (remembered) {
        const QRect grip(remembered->topLeft(),
                         QSize(std::min(GrabWidth, remembered->width()), GrabHeight));
        for (const QRect& screen : screens)
            if (screen.intersects(grip))
                return within(QRect(remembered->topLeft(), frameSize), screen);
    }
    const QRect* found = screenShowing(anchor, screens);
    const QRect available = found ? *found : screens.first();
    const QSize size = frameSize.boundedTo(available.size());
    QRect placed = placeBeside(size, anchor, available);
    if (!keepClear.isEmpty() && placed.intersects(keepClear)) {
        // Over the anchor after all: below its menu bar, shorter if need be.
        placed.moveTop(keepClear.bottom() + 1);
        placed.setBottom(std::min(placed.bottom(), available.bottom()));
        if (placed.height() < size.height() / 2)
            placed = placeBeside(size, anchor, available);
    }
    return placed;
}

void moveBeside(QWidget* window, const QWidget* anchor) {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    QRect keepClear;
    if (const auto* bar = anchor->findChild<QMenuBar*>(); bar && bar->isVisible())
        keepClear = QRect(bar->mapToGlobal(QPoint()), bar->size());
    // The title bar and frame around the window's own area.
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QRect placed = placeWindow(window->frameGeometry().size(), anchor->frameGeometry(),
                                     keepClear, screens, rememberedPlace(window));
    const QSize inner = placed.size() - frame;
    if (inner != window->size() && window->minimumSize() != window->maximumSize())
        window->resize(inner.boundedTo(window->size()));
    window->move(placed.topLeft());
}

std::optional<QRect> rememberedPlace(const QWidget* window) {
    const QVariant place = window->property(RememberedProperty);
    if (!place.isValid())
        return std::nullopt;
    return place.toRect();
}

void rememberPlace(QWidget* window, const QRect& frame) {
    window->setProperty(RememberedProperty, frame);
}

} // namespace kestra
