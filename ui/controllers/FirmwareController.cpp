#include "ui/controllers/FirmwareController.h"

#include "core/Dialogs.h"
#include "ui/FirmwareWindow.h"
#include "ui/controllers/FilesController.h"

#include <QAction>

namespace kestra {

FirmwareController::FirmwareController(PedalSession& session, FilesController& files,
                                       QObject* menuOwner, QObject* parent)
    : FeatureController(session, parent), files_(files) {
    upgradeMode_ = new QAction(QStringLiteral("Upgrade Mode"), menuOwner);
    upgradeMode_->setCheckable(true);
    connect(upgradeMode_, &QAction::triggered, this, &FirmwareController::onUpgradeModeTriggered);
    startUpgrade_ = new QAction(QStringLiteral("Start Firmware Upgrade"), menuOwner);
    connect(startUpgrade_, &QAction::triggered, this, [this] {
        if (!firmwareWindow_)
            return;
        firmwareWindow_->show();
        firmwareWindow_->raise();
    });
    eraseSettings_ = new QAction(QStringLiteral("Erase Settings"), menuOwner);
    connect(eraseSettings_, &QAction::triggered, this, &FirmwareController::onEraseSettings);
}

void FirmwareController::setFirmwareWindow(FirmwareWindow* window) {
    firmwareWindow_ = window;
    connect(window, &FirmwareWindow::imageChanged, this, &FirmwareController::situationChanged);
    connect(window, &FirmwareWindow::finished, this, &FirmwareController::situationChanged);
}

void FirmwareController::addSituation(EditorSituation& situation) const {
    situation.firmwareChosen = firmwareWindow_ && firmwareWindow_->imageChosen();
    situation.upgrading = session_.upgrading();
    situation.upgradeArmed = session_.upgradeArmed();
}

void FirmwareController::applyEnabledStates(const EnabledStates& e) {
    upgradeMode_->setEnabled(e.upgradeMode);
    upgradeMode_->setChecked(e.upgradeModeChecked);
    startUpgrade_->setEnabled(e.startUpgrade);
    eraseSettings_->setEnabled(e.eraseSettings);
    if (firmwareWindow_)
        firmwareWindow_->applyEnabledStates(e);
}

void FirmwareController::onUpgradeModeTriggered() {
    switch (session_.connection().state()) {
    case Connection::State::Unlinked:
    case Connection::State::Lost:
        // Not linked: the check mark arms the next Link for the bootloader.
        session_.toggleUpgradeArmed();
        break;
    case Connection::State::Linked:
        files_.offerBackupThen(QStringLiteral("entering Firmware Upgrade Mode"), [this] {
            enterBootloader();
            emit situationChanged();
        });
        break;
    case Connection::State::Bootloader:
        // What the pedal needs now is worth a dialog.
        session_.leaveBootloader([this](const SessionResult& result) {
            if (result.ok() && !result.text.isEmpty())
                return Dialogs::instance().message(result.text);
            report(result);
        });
        break;
    default:
        break;
    }
    // The check mark shows what the session holds, whatever the click did.
    emit situationChanged();
}

void FirmwareController::enterBootloader() {
    session_.enterBootloader([this](const SessionResult& result) {
        if (result.ok())
            return Dialogs::instance().message(
                QStringLiteral("Connection to bootloader succeeded. Release B2(SAVE) button and "
                               "go to Upgrade Firmware menu and click Start Firmware Upgrade."));
        report(result);
    });
}

void FirmwareController::onEraseSettings() {
    if (!Dialogs::instance().confirm(
            QStringLiteral(
                "Are you sure you want to delete all settings?\r\nThis action will delete the "
                "current stored algorithm and any other settings like presets and "
                "assignments\r\nErase settings is suggested in the following cases:\r\n- the "
                "pedal is unresponsive/freezed after updates\r\n- unexpected behaviour or bugs "
                "which afflicts the pedal functionalities\r\n- you want to switch to the "
                "Brantwell pedal"),
            Dialogs::Default::No))
        return;
    files_.offerBackupThen(QStringLiteral("erasing its settings"), [this] {
        session_.eraseSettings([this](const SessionResult& result) {
            if (!result.ok())
                return report(result);
            emit statusMessage(QStringLiteral("The pedal's settings are erased"));
        });
    });
}

} // namespace kestra
