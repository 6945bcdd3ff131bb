// The main window's side of the firmware upgrade: Upgrade Mode puts the
// pedal into its ROM bootloader (or arms the next Link to find it there),
// and takes it back to normal use.
#include "core/DebugLog.h"
#include "firmware/Bootloader.h"
#include "ui/FirmwareWindow.h"
#include "ui/MainWindow.h"

#include <QAction>

namespace kestra {

void MainWindow::setFirmwareWindow(FirmwareWindow* window) {
    firmwareWindow_ = window;
    connect(window, &FirmwareWindow::imageChanged, this, [this] { refreshEnabledStates(); });
    connect(window, &FirmwareWindow::finished, this, &MainWindow::onUpgradeFinished);
}

void MainWindow::onUpgradeModeTriggered() {
    switch (connection_.state()) {
    case Connection::State::Unlinked:
    case Connection::State::Lost:
        // Not linked: the check mark arms the next Link for the bootloader.
        session_.toggleUpgradeArmed();
        break;
    case Connection::State::Linked:
        offerBackupThen(QStringLiteral("entering Firmware Upgrade Mode"), [this] {
            enterBootloader();
            refreshEnabledStates();
        });
        break;
    case Connection::State::Bootloader:
        session_.leaveBootloader(report);
        break;
    default:
        break;
    }
    refreshEnabledStates();
}

void MainWindow::enterBootloader() {
    session_.enterBootloader([](const SessionResult& result) {
        if (result.ok())
            return Dialogs::instance().message(
                QStringLiteral("Connection to bootloader succeeded. Release B2(SAVE) button and "
                               "go to Upgrade Firmware menu and click Start Firmware Upgrade."));
        report(result);
    });
}

bool MainWindow::upgradeTakesLoss() const {
    // The Firmware Upgrade window says what the loss means for the firmware.
    return session_.upgrading();
}

void MainWindow::onUpgradeFinished(const ExchangeResult&) {
    refreshEnabledStates();
}

} // namespace kestra
