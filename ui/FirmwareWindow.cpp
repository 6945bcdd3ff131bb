#include "ui/FirmwareWindow.h"

#include "core/Clock.h"
#include "core/DebugLog.h"
#include "core/Dialogs.h"
#include "firmware/Bootloader.h"
#include "ui/widgets/Accessible.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace kestra {

QString upgradeProgressText(UpgradePhase phase, int bytes, int total, qint64 elapsedMs) {
    if (phase == UpgradePhase::Erasing)
        return QStringLiteral("Erasing the pedal's firmware");
    // Every byte is written, then read back: twice the image's bytes in all.
    const qint64 done = phase == UpgradePhase::Writing ? bytes : qint64(total) + bytes;
    const qint64 all = 2 * qint64(total);
    QString text = QStringLiteral("%1: %2 of %3 bytes")
                       .arg(phase == UpgradePhase::Writing ? QStringLiteral("Writing")
                                                           : QStringLiteral("Verifying"))
                       .arg(bytes)
                       .arg(total);
    if (done > 0 && elapsedMs > 0) {
        const qint64 leftMs = (all - done) * elapsedMs / done;
        text += QStringLiteral(", about %1 s left").arg((leftMs + 999) / 1000);
    }
    return text;
}

FirmwareWindow::FirmwareWindow(Connection& connection, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      connection_(connection) {
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
    images_->setEnabled(enabled.upgradeChoice && !upgrading_);
    upgrade_->setEnabled(enabled.upgradeFirmware && !upgrading_);
}

void FirmwareWindow::closeEvent(QCloseEvent* event) {
    if (!upgrading_)
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
    progress_->setMaximum(2 * total);
    progress_->setValue(phase == UpgradePhase::Verifying ? total + bytes
                        : phase == UpgradePhase::Writing ? bytes
                                                         : 0);
    status_->setText(
        upgradeProgressText(phase, bytes, total, Clock::instance().elapsedMs() - erasedAtMs_));
}

void FirmwareWindow::onUpgrade() {
    if (upgrading_)
        return;
    QString error;
    const std::optional<QByteArray> image = loadFirmwareImage(imageName_, &error);
    if (!image) {
        Dialogs::instance().error(error);
        return;
    }
    UpgradeHooks hooks;
    const int version = version_;
    hooks.confirm = [version](const BootloaderFacts& facts) {
        return Dialogs::instance().confirm(upgradeQuestion(facts, version), Dialogs::Default::No);
    };
    hooks.progress = [this](UpgradePhase phase, int bytes, int total) {
        showProgress(phase, bytes, total);
    };
    hooks.finished = [this](const UpgradeResult& result) { onFinished(result); };
    hooks.applicationMayRun = startUnconfirmed_;
    upgrading_ = true;
    upgrade_->setEnabled(false);
    images_->setEnabled(false);
    QString why;
    if (!startFirmwareUpgrade(connection_, *image, version_, std::move(hooks), &why)) {
        upgrading_ = false;
        Dialogs::instance().error(why);
        emit finished({ExchangeResult::Outcome::Failed, why});
    }
}

void FirmwareWindow::onFinished(const UpgradeResult& result) {
    upgrading_ = false;
    startUnconfirmed_ = result.outcome == UpgradeResult::Outcome::Failed && result.verified;
    progress_->setValue(0);
    status_->clear();
    using Outcome = UpgradeResult::Outcome;
    ExchangeResult::Outcome outcome = ExchangeResult::Outcome::Failed;
    switch (result.outcome) {
    case Outcome::Completed:
        outcome = ExchangeResult::Outcome::Completed;
        Dialogs::instance().message(
            QStringLiteral("Firmware Upgrade Complete, device will now restart"));
        hide();
        break;
    case Outcome::Declined:
        debugLog(QStringLiteral("firmware upgrade declined"));
        outcome = ExchangeResult::Outcome::Cancelled;
        break;
    case Outcome::Failed:
        debugLog(QStringLiteral("firmware upgrade stopped: ") + result.message);
        Dialogs::instance().error(upgradeFailureMessage(result));
        break;
    case Outcome::Lost:
        outcome = ExchangeResult::Outcome::Lost;
        Dialogs::instance().error(upgradeLostMessage(result.erased));
        break;
    case Outcome::Cancelled:
        outcome = ExchangeResult::Outcome::Cancelled;
        break;
    }
    emit finished({outcome, result.message});
}

} // namespace kestra
