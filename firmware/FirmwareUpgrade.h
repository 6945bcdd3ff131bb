// The Firmware Upgrade window: choose one of the three images and write it
// to the pedal through its bootloader, with a progress bar. The main window
// puts the pedal in its bootloader first and returns to normal use when
// upgradeCompleted is emitted.
#pragma once

#include "core/EditorState.h"
#include "port/D2XXUnit.h"

#include <QWidget>

class QComboBox;
class QProgressBar;
class QPushButton;

namespace kestra {

class TformFirmwareUpgrade : public QWidget {
    Q_OBJECT

public:
    TformFirmwareUpgrade(EditorState& state, D2XXUnit& transport, QWidget* parent = nullptr);

    // Change of the combo box: takes the image name and its version.
    void FirmwareSelect();
    // The whole upgrade: erase, write every chunk, the version record, Go.
    // Stops at the first step the bootloader does not acknowledge.
    void btnUpgradeFirmwareClick();

    // The chosen image; empty (version 0) until an item is chosen, then kept
    // for as long as the editor runs.
    const QString& imageName() const { return imageName_; }
    int firmwareVersion() const { return firmwareVersion_; }

    QComboBox* cmbFirmwareChoose = nullptr;
    QPushButton* btnUpgradeFirmware = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

signals:
    void upgradeStarted();
    // The upgrade stopped at a failed step; the pedal is still in its
    // bootloader and the user may try again.
    void upgradeStopped();
    // The pedal was told to start its new firmware and the port is back to
    // the application's settings.
    void upgradeCompleted();

private:
    void setRunning(bool running);

    EditorState& state_;
    D2XXUnit& transport_;
    QString imageName_;
    int firmwareVersion_ = 0;
};

} // namespace kestra
