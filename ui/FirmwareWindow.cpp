#include "ui/FirmwareWindow.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "firmware/Bootloader.h"
#include "firmware/FirmwareUpgrade.h"
#include "ui/widgets/Accessible.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace kestra {

FirmwareWindow::FirmwareWindow(PedalSession& session, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      session_(session) {
    setObjectName(QStringLiteral("firmwareWindow"));
    setWindowTitle(QStringLiteral("Firmware Upgrade"));
    setFixedSize(320, 156);

    const QString firmware = QStringLiteral("Firmware");
    auto* label = new QLabel(firmware, this);
    label->setGeometry(12, 14, 70, 24);
    images_ = named(new QComboBox(this), firmware);
    images_->setGeometry(88, 12, 220, 28);
    // Each choice names its version; the item's data is the image's name.
    for (const QString& name : firmwareImageNames())
        images_->addItem(QStringLiteral("%1 (version %2)").arg(name).arg(firmwareVersionOf(name)),
                         name);
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
    status_ = named(new QLabel(this), QStringLiteral("Upgrade status"));
    status_->setGeometry(12, 120, 296, 24);
}

void FirmwareWindow::applyEnabledStates(const EnabledStates& enabled) {
    images_->setEnabled(enabled.upgradeChoice);
    upgrade_->setEnabled(enabled.upgradeFirmware);
}

void FirmwareWindow::closeEvent(QCloseEvent* event) {
    if (!session_.upgrading())
        return QWidget::closeEvent(event);
    Dialogs::instance().error(
        QStringLiteral("The pedal's firmware is being written. Closing now would leave it "
                       "without a working firmware: wait until the upgrade has ended."));
    event->ignore();
}

void FirmwareWindow::onImageChosen(int index) {
    if (index < 0)
        return;
    imageName_ = images_->itemData(index).toString();
    version_ = firmwareVersionOf(imageName_);
    debugLog(QStringLiteral("Firmware Version: %1").arg(version_));
    debugLog(imageName_);
    emit imageChanged();
}

void FirmwareWindow::showProgress(UpgradePhase phase, int bytes, int total) {
    if (phase == UpgradePhase::Erasing)
        erasedAtMs_ = Clock::instance().elapsedMs();
    // The bar fills once for each step, as the text counts it.
    progress_->setMaximum(std::max(total, 1));
    progress_->setValue(phase == UpgradePhase::Erasing ? 0 : bytes);
    progress_->setFormat(phase == UpgradePhase::Verifying ? QStringLiteral("Verifying %p%")
                         : phase == UpgradePhase::Writing ? QStringLiteral("Writing %p%")
                                                          : QStringLiteral("%p%"));
    status_->setText(
        upgradeProgressText(phase, bytes, total, Clock::instance().elapsedMs() - erasedAtMs_));
}

void FirmwareWindow::onUpgrade() {
    if (session_.upgrading())
        return;
    session_.upgradeFirmware(
        imageName_,
        [this](UpgradePhase phase, int bytes, int total) { showProgress(phase, bytes, total); },
        [this](const SessionResult& result) { onFinished(result); });
}

void FirmwareWindow::onFinished(const SessionResult& result) {
    progress_->setValue(0);
    status_->clear();
    if (result.status == SessionResult::Status::Cancelled) {
        emit finished({ExchangeResult::Outcome::Cancelled, {}});
        return;
    }
    if (!result.ok()) {
        if (!result.text.isEmpty())
            Dialogs::instance().error(result.text);
        emit finished({ExchangeResult::Outcome::Failed, result.text});
        return;
    }
    Dialogs::instance().message(result.text);
    hide();
    emit finished({ExchangeResult::Outcome::Completed, {}});
}

} // namespace kestra
