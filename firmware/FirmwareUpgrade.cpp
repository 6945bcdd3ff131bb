#include "firmware/FirmwareUpgrade.h"

#include "app/widgets/Accessible.h"
#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Prompts.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareImage.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestra {

namespace {
// Lets the last write settle before the bootloader is told to jump.
constexpr int BeforeGoPauseMs = 10;

QString stoppedMessage(const QString& failure) {
    return QStringLiteral("The firmware upgrade stopped: %1.\n\n"
                          "The pedal's firmware is incomplete and the pedal stays in its "
                          "bootloader. Check the USB cable and click Upgrade Firmware to try "
                          "again.")
        .arg(failure);
}
} // namespace

TformFirmwareUpgrade::TformFirmwareUpgrade(EditorState& state, D2XXUnit& transport, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      state_(state), transport_(transport) {
    setObjectName(QStringLiteral("formFirmwareUpgrade"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setFixedSize(320, 128);

    const QString firmware = QStringLiteral("Firmware");
    auto* label = new QLabel(firmware, this);
    label->setGeometry(12, 14, 70, 24);
    cmbFirmwareChoose = named(new QComboBox(this), firmware);
    cmbFirmwareChoose->setGeometry(88, 12, 220, 28);
    cmbFirmwareChoose->addItems(firmwareImageNames());
    cmbFirmwareChoose->setCurrentIndex(-1);
    label->setBuddy(cmbFirmwareChoose);
    connect(cmbFirmwareChoose, &QComboBox::currentIndexChanged, this,
            &TformFirmwareUpgrade::FirmwareSelect);

    const QString upgrade = QStringLiteral("Upgrade Firmware");
    btnUpgradeFirmware = named(new QPushButton(upgrade, this), upgrade);
    btnUpgradeFirmware->setGeometry(88, 50, 220, 28);
    connect(btnUpgradeFirmware, &QPushButton::clicked, this,
            &TformFirmwareUpgrade::btnUpgradeFirmwareClick);

    ProgressBar1 = named(new QProgressBar(this), QStringLiteral("Upgrade progress"));
    ProgressBar1->setGeometry(12, 90, 296, 24);
    ProgressBar1->setValue(0);
}

void TformFirmwareUpgrade::FirmwareSelect() {
    if (cmbFirmwareChoose->currentIndex() < 0)
        return;
    imageName_ = cmbFirmwareChoose->currentText();
    firmwareVersion_ = firmwareVersionOf(imageName_);
    debugLog(QStringLiteral("Firmware Version: %1").arg(firmwareVersion_));
    debugLog(imageName_);
}

void TformFirmwareUpgrade::setRunning(bool running) {
    // One upgrade at a time: the waits below keep the window responsive.
    btnUpgradeFirmware->setEnabled(!running);
    cmbFirmwareChoose->setEnabled(!running);
}

void TformFirmwareUpgrade::btnUpgradeFirmwareClick() {
    if (!state_.firmwareUpgradeMode) {
        Prompts::instance().error(
            QStringLiteral("The pedal is not in Firmware Upgrade Mode. Choose Upgrade Mode in "
                           "the Firmware Upgrade menu first."));
        return;
    }
    QString error;
    const auto image = loadFirmwareImage(imageName_, &error);
    if (!image) {
        Prompts::instance().error(error);
        return;
    }
    const FirmwareChunks chunks = splitFirmwareIntoChunks(*image);

    setRunning(true);
    emit upgradeStarted();
    FirmwareWriter writer(transport_);
    const auto progress = [this](int value, int maximum) {
        ProgressBar1->setMaximum(maximum);
        ProgressBar1->setValue(value);
    };
    bool done = writer.eraseFlash() && writer.writeFirmware(chunks, progress) &&
                writer.writeVersionRecord(firmwareVersion_);
    if (done) {
        Clock::instance().pause(BeforeGoPauseMs);
        // Completion is announced only once the bootloader accepted the jump.
        done = writer.sendGoCommand();
    }
    setRunning(false);
    ProgressBar1->setValue(0);
    if (!done) {
        debugLog(QStringLiteral("firmware upgrade stopped: ") + writer.failure());
        Prompts::instance().error(stoppedMessage(writer.failure()));
        emit upgradeStopped();
        return;
    }
    restoreApplicationPort(transport_);
    state_.firmwareUpgradeMode = false;
    Prompts::instance().message(
        QStringLiteral("Firmware Upgrade Complete, device will now restart"));
    hide();
    emit upgradeCompleted();
}

} // namespace kestra
