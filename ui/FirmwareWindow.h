// The Firmware Upgrade window: choose one of the three images and write it
// to the pedal through its bootloader, with a progress bar that shows the
// bytes done and the time left. The main window puts the pedal in its
// bootloader first. While an upgrade runs the window does not close.
#pragma once

#include "session/PedalSession.h"
#include "ui/EnabledStates.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace kestra {

class FirmwareWindow : public QWidget {
    Q_OBJECT

public:
    explicit FirmwareWindow(PedalSession& session, QWidget* parent = nullptr);

    bool imageChosen() const { return !imageName_.isEmpty(); }
    // The chosen image; empty (version 0) until an item is chosen, then kept
    // for as long as the editor runs.
    const QString& imageName() const { return imageName_; }
    int firmwareVersion() const { return version_; }
    // A try runs: from the click until its end, the question included.
    bool upgrading() const { return session_.upgrading(); }
    void applyEnabledStates(const EnabledStates& enabled);

signals:
    void imageChanged();
    // The upgrade ended: completed (the pedal runs its new firmware), or
    // stopped at a failed step (the pedal is still in its bootloader).
    void finished(const kestra::ExchangeResult& result);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onImageChosen(int index);
    void onUpgrade();
    void showProgress(UpgradePhase phase, int bytes, int total);
    void onFinished(const SessionResult& result);

    PedalSession& session_;
    QString imageName_;
    int version_ = 0;
    qint64 erasedAtMs_ = 0;
    QComboBox* images_ = nullptr;
    QPushButton* upgrade_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace kestra
