// The Firmware Upgrade menu: Upgrade Mode puts the pedal into its ROM
// bootloader (or arms the next Link to find it there) and takes it back to
// normal use, Start Firmware Upgrade opens the Firmware Upgrade window, and
// Erase Settings clears the pedal's settings memory.
#pragma once

#include "ui/controllers/FeatureController.h"

class QAction;

namespace kestra {

class FilesController;
class FirmwareWindow;

class FirmwareController : public FeatureController {
    Q_OBJECT

public:
    // The entries belong to menuOwner until the main window puts them in its
    // menu; files offers the backup before anything loses settings.
    FirmwareController(PedalSession& session, FilesController& files, QObject* menuOwner,
                       QObject* parent);

    QAction* upgradeModeAction() const { return upgradeMode_; }
    QAction* startUpgradeAction() const { return startUpgrade_; }
    QAction* eraseSettingsAction() const { return eraseSettings_; }

    void setFirmwareWindow(FirmwareWindow* window);

    void addSituation(EditorSituation& situation) const override;
    void applyEnabledStates(const EnabledStates& enabled) override;

private:
    void onUpgradeModeTriggered();
    void enterBootloader();
    void onEraseSettings();

    FilesController& files_;
    FirmwareWindow* firmwareWindow_ = nullptr;
    QAction* upgradeMode_ = nullptr;
    QAction* startUpgrade_ = nullptr;
    QAction* eraseSettings_ = nullptr;
};

} // namespace kestra
