// The main window's side of the firmware upgrade: putting the pedal into its
// ROM bootloader (from the Upgrade Mode menu or at Link), and returning to
// normal use afterwards.
#include "app/TformMain.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "editor/TformFXParameters.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareUpgrade.h"
#include "port/Communication.h"
#include "protocol/CommandFrames.h"
#include "protocol/Frames.h"
#include "protocol/HexText.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace kestra {

namespace {
const QString BootloaderAck = hex2(bootloader::Ack);

QString bootloaderFailedMessage() {
    return QStringLiteral("Connection to bootloader failed\n\n"
                          "The pedal did not answer as its bootloader does. Keep B2(SAVE) "
                          "pressed on the pedal, check Upgrade Mode in the Firmware Upgrade "
                          "menu again and answer Yes while the button is held.");
}
} // namespace

void TformMain::setFirmwareUpgradeWindow(TformFirmwareUpgrade* window) {
    formFirmwareUpgrade = window;
    if (!window)
        return;
    connect(window, &TformFirmwareUpgrade::upgradeStarted, this,
            [this] { firmwareUpgradeRunning(true); });
    connect(window, &TformFirmwareUpgrade::upgradeStopped, this,
            [this] { firmwareUpgradeRunning(false); });
    connect(window, &TformFirmwareUpgrade::upgradeCompleted, this,
            &TformMain::firmwareUpgradeCompleted);
}

void TformMain::chkFirmwareUpgradeModeChange() {
    state_.firmwareUpgradeMode = chkFirmwareUpgradeMode->isChecked();
}

void TformMain::menuStartFirmwareUpgradeClick() {
    if (!formFirmwareUpgrade)
        return;
    formFirmwareUpgrade->show();
    formFirmwareUpgrade->raise();
}

// While the bootloader listens, any application frame would be taken as
// bootloader commands: every control that sends one is disabled.
static void setApplicationControls(TformMain& m, bool enabled) {
    m.btnUpload->setEnabled(enabled);
    m.btnRequest->setEnabled(enabled);
    if (!enabled) {
        m.btnOpenEffect->setEnabled(false);
        m.btnAssign->setEnabled(false);
        m.btnStoreSettingsOnPedal->setEnabled(false);
        m.menuMIDI->setEnabled(false);
        m.menuMode->setEnabled(false);
        m.lblLive->setEnabled(false);
        m.menuEraseSettings->setEnabled(false);
    } else {
        m.menuEraseSettings->setEnabled(true);
        if (m.state().linked) {
            m.btnOpenEffect->setEnabled(true);
            m.menuMIDI->setEnabled(true);
            m.menuMode->setEnabled(true);
        }
    }
    m.menuStartFirmwareUpgrade->setEnabled(!enabled);
}

void TformMain::menuFirmwareUpgradeModeClick() {
    Timer_USB_read.stop();
    transport_.errorReportEnabled = false;
    const bool bootloaderConnected = menuStartFirmwareUpgrade->isEnabled();
    const bool arm = !menuFirmwareUpgradeMode->isChecked();
    menuFirmwareUpgradeMode->setChecked(arm);
    state_.firmwareUpgradeMode = arm;
    if (!state_.linked) {
        // Unchecked after a handshake at Link: back to the application's line.
        if (!arm && bootloaderConnected)
            leaveFirmwareUpgradeMode(false);
        return;
    }
    if (!arm) {
        // Sending the entry frames again would feed them to a listening
        // bootloader; unchecking just returns to normal use.
        leaveFirmwareUpgradeMode(false);
        if (bootloaderConnected)
            Prompts::instance().message(
                QStringLiteral("Firmware Upgrade Mode is off. The pedal stays in its bootloader "
                               "until it is switched off and on again."));
        return;
    }

    if (formFXParameters_)
        formFXParameters_->bypass(true);
    else
        sendFrame(transport_, frames::bypass(true));
    if (!Prompts::instance().confirm(QStringLiteral("To enter Firmware Upgrade Mode keep B2(SAVE) "
                                                    "button on the pedal pressed while clicking "
                                                    "YES."))) {
        leaveFirmwareUpgradeMode(true);
        return;
    }
    // The frame's own pause gives the pedal time to restart into its ROM.
    sendFrame(transport_, frames::enterBootloader());
    state_.firmwareUpgradeMode = true;
    const QString reply = connectBootloader(transport_);
    debugLog(QStringLiteral("received Byte: ") + reply);
    if (reply != BootloaderAck) {
        Prompts::instance().error(bootloaderFailedMessage());
        leaveFirmwareUpgradeMode(true);
        return;
    }
    Prompts::instance().message(QStringLiteral(
        "Connection to bootloader succeeded. Release B2(SAVE) button and go to Upgrade Firmware "
        "menu and click Start Firmware Upgrade."));
    setApplicationControls(*this, false);
}

void TformMain::bootloaderHandshakeAtLink() {
    const QString reply = connectBootloader(transport_);
    debugLog(QStringLiteral("received Byte: ") + reply);
    if (reply != BootloaderAck) {
        Prompts::instance().error(bootloaderFailedMessage());
        // Link then goes on as a normal link if the device opened.
        leaveFirmwareUpgradeMode(false);
        return;
    }
    Prompts::instance().message(
        QStringLiteral("Connection to bootloader succeeded, ready for firmware upgrade"));
    setApplicationControls(*this, false);
}

void TformMain::leaveFirmwareUpgradeMode(bool undoBypass) {
    const bool bootloaderConnected = menuStartFirmwareUpgrade->isEnabled();
    state_.firmwareUpgradeMode = false;
    menuFirmwareUpgradeMode->setChecked(false);
    // Only an open device can take the setting; the record is reset anyway.
    if (state_.linked || menuDisconnect->isEnabled())
        restoreApplicationPort(transport_);
    else
        setPortDefaults(transport_.portSettings, Parity::None);
    if (undoBypass) {
        if (formFXParameters_)
            formFXParameters_->bypass(false);
        else
            sendFrame(transport_, frames::bypass(false));
    }
    if (bootloaderConnected)
        setApplicationControls(*this, true);
    if (state_.linked)
        Timer_USB_read.start();
}

void TformMain::firmwareUpgradeRunning(bool running) {
    // Unlinking or leaving the mode in the middle would cut the upgrade.
    menuFirmwareUpgradeMode->setEnabled(!running);
    menuDisconnect->setEnabled(!running);
}

void TformMain::firmwareUpgradeCompleted() {
    firmwareUpgradeRunning(false);
    // A handshake at Link left the device open but not linked: the pedal now
    // runs its new firmware, so it is linked like any other.
    state_.linked = true;
    menuFirmwareUpgradeMode->setChecked(false);
    state_.firmwareUpgradeMode = false;
    setApplicationControls(*this, true);
    Timer_USB_read.start();
}

} // namespace kestra
