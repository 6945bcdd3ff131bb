#include "ui/FirmwareWindow.h"

#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "firmware/Bootloader.h"
#include "ui/widgets/Accessible.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestra {

FirmwareWindow::FirmwareWindow(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      connection_(connection) {
    setObjectName(QStringLiteral("firmwareWindow"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setFixedSize(320, 128);

    const QString firmware = QStringLiteral("Firmware");
    auto* label = new QLabel(firmware, this);
    label->setGeometry(12, 14, 70, 24);
    images_ = named(new QComboBox(this), firmware);
    images_->setGeometry(88, 12, 220, 28);
    images_->addItems(firmwareImageNames());
    images_->setCurrentIndex(-1);
    label->setBuddy(images_);
    connect(images_, &QComboBox::currentIndexChanged, this, &FirmwareWindow::onImageChosen);

    const QString upgrade = QStringLiteral("Upgrade Firmware");
    upgrade_ = named(new QPushButton(upgrade, this), upgrade);
    upgrade_->setGeometry(88, 50, 220, 28);
    connect(upgrade_, &QPushButton::clicked, this, &FirmwareWindow::onUpgrade);

    progress_ = named(new QProgressBar(this), QStringLiteral("Upgrade progress"));
    progress_->setGeometry(12, 90, 296, 24);
    progress_->setValue(0);
}

void FirmwareWindow::applyEnabledStates(const EnabledStates& enabled) {
    images_->setEnabled(enabled.upgradeChoice);
    upgrade_->setEnabled(enabled.upgradeFirmware);
}

void FirmwareWindow::onImageChosen(int index) {
    if (index < 0)
        return;
    imageName_ = images_->currentText();
    version_ = firmwareVersionOf(imageName_);
    debugLog(QStringLiteral("Firmware Version: %1").arg(version_));
    debugLog(imageName_);
    emit imageChanged();
}

void FirmwareWindow::onUpgrade() {
    QString error;
    const std::optional<QByteArray> image = loadFirmwareImage(imageName_, &error);
    if (!image) {
        Dialogs::instance().error(error);
        return;
    }
    const FirmwareChunks chunks = splitFirmwareIntoChunks(*image);
    const auto progress = [this](int done, int total) {
        progress_->setMaximum(total);
        progress_->setValue(done);
    };
    const auto finished = [this](const ExchangeResult& result) {
        progress_->setValue(0);
        if (result.completed()) {
            Dialogs::instance().message(
                QStringLiteral("Firmware Upgrade Complete, device will now restart"));
            hide();
        } else if (result.outcome == ExchangeResult::Outcome::Failed ||
                   result.outcome == ExchangeResult::Outcome::TimedOut) {
            debugLog(QStringLiteral("firmware upgrade stopped: ") + result.message);
            Dialogs::instance().error(upgradeStoppedMessage(result.message));
        }
        emit this->finished(result);
    };
    QString why;
    if (!connection_.run(firmwareUpgrade(chunks, version_, progress, finished), &why))
        Dialogs::instance().error(why);
}

} // namespace kestra
