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
        upgradeArmed_ = !upgradeArmed_;
        break;
    case Connection::State::Linked:
        offerBackupThen(QStringLiteral("entering Firmware Upgrade Mode"), [this] {
            enterBootloader();
            refreshEnabledStates();
        });
        break;
    case Connection::State::Bootloader:
        leaveBootloader();
        break;
    default:
        break;
    }
    refreshEnabledStates();
}

void MainWindow::enterBootloader() {
    const HexFrame bypassOn = frames::bypass(true);
    debugLog(bypassOn.text);
    connection_.send(bypassOn);
    if (!Dialogs::instance().confirm(QStringLiteral("To enter Firmware Upgrade Mode keep "
                                                    "B2(SAVE) button on the pedal pressed while "
                                                    "clicking YES."))) {
        connection_.send(frames::bypass(false));
        return;
    }
    QString why;
    const bool started =
        connection_.run(kestra::enterBootloader([this](const ExchangeResult& result) {
                            refreshEnabledStates();
                            if (result.completed()) {
                                Dialogs::instance().message(QStringLiteral(
                                    "Connection to bootloader succeeded. Release B2(SAVE) button "
                                    "and go to Upgrade Firmware menu and click Start Firmware "
                                    "Upgrade."));
                                return;
                            }
                            if (result.outcome == ExchangeResult::Outcome::Cancelled ||
                                result.outcome == ExchangeResult::Outcome::Lost)
                                return;
                            Dialogs::instance().error(bootloaderFailedMessage());
                            // The line is the application's again: end the bypass.
                            connection_.send(frames::bypass(false));
                        }),
                        &why);
    if (!started)
        Dialogs::instance().error(why);
}

void MainWindow::leaveBootloader() {
    // The pedal listens with its bootloader until it is switched off and on:
    // no application frame may reach it meanwhile, so the link ends here.
    upgradeArmed_ = false;
    QString why;
    if (!connection_.unlink(&why)) {
        Dialogs::instance().error(why);
        return;
    }
    Dialogs::instance().message(
        QStringLiteral("Firmware Upgrade Mode is off. The pedal stays in its bootloader until "
                       "it is switched off and on again.\n\nSwitch it off and on again, then "
                       "choose Link."));
}

void MainWindow::onArmedHandshake(const ExchangeResult& result, bool firstSync) {
    if (result.completed()) {
        Dialogs::instance().message(
            QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
        return refreshEnabledStates();
    }
    if (result.outcome == ExchangeResult::Outcome::Cancelled ||
        result.outcome == ExchangeResult::Outcome::Lost) {
        upgradeArmed_ = false;
        return refreshEnabledStates();
    }
    // A bootloader left listening (by Unlink, an unplug or a stopped upgrade)
    // took the sync byte for part of a command: find it again at whatever
    // step it is.
    if (firstSync && resynchronise(connection_, [this](const ExchangeResult& again) {
            onArmedHandshake(again, false);
        }))
        return;
    upgradeArmed_ = false;
    refreshEnabledStates();
    Dialogs::instance().error(bootloaderFailedMessage());
    // The device is open: the link goes on as a normal one.
    readStoredEffectThen({});
}

bool MainWindow::upgradeTakesLoss() const {
    // The Firmware Upgrade window says what the loss means for the firmware.
    return firmwareWindow_ && firmwareWindow_->upgrading();
}

void MainWindow::onUpgradeFinished(const ExchangeResult& result) {
    // After Go the pedal runs its new firmware and the line is the
    // application's; after a failure it stays in its bootloader.
    if (result.completed())
        upgradeArmed_ = false;
    refreshEnabledStates();
}

} // namespace kestra
