// The Firmware Upgrade window: choose one of the three images and write it
// to the pedal through its bootloader, with a progress bar. The main window
// puts the pedal in its bootloader first.
#pragma once

#include "connection/Connection.h"
#include "ui/EnabledStates.h"

#include <QWidget>

class QComboBox;
class QProgressBar;
class QPushButton;

namespace kestra {

class FirmwareWindow : public QWidget {
    Q_OBJECT

public:
    explicit FirmwareWindow(Connection& connection, QWidget* parent = nullptr);

    bool imageChosen() const { return !imageName_.isEmpty(); }
    // The chosen image; empty (version 0) until an item is chosen, then kept
    // for as long as the editor runs.
    const QString& imageName() const { return imageName_; }
    int firmwareVersion() const { return version_; }
    void applyEnabledStates(const EnabledStates& enabled);

signals:
    void imageChanged();
    // The upgrade ended: completed (the pedal runs its new firmware), or
    // stopped at a failed step (the pedal is still in its bootloader).
    void finished(const kestra::ExchangeResult& result);

private:
    void onImageChosen(int index);
    void onUpgrade();

    Connection& connection_;
    QString imageName_;
    int version_ = 0;
    QComboBox* images_ = nullptr;
    QPushButton* upgrade_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace kestra
