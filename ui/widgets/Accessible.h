// Every interactive control carries an accessible name: its caption or the
// text of the label beside it. Screen readers and UI tests rely on it.
#pragma once

#include <QString>
#include <QWidget>

namespace kestra {

template <typename W>
W* named(W* widget, const QString& accessibleName) {
    widget->setAccessibleName(accessibleName);
    return widget;
}

} // namespace kestra
