// The main window's catalogue: categories and effects, the selection, the
// parameter window of the selected effect, and Upload.
#include "catalogue/Upload.h"
#include "core/DebugLog.h"
#include "ir/IrLoader.h"
#include "protocol/HexText.h"
#include "ui/EffectInfoWindow.h"
#include "ui/MainWindow.h"
#include "ui/ParameterWindow.h"
#include "ui/widgets/Placement.h"
#include "ui/widgets/ToggleSwitch.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QStringDecoder>

namespace kestra {

namespace {
const QString ImpulseResponseInstructions = QStringLiteral(
    "How to load an impulse response:\r\n1) Select an IR load algorithm in Impulse Response "
    "category\r\n2) Go to File and click Load IR, choose the desired WAV file\r\n3) Click UPLOAD "
    "SELECTED EFFECT button\r\nWorks best with 48kHz sampling rate at a bitrate of 24 or 32 bit");
constexpr int ImpulseResponseCategoryIndex = 5;
constexpr int UploadLogLimit = 257;
const char* const BankCommands[] = {frames::BankI, frames::BankII, frames::BankIII};
} // namespace

void MainWindow::onCategoryActivated(int row) {
    if (row < 0 || row >= CategoryCount)
        return;
    effects_->clear();
    QString error;
    const std::optional<QStringList> members = catalogue_.categoryEffects(row, &error);
    if (!members)
        Dialogs::instance().message(error);
    selectedCategory_ = row;
    fillEffectList(members.value_or(QStringList()));
    if (row == ImpulseResponseCategoryIndex)
        Dialogs::instance().message(ImpulseResponseInstructions);
}

void MainWindow::fillEffectList(const QStringList& names) {
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, effects_);
        // In preset mode nothing is measured.
        if (!bankMode_)
            continue;
        const std::optional<int> size = catalogue_.imageSize(name);
        const bool fits = size && !exceedsBankLimit(*size);
        if (fits)
            continue;
        item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
        if (!size) {
            // Nothing could be uploaded: the entry says why instead of a size.
            debugLog(QStringLiteral("image of %1 is missing from the catalogue").arg(name));
            item->setToolTip(QStringLiteral("Its image is missing from the catalogue"));
            continue;
        }
        debugLog(QStringLiteral("size of %1 exceed %2 bytes").arg(name).arg(BankImageLimit));
        item->setToolTip(
            QStringLiteral("Larger than an FX bank can hold (%1 bytes)").arg(BankImageLimit));
    }
}

void MainWindow::moveEffectHighlight(int key) {
    const int index = effects_->currentRow();
    if (key == Qt::Key_Up) {
        debugLog(QStringLiteral("arrow up pressed"));
        if (index > 0)
            effects_->setCurrentRow(index - 1);
    } else {
        debugLog(QStringLiteral("arrow down pressed"));
        if (index < effects_->count() - 1)
            effects_->setCurrentRow(index + 1);
    }
}

void MainWindow::onEffectActivated(QListWidgetItem* item) {
    if (!item)
        return;
    if (item->text() == selectedEffect_ || !unsavedEdits())
        return activateEffect(item);
    // Edits of the effect shown are stored or left behind first.
    const QString name = item->text();
    const bool goingOn = confirmLeavingEdits([this, name] {
        const QList<QListWidgetItem*> rows = effects_->findItems(name, Qt::MatchExactly);
        if (!rows.isEmpty())
            activateEffect(rows.first());
    });
    if (goingOn)
        return;
    const QList<QListWidgetItem*> shown = effects_->findItems(selectedEffect_, Qt::MatchExactly);
    effects_->setCurrentItem(shown.isEmpty() ? nullptr : shown.first());
}

void MainWindow::activateEffect(QListWidgetItem* item) {
    if (live_->isChecked() && connection_.canSend())
        switchLiveOff();
    if (bankMode_ && !(item->flags() & Qt::ItemIsEnabled)) {
        closeParameterWindow();
        selectionUploadable_ = false;
        refreshEnabledStates();
        return;
    }
    debugLog(QStringLiteral("efx index :%1").arg(effects_->row(item)));
    selectEffect(item->text(), true);
}

void MainWindow::selectEffect(const QString& name, bool fromList) {
    selectedEffect_ = name;
    selectionUploadable_ = !name.isEmpty();
    if (fromList)
        debugLog(QStringLiteral("selected effect name: ") + name);
    closeParameterWindow();
    openParameterWindow(name == stored_.name && !name.isEmpty()
                            ? name + QStringLiteral(" v%1").arg(stored_.version)
                            : name);
    if (effectInfo_ && effectInfo_->isVisible())
        showEffectInfo();
}

void MainWindow::closeParameterWindow() {
    if (parameterWindow_ && parameterWindow_->isVisible())
        parameterWindow_->close();
}

void MainWindow::openParameterWindow(const QString& caption) {
    QString error;
    if (!parameters_.load(selectedEffect_, &error))
        Dialogs::instance().message(error);
    else if (bankMode_)
        parameters_.fixFootswitchesForBank();
    if (parameterWindow_) {
        parameterWindow_->showEffect(caption);
        moveBeside(parameterWindow_, this);
    }
    refreshEnabledStates();
}

void MainWindow::showStoredEffectInLists() {
    const std::optional<int> category = catalogue_.categoryOf(stored_.name);
    effects_->clear();
    if (!category) {
        // Some effects belong to no category: the pedal can still hold them.
        selectedCategory_ = -1;
        categories_->setCurrentRow(-1);
        return;
    }
    selectedCategory_ = *category;
    categories_->setCurrentRow(*category);
    fillEffectList(catalogue_.categoryEffects(*category).value_or(QStringList()));
    const QList<QListWidgetItem*> rows = effects_->findItems(stored_.name, Qt::MatchExactly);
    if (!rows.isEmpty())
        effects_->setCurrentItem(rows.first());
}

QString MainWindow::bankUploadCommand() const {
    const int bank = bankButtons_->checkedId();
    return QString::fromLatin1(BankCommands[bank >= 0 && bank < 3 ? bank : 0]);
}

// Where Upload puts the effect, for its question: "Fuzzmoth to Bank II".
QString MainWindow::uploadTargetText() const {
    const int bank = bankButtons_->checkedId();
    return selectedEffect_ + QStringLiteral(" to ") +
           (bankMode_ ? bankButtons_->button(bank >= 0 && bank < 3 ? bank : 0)->text()
                      : QStringLiteral("the preset slot"));
}

void MainWindow::onUpload() {
    if (!Dialogs::instance().confirm(QStringLiteral("Upload the selected effect?") +
                                     QLatin1Char('\n') + uploadTargetText()))
        return;
    startUpload(selectedEffect_, liveAfterUpload_, {});
}

void MainWindow::startUpload(const QString& effect, bool live, std::function<void()> then) {
    QString error;
    const std::optional<QString> image =
        composeUploadImage({effect, irRuleFor(effect).has_value(), irImages_.value(effect),
                            bankMode_ ? bankUploadCommand() : QString()},
                           catalogue_, &error);
    if (!image) {
        Dialogs::instance().error(error);
        return;
    }
    const int bytes = static_cast<int>(image->size() / 2);
    debugLog(image->left(UploadLogLimit));
    debugLog(QStringLiteral("size: %1").arg(bytes));
    debugLog(QStringLiteral("num of bytes: %1").arg(bytes));
    pendingUpload_ = {};
    if (live)
        expectUploadComplete(std::move(then));
    QString why;
    const bool started = connection_.run(
        uploadImage(*image,
                    [this](const ExchangeResult& result) {
                        onUploadWritten(result);
                        if (!result.completed()) {
                            if (const QString message = failureMessage(result); !message.isEmpty())
                                Dialogs::instance().error(message);
                            return;
                        }
                        debugLog(QStringLiteral("write to device"));
                        // The pedal says "Upload complete" once it has stored the effect.
                        status_->setText(QStringLiteral("Uploading..."));
                    }),
        &why);
    if (!started) {
        pendingUpload_ = {};
        Dialogs::instance().error(why);
    }
}

void MainWindow::onUploadFile() {
    const QString path =
        Dialogs::instance().openFile({QStringLiteral("Upload File"), {}, {}, {}, {}});
    if (path.isEmpty())
        return;
    debugLogNoScroll(path);
    debugLogNoScroll(QFileInfo(path).fileName());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Dialogs::instance().error(
            QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return;
    }
    const QByteArray raw = file.readAll();
    auto decode =
        QStringDecoder(QStringDecoder::encodingForData(raw).value_or(QStringConverter::Utf8));
    QString text = decode(raw);
    if (decode.hasError())
        text = QString::fromLocal8Bit(raw);
    debugLogNoScroll(text);
    debugLogNoScroll(QString::number(text.size()));
    // Only what converts is sent: nothing made up follows a stray character.
    const QByteArray bytes = hexToByteArray(text);
    debugLogNoScroll(QStringLiteral("num of bytes: %1").arg(bytes.size()));
    // The pedal's next "Upload complete" is this file's, not a list upload's.
    pendingUpload_ = {};
    Exchange exchange(QStringLiteral("Upload File"));
    exchange.write(bytes).onFinished([](const ExchangeResult& result) {
        if (result.completed())
            debugLogNoScroll(QStringLiteral("write to device"));
    });
    QString why;
    if (!connection_.run(std::move(exchange), &why))
        Dialogs::instance().error(why);
}

} // namespace kestra
