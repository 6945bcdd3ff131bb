#include "ui/widgets/Placement.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace kestra {

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

void moveBeside(QWidget* window, const QWidget* anchor) {
    const QScreen* screen = anchor->screen();
    if (!screen)
        return;
    window->move(placeBeside(window->frameGeometry().size(), anchor->frameGeometry(),
                             screen->availableGeometry())
                     .topLeft());
}

} // namespace kestra
