// The main window's status line, whole: a long line is cut on screen and
// whole in its tooltip.
#pragma once

#include <QLabel>
#include <QWidget>

namespace kestra::test {

inline QString statusLine(const QWidget& mainWindow) {
    const QLabel* status = mainWindow.findChild<QLabel*>(QStringLiteral("status"));
    if (!status)
        return {};
    return status->toolTip().isEmpty() ? status->text() : status->toolTip();
}

} // namespace kestra::test
