// The status bar: a note when the update check failed, and the link
// indicator that always says which pedal the editor talks to and how.
#include "ui/MainWindow.h"

#include <QLabel>
#include <QStatusBar>

namespace kestra {

namespace {
QString stateText(Connection::State state) {
    switch (state) {
    case Connection::State::Unlinked:
        return QStringLiteral("unlinked");
    case Connection::State::Linking:
        return QStringLiteral("linking");
    case Connection::State::Linked:
    case Connection::State::Busy:
        return QStringLiteral("linked");
    case Connection::State::Bootloader:
    case Connection::State::Upgrading:
        return QStringLiteral("bootloader");
    case Connection::State::Lost:
        return QStringLiteral("lost");
    }
    return {};
}
} // namespace

void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(false);
    updateNote_ = new QLabel(bar);
    updateNote_->setObjectName(QStringLiteral("updateNote"));
    // A long reason is in the tooltip and the log; the note never widens the window.
    updateNote_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(updateNote_, 1);
    linkIndicator_ = new QLabel(bar);
    linkIndicator_->setObjectName(QStringLiteral("linkIndicator"));
    bar->addPermanentWidget(linkIndicator_);
    refreshLinkIndicator();
}

// "Kestra, serial KS000001, firmware 3, linked": labels keep their text as
// their name, so a screen reader reads the whole line.
void MainWindow::refreshLinkIndicator() {
    if (!linkIndicator_)
        return;
    QStringList parts;
    if (device_.serialNumber.isEmpty() && device_.description.isEmpty()) {
        parts << QStringLiteral("No device");
    } else {
        parts << displayName(device_);
        parts << QStringLiteral("serial ") + device_.serialNumber;
    }
    if (session_.firmwareKnown())
        parts << QStringLiteral("firmware %1").arg(session_.storedEffect().firmwareVersion);
    parts << stateText(connection_.state());
    linkIndicator_->setText(parts.join(QStringLiteral(", ")));
}

void MainWindow::showUpdateNote(const QString& reason) {
    updateNote_->setText(QStringLiteral("Update check failed"));
    updateNote_->setToolTip(reason);
    updateNote_->setAccessibleDescription(reason);
}

} // namespace kestra
